// The file system of a Windows machine. The program's path forms are the
// machine's own, so paths go to the wide-character Win32 API unchanged.
//
// - Letter case and short (8.3) names are the file system's business:
//   find() answers with the stored long name.
// - Attributes are the file system's own, reduced to the five bits the
//   program knows, and ReparsePoint for symbolic links and junctions.
// - Copies and rewrites go to a hidden temporary file beside the target that
//   is then moved over it, so a target is either the old or the whole new
//   file, and an interrupted copy leaves nothing a listing with mask 37 sees.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/filesystem.h"

namespace mabrel::platform::win32 {

class Win32FileSystem : public FileSystem {
public:
    std::uint32_t attributes(const std::string& path) override;
    void setAttributes(const std::string& path, std::uint32_t attributes) override;
    std::vector<DirEntry> list(const std::string& folder, std::uint32_t mask,
                               const ListProgress& progress = {}) override;
    std::optional<DirEntry> find(const std::string& path, std::uint32_t mask) override;
    void copyFile(const std::string& from, const std::string& to, const CopyProgress& progress = {}) override;
    void createCopy(const std::string& from, const std::string& to, std::uint32_t attributes,
                    const CopyProgress& progress = {}) override;
    void rename(const std::string& from, const std::string& to) override;
    void deleteFile(const std::string& path) override;
    void deleteCopy(const std::string& path) override;
    void createDirectory(const std::string& path) override;
    std::int64_t fileSize(const std::string& path) override;
    LocalTime modificationTime(const std::string& path) override;
    std::string readFile(const std::string& path) override;
    void writeFileAtomic(const std::string& path, const std::string& bytes) override;
    unsigned driveType(const std::string& root) override;
    void removeStaleTemporaries(const std::string& folder) override;
};

// The name of a temporary file beside `target` ("." + name + "." + hex + "~"),
// its name part kept short enough for any target name.
std::wstring temporaryBeside(const std::wstring& target, unsigned long long unique);

// Whether `path` is a drive or share root as the program spells them:
// C:, C:\, \\server\share, \\server\share\.
bool isRootSpelling(const std::string& path);

}  // namespace mabrel::platform::win32
