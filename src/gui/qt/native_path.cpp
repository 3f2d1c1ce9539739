#include "gui/qt/native_path.h"

#ifndef _WIN32
#include "platform/posix/posix_filesystem.h"
#endif

namespace mabrel::gui {

std::optional<std::string> nativePathFor([[maybe_unused]] platform::FileSystem& fs, const std::string& programPath) {
#ifdef _WIN32
    return programPath;
#else
    if (auto* posixFs = dynamic_cast<platform::posix::PosixFileSystem*>(&fs)) return posixFs->nativePath(programPath);
    // Another file system (a test's wrapper): C: is the root file system.
    std::string path = programPath;
    if (path.size() >= 2 && (path[1] == ':')) path.erase(0, 2);
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    if (path.empty() || path.front() != '/') return std::nullopt;
    return path;
#endif
}

}  // namespace mabrel::gui
