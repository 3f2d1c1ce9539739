#include "platform/posix/mount_table.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace mabrel::platform::posix {

namespace {

constexpr long kProcSuperMagic = 0x9fa0;

std::string readAll(int fd) {
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            return text;
        }
    }
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

MountTable::~MountTable() {
    if (pollFd_ >= 0) ::close(pollFd_);
}

void MountTable::take(const std::string& text) {
    entries_ = parseMountTable(text);
    drives_ = drivesFromMounts(entries_);
    read_ = true;
}

void MountTable::refresh() {
    if (pollFd_ >= 0) {
        struct pollfd p {pollFd_, POLLPRI, 0};
        if (::poll(&p, 1, 0) <= 0 || (p.revents & (POLLPRI | POLLERR)) == 0) return;
        if (::lseek(pollFd_, 0, SEEK_SET) == 0) return take(readAll(pollFd_));
        ::close(pollFd_);  // read it afresh below
        pollFd_ = -1;
    }

    struct stat st {};
    const bool there = ::stat(path_.c_str(), &st) == 0;
    if (read_ && there == fileThere_ && (!there || sameFile(st, fileStat_))) return;
    fileThere_ = there;
    fileStat_ = st;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return take({});
    take(readAll(fd));
    struct statfs info {};
    if (::fstatfs(fd, &info) == 0 && static_cast<long>(info.f_type) == kProcSuperMagic) {
        pollFd_ = fd;  // changes from the moment it was opened are reported
    } else {
        ::close(fd);
    }
}

}  // namespace mabrel::platform::posix
