// The file system of a Windows machine. The program's path forms are the
// machine's own, so paths go to the wide-character Win32 API unchanged.
//
// - Letter case and short (8.3) names are the file system's business:
//   find() answers with the stored long name.
// - Attributes are the file system's own, reduced to the five bits the
//   program knows, and ReparsePoint for symbolic links and junctions.
// - A Directory is a handle of the folder, opened without following a
//   reparse point (but for the folder the person chose) and held without
//   sharing for deletion, so the folder is neither renamed nor replaced while
//   it is worked in. Entries are opened relative to it (NtCreateFile with
//   RootDirectory), looked at, renamed and deleted through their own handles
//   (GetFileInformationByHandleEx, SetFileInformationByHandle with
//   FileRenameInfo relative to the folder, FileDispositionInfo).
// - Copies and rewrites go to a hidden temporary file beside the target that
//   is then renamed over it, so a target is either the old or the whole new
//   file; a failure removes the temporary through its handle, and what a
//   kill leaves is hidden and removed a day later (Windows has no unnamed
//   files).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/filesystem.h"

namespace mabrel::platform::win32 {

class Win32FileSystem : public FileSystem {
public:
    std::uint32_t attributes(const std::string& path) override;
    std::optional<DirEntry> findIgnoringCase(const std::string& path, std::uint32_t mask) override;
    std::unique_ptr<Directory> openDirectory(const std::string& path) override;
    unsigned driveType(const std::string& root) override;
};

// The name of a temporary file beside `target` ("." + name + "." + hex + "~"),
// its name part kept short enough for any target name.
std::wstring temporaryBeside(const std::wstring& target, unsigned long long unique);

// Whether `path` is a drive or share root as the program spells them:
// C:, C:\, \\server\share, \\server\share\.
bool isRootSpelling(const std::string& path);

}  // namespace mabrel::platform::win32
