// The file system of a POSIX machine in the program's path forms (see
// path_map.h for how drives and shares map onto mount points).
//
// - Letter case: where a name does not exist as spelled, the one entry of its
//   folder that matches it without regard to (ASCII) letter case is taken,
//   when there is exactly one; find() then answers with the stored name.
// - Attributes: read-only = no write permission bit; hidden = a name that
//   begins with "." or the hidden bit of user.DOSATTRIB; system and archive
//   from user.DOSATTRIB (regular files count as archive without it). Without
//   extended attributes only names and permission bits count, silently.
// - Names holding a "\" cannot be written in the program's form and are not
//   listed.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/filesystem.h"
#include "platform/posix/path_map.h"

namespace mabrel::platform::posix {

class PosixFileSystem : public FileSystem {
public:
    // The mount table is read from this file at each use, so that media
    // mounted while the program runs show up as drives.
    explicit PosixFileSystem(std::string mountTablePath = "/proc/self/mounts");

    std::uint32_t attributes(const std::string& path) override;
    void setAttributes(const std::string& path, std::uint32_t attributes) override;
    std::vector<DirEntry> list(const std::string& folder, std::uint32_t mask) override;
    std::optional<DirEntry> find(const std::string& path, std::uint32_t mask) override;
    void copyFile(const std::string& from, const std::string& to) override;
    void rename(const std::string& from, const std::string& to) override;
    void deleteFile(const std::string& path) override;
    void createDirectory(const std::string& path) override;
    std::int64_t fileSize(const std::string& path) override;
    LocalTime modificationTime(const std::string& path) override;
    std::string readFile(const std::string& path) override;
    void writeFileAtomic(const std::string& path, const std::string& bytes) override;
    unsigned driveType(const std::string& root) override;

    // The native path that a program path names, letter case resolved where
    // the spelled name is missing; nothing when its drive or share has no root.
    std::optional<std::string> nativePath(const std::string& path);
    // A native absolute path in drive form (no trailing "\" but for a root).
    std::string drivePath(const std::string& native);
    // The drives of the present mount table.
    std::vector<Drive> drives();

private:
    struct Resolved {
        std::string native;
        std::string name;  // the stored name of the last component; empty for a root
    };
    Resolved resolve(const std::string& path);
    std::vector<MountEntry> mounts();

    std::string mountTablePath_;
};

}  // namespace mabrel::platform::posix
