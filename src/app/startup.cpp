#include "app/startup.h"

#include "util/bas_basic.h"

namespace mabrel::app {

std::string chooseStartFolder(platform::FileSystem& fs, const std::string& rememberedFolder,
                              const std::string& commandLine, const std::string& currentDirectory) {
    // A command line that yields any path wins, even one the checker then
    // rejects: the fallback is the current directory, not the remembered folder.
    std::string folder = bas_basic::normaliseLongName(fs, commandLine);
    if (folder.empty()) folder = rememberedFolder;
    if (auto checked = bas_basic::checkPath(fs, folder)) return checked->drive + checked->folder;
    std::string fallback = currentDirectory;
    if (fallback.empty() || fallback.back() != '\\') fallback += '\\';
    return fallback;
}

}  // namespace mabrel::app
