#include "platform/posix/naming.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/statfs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/syscalls.h"

namespace mabrel::platform::posix {

bool noHardLinks(int e) { return e == EPERM || e == EOPNOTSUPP || e == ENOSYS || e == EMLINK; }

namespace {

bool noNoReplace(int e) { return e == EINVAL || e == ENOSYS || e == EOPNOTSUPP; }

// Renames `from` to `to` once `to` is found free, while holding the
// folder's lock: two instances here never both find the same name free.
int renameIfFree(int dirFd, const std::string& from, const std::string& to) {
    const int folder = sys().openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // Where the folder cannot be locked, the check stays (a network file
    // system without locks: other machines' instances are not held off).
    if (folder >= 0) ::flock(folder, LOCK_EX);
    struct stat st{};
    int rc = -1;
    int e = EEXIST;
    if (sys().fstatat(dirFd, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        e = errno;
        if (e == ENOENT) {
            rc = sys().renameat(dirFd, from.c_str(), dirFd, to.c_str());
            e = errno;
        }
    }
    if (folder >= 0) sys().close(folder);  // and with it the lock
    if (rc != 0) errno = e;
    return rc;
}

}  // namespace

int nameWithoutReplacing(int dirFd, const std::string& from, const std::string& to, Naming& how) {
    how = Naming::Linked;
    if (sys().linkat(dirFd, from.c_str(), dirFd, to.c_str(), 0) == 0) return 0;
    if (!noHardLinks(errno)) return -1;
    how = Naming::Moved;
    if (sys().renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (!noNoReplace(errno)) return -1;
    return renameIfFree(dirFd, from, to);
}

}  // namespace mabrel::platform::posix

namespace mabrel::platform::posix {

bool nameFits(int dirFd, const std::string& name) {
    std::size_t units = 0;
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;  // four bytes: a surrogate pair
    }
    if (units > 255) return false;
    struct statfs sf{};
    if (::fstatfs(dirFd, &sf) != 0) return true;  // the file system tells when it names the file
    constexpr long kFuseMagic = 0x65735546;
    if (sf.f_type == kFuseMagic && sf.f_namelen == 255) return true;
    return name.size() <= static_cast<std::size_t>(sf.f_namelen);
}

}  // namespace mabrel::platform::posix
