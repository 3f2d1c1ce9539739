#include "platform/posix/syscalls.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace mabrel::platform::posix {

const Syscalls& realSyscalls() {
    static const Syscalls real = {
        ::open,     ::openat,   ::close,    ::read,      ::pread,     ::write,    ::pwrite,
        ::copy_file_range,      ::ioctl,    ::fsync,     ::ftruncate, ::stat,     ::lstat,
        ::fstat,    ::fstatat,  ::opendir,  ::fdopendir, ::readdir,   ::closedir, ::renameat,
        ::linkat,   ::unlinkat, ::mkdirat,  ::fchmod,    ::futimens,  ::getxattr, ::fgetxattr,
        ::fsetxattr, ::fcntl,    ::renameat2,
        ::utimensat, ::fchmodat,
    };
    return real;
}

Syscalls& sys() {
    static Syscalls inUse = realSyscalls();
    return inUse;
}

}  // namespace mabrel::platform::posix
