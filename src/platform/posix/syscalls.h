// The system calls of the POSIX file system go through one table, so that a
// test can put its own functions in: fail the nth call, cut a read or a write
// short, end a file early. The program never changes it.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace mabrel::platform::posix {

struct Syscalls {
    int (*open)(const char* path, int flags, ...);
    int (*openat)(int dirFd, const char* path, int flags, ...);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void* buffer, size_t count);
    ssize_t (*pread)(int fd, void* buffer, size_t count, off_t offset);
    ssize_t (*write)(int fd, const void* buffer, size_t count);
    ssize_t (*pwrite)(int fd, const void* buffer, size_t count, off_t offset);
    ssize_t (*copy_file_range)(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t length,
                               unsigned flags);
    int (*ioctl)(int fd, unsigned long request, ...);
    int (*fsync)(int fd);
    int (*ftruncate)(int fd, off_t length);
    int (*stat)(const char* path, struct stat* st);
    int (*lstat)(const char* path, struct stat* st);
    int (*fstat)(int fd, struct stat* st);
    int (*fstatat)(int dirFd, const char* path, struct stat* st, int flags);
    DIR* (*opendir)(const char* path);
    DIR* (*fdopendir)(int fd);
    struct dirent* (*readdir)(DIR* dir);
    int (*closedir)(DIR* dir);
    int (*renameat)(int fromDir, const char* from, int toDir, const char* to);
    int (*linkat)(int fromDir, const char* from, int toDir, const char* to, int flags);
    int (*unlinkat)(int dirFd, const char* path, int flags);
    int (*mkdirat)(int dirFd, const char* path, mode_t mode);
    int (*fchmod)(int fd, mode_t mode);
    int (*futimens)(int fd, const struct timespec times[2]);
    ssize_t (*getxattr)(const char* path, const char* name, void* value, size_t size);
    ssize_t (*fgetxattr)(int fd, const char* name, void* value, size_t size);
    int (*fsetxattr)(int fd, const char* name, const void* value, size_t size, int flags);
    int (*fcntl)(int fd, int command, ...);
    int (*renameat2)(int fromDir, const char* from, int toDir, const char* to, unsigned flags);
    int (*utimensat)(int dirFd, const char* path, const struct timespec times[2], int flags);
    int (*fchmodat)(int dirFd, const char* path, mode_t mode, int flags);
};

// The machine's own calls.
const Syscalls& realSyscalls();
// The table in use.
Syscalls& sys();

}  // namespace mabrel::platform::posix
