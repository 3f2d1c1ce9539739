// A file system of a given kind, made from an image in a temporary folder
// and mounted through the driver people use for it, for one test program.
// Everything it made (mounts, loop devices, servers, files) goes with it,
// also when the test fails; where it cannot be made here it says why.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace mabrel::test {

enum class FsKind { Ext4, Xfs, Btrfs, Tmpfs, Overlay, Exfat, Ntfs, Smb };

const char* nameOf(FsKind kind);

class MountedFs {
public:
    // The mounted file system, or nothing with the reason in `whyNot`
    // (not root, no loop device, no FUSE, a tool missing).
    static std::unique_ptr<MountedFs> make(FsKind kind, std::string& whyNot);
    ~MountedFs();
    MountedFs(const MountedFs&) = delete;
    MountedFs& operator=(const MountedFs&) = delete;

    FsKind kind() const { return kind_; }
    // A folder on it to work in.
    const std::filesystem::path& root() const { return root_; }

private:
    explicit MountedFs(FsKind kind);
    bool mount(std::string& whyNot);

    FsKind kind_;
    std::filesystem::path work_;  // the temporary folder: image, mount points
    std::filesystem::path root_;
    std::vector<std::filesystem::path> mounts_;  // innermost last
    std::string loop_;
    pid_t server_ = -1;
};

}  // namespace mabrel::test
