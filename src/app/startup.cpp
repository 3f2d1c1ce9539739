#include "app/startup.h"

#include "platform/errors.h"
#include "util/bas_basic.h"

namespace mabrel::app {

namespace {

// Whether the drive or share is there. The path checker takes a bare root
// on trust; a remembered Q:\ or \\server\share\ that is gone would show
// as an empty view with an error at every start.
bool rootExists(platform::FileSystem& fs, const std::string& drive) {
    try {
        return (fs.attributes(drive + "\\") & platform::attr::Directory) != 0;
    } catch (const platform::PlatformError&) {
        return false;
    }
}

}  // namespace

StartFolder chooseStartFolder(platform::FileSystem& fs, const std::string& rememberedFolder,
                              const std::string& commandLine, const std::string& currentDirectory) {
    // A command line that yields any path wins, even one the checker then
    // rejects: the fallback is the current directory, not the remembered folder.
    std::string folder = bas_basic::normaliseLongName(fs, commandLine);
    if (folder.empty()) folder = rememberedFolder;
    auto checked = bas_basic::checkPath(fs, folder);
    if (checked && checked->folder == "\\" && !rootExists(fs, checked->drive)) checked.reset();
    if (checked) return {checked->drive + checked->folder, checked->file};
    std::string fallback = currentDirectory;
    if (fallback.empty() || fallback.back() != '\\') fallback += '\\';
    return {fallback, {}};
}

}  // namespace mabrel::app
