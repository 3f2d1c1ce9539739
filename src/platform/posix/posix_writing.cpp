// Saves: a file written whole and put in the old one's place, or changed
// under the lock its other writers take too; and a file read whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/errors.h"
#include "platform/posix/directory_internals.h"
#include "platform/posix/dos_attrib.h"
#include "platform/posix/syscalls.h"

namespace mabrel::platform::posix {

namespace {

// The mode of one of the program's own files (a comment file) in the folder
// `dirFd`: read and write for the folder's writers too.
mode_t ownFileMode(int dirFd, mode_t mode) {
    const mode_t writers = folderWriters(dirFd);
    return mode | writers | (writers << 1);
}

void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = sys().write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrnoIn(errno);
        }
        if (n == 0) throw PlatformError(err::DeviceIo);
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// Writes `bytes` over the open file `fd` in place: for a folder in which no
// file can be made, though the file itself may be written.
void rewriteThrough(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = sys().pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrnoIn(errno);
        }
        if (n == 0) throw PlatformError(err::DeviceIo);
        done += static_cast<std::size_t>(n);
    }
    if (sys().ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) throwErrnoIn(errno);
    if (sys().fsync(fd) != 0) throwErrnoIn(errno);
}

void rewriteInPlace(int dirFd, const std::string& name, const std::string& bytes) {
    Fd out(openEntry(dirFd, name, false, O_WRONLY));
    if (out.get() < 0) throwOpenFailure(errno, dirFd, name, false);
    struct stat st{};
    if (sys().fstat(out.get(), &st) != 0) throwErrnoIn(errno);
    if (!S_ISREG(st.st_mode)) throwNotAFile(st);
    rewriteThrough(out.get(), bytes);
    if (out.close() != 0) throwErrnoIn(errno);
}

// Reads the whole of a regular file open as `fd`, up to kMaxOwnFileBytes.
std::string readWhole(int fd) {
    struct stat st{};
    if (sys().fstat(fd, &st) != 0) throwReadErrnoIn(errno);
    if (!S_ISREG(st.st_mode)) throwNotAFile(st);
    if (static_cast<std::uint64_t>(st.st_size) > kMaxOwnFileBytes) throw PlatformError(err::PathFileAccess, kFileTooLarge);
    std::string bytes;
    if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = sys().read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throwReadErrnoIn(errno);
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
        // One that grows while it is read stops at the bound as well.
        if (bytes.size() > kMaxOwnFileBytes) throw PlatformError(err::PathFileAccess, kFileTooLarge);
    }
    return bytes;
}

bool cannotCreateHere(int e) { return e == EACCES || e == EPERM || e == EROFS; }

}  // namespace

std::optional<struct stat> checkReplaceable(int dirFd, const std::string& name) {
    struct stat st{};
    if (sys().fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return std::nullopt;
        throwErrnoIn(errno);
    }
    if (S_ISLNK(st.st_mode)) throw PlatformError(err::PathFileAccess, kLinkNotFile);
    if (!S_ISREG(st.st_mode)) throwNotAFile(st);
    if ((st.st_mode & kWriteBits) == 0) throw PlatformError(err::PermissionDenied);
    return st;
}

std::string PosixDirectory::readFile(const std::string& name) {
    checkName(name);
    Fd in(openEntry(fd_.get(), name, false));
    if (in.get() < 0) throwOpenFailure(errno, fd_.get(), name, true);
    return readWhole(in.get());
}

void PosixDirectory::writeFileAtomic(const std::string& name, const std::string& bytes) {
    checkName(name);
    const auto existing = checkReplaceable(fd_.get(), name);
    writeReplacing(name, bytes, existing, -1);
}

void PosixDirectory::writeReplacing(const std::string& name, const std::string& bytes,
                                    const std::optional<struct stat>& existing, int current) {
    NewFile out(fd_.get(), name, 0666);
    if (out.fd.get() < 0) {
        // No file can be made in this folder, though the file itself may be
        // written: rewrite it where it is.
        if (existing && cannotCreateHere(out.error)) {
            if (current >= 0) return rewriteThrough(current, bytes);
            return rewriteInPlace(fd_.get(), name, bytes);
        }
        throwErrnoIn(out.error);
    }
    writeAll(out.fd.get(), bytes.data(), bytes.size());
    if (existing) {
        // The replaced file's permissions (opened to the folder's writers)
        // and DOS attributes stay.
        if (current >= 0) {
            copyDosAttrib(current, out.fd.get());
        } else {
            Fd old(openEntry(fd_.get(), name, false));
            if (old.get() >= 0) copyDosAttrib(old.get(), out.fd.get());
        }
        sys().fchmod(out.fd.get(), ownFileMode(fd_.get(), existing->st_mode & 07777));
    } else {
        struct stat made{};
        if (sys().fstat(out.fd.get(), &made) == 0) sys().fchmod(out.fd.get(), ownFileMode(fd_.get(), made.st_mode & 07777));
    }
    if (sys().fsync(out.fd.get()) != 0) throwErrnoIn(errno);
    if (!existing && current < 0) {
        // Never over a file another made meanwhile.
        out.nameNew(fd_.get(), name);
        return;
    }
    if (out.unnamed()) out.temporary.nameUnnamedFile(out.fd.get(), name);
    if (out.fd.close() != 0) throwErrnoIn(errno);
    if (current >= 0 && out.named) {
        const int e = out.temporary.tryRenameTo(name);
        if (e == 0) return;
        // An SMB share refuses to replace a file open here, and the lock
        // holds it open: rewritten through it, under the lock, instead.
        if (e != EBUSY) throwErrnoIn(e);
        return rewriteThrough(current, bytes);
    }
    out.temporary.renameTo(name);
}

namespace {

// How long a save waits for another instance's lock before it gives up.
constexpr auto kLockPatience = std::chrono::seconds(10);
constexpr char kInUse[] = "他のプログラムが使用中です。";

// Takes the write lock of the whole open file `fd`, waiting for another
// holder a while. The lock belongs to the open file, not to the process, so
// that closing another descriptor of the same file cannot drop it, and it
// goes with the process. Where the file system keeps no locks, nothing. A
// file open only for reading takes a read lock, which still waits for every
// writer.
void lockWhole(int fd, bool writable) {
    struct flock lock {};
    lock.l_type = writable ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    int command = F_OFD_SETLK;
    const auto giveUp = std::chrono::steady_clock::now() + kLockPatience;
    for (;;) {
        if (sys().fcntl(fd, command, &lock) == 0) return;
        const int e = errno;
        if (e == EINVAL && command == F_OFD_SETLK) {
            command = F_SETLK;  // a system without locks of open files
            continue;
        }
        if (e == ENOLCK || e == EOPNOTSUPP || e == ENOSYS) return;
        if (e == EINTR) continue;
        if (e != EAGAIN && e != EACCES) throwErrnoIn(e);
        if (std::chrono::steady_clock::now() > giveUp) throw PlatformError(err::PermissionDenied, kInUse);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// The lock file beside the file `name` in `dirFd` ("<name>.lock"), locked
// as a whole: the lock the Windows program takes too (Wine and a Samba
// server make its lock of the file a POSIX lock of it). Made where it is
// missing, hidden, for whoever may write the folder; never removed, so that
// every instance locks the same file. Nothing where it can be neither made
// nor opened (a folder nobody may write, before any save) or where the file
// system keeps no locks.
Fd lockFileBeside(int dirFd, const std::string& name) {
    const std::string lockName = name + ".lock";
    for (int attempt = 0; attempt < 8; ++attempt) {
        Fd fd(sys().openat(dirFd, lockName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        struct stat made{};
        if (fd.get() >= 0 && sys().fstat(fd.get(), &made) == 0) {
            sys().fchmod(fd.get(), ownFileMode(dirFd, made.st_mode & 0777));
            const std::string hidden = encodeDosAttrib(attr::Hidden | attr::Archive);
            sys().fsetxattr(fd.get(), kDosAttribName, hidden.data(), hidden.size(), 0);
        }
        bool writable = fd.get() >= 0;
        if (fd.get() < 0 && errno == EEXIST) {
            fd = Fd(openEntry(dirFd, lockName, false, O_RDWR));
            writable = fd.get() >= 0;
            // Another's that we may not write: a read lock, which still
            // waits for every writer.
            if (!writable && (errno == EACCES || errno == EPERM)) fd = Fd(openEntry(dirFd, lockName, false));
        }
        struct stat st{};
        if (fd.get() < 0 || sys().fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return Fd();
        lockWhole(fd.get(), writable);
        // Removed meanwhile (an earlier Windows version removes it when it
        // is done): a lock of a file no longer named is no lock.
        struct stat now{};
        if (sys().fstatat(dirFd, lockName.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == st.st_dev &&
            now.st_ino == st.st_ino) {
            return fd;
        }
    }
    throw PlatformError(err::PermissionDenied, kInUse);
}

}  // namespace

void PosixDirectory::updateFile(const std::string& name, const FileChange& change) {
    checkName(name);
    const Fd lockFile = lockFileBeside(fd_.get(), name);
    for (int attempt = 0;; ++attempt) {
        Fd fd(openEntry(fd_.get(), name, false, O_RDWR));
        const bool writable = fd.get() >= 0;
        if (fd.get() < 0) {
            const int e = errno;
            if (e == ENOENT) {
                // Nothing stored. Should another instance make the file
                // meanwhile, its content is read and changed in turn.
                const auto bytes = change(std::nullopt);
                if (!bytes) return;
                try {
                    writeReplacing(name, *bytes, std::nullopt, -1);
                    return;
                } catch (const PlatformError& error) {
                    if (error.number() != err::FileAlreadyExists || attempt >= 8) throw;
                    continue;
                }
            }
            // Another's file that we may not write, in a folder we may:
            // replaced by rename all the same.
            if (e == EACCES || e == EPERM) fd = Fd(openEntry(fd_.get(), name, false));
            if (fd.get() < 0 && (e == EACCES || e == EPERM || e == EROFS)) {
                // Not to be written here; what it holds may need no change.
                if (change(readFile(name))) throwErrnoIn(e);
                return;
            }
            if (fd.get() < 0) throwOpenFailure(e, fd_.get(), name, false);
        }
        struct stat st{};
        if (sys().fstat(fd.get(), &st) != 0) throwErrnoIn(errno);
        if (!S_ISREG(st.st_mode)) throwNotAFile(st);
        lockWhole(fd.get(), writable);
        // Replaced by another instance while this one waited: the lock is
        // on a file no longer stored.
        struct stat now{};
        if (sys().fstatat(fd_.get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_dev != st.st_dev ||
            now.st_ino != st.st_ino) {
            if (attempt >= 8) throw PlatformError(err::PermissionDenied, kInUse);
            continue;
        }
        const std::string stored = readWhole(fd.get());
        // All of it, or the change would drop what was not read.
        if (stored.size() != static_cast<std::size_t>(st.st_size)) throw PlatformError(err::DeviceIo);
        const auto bytes = change(stored);
        if (!bytes) return;
        if ((st.st_mode & kWriteBits) == 0) throw PlatformError(err::PermissionDenied);
        // Replaced while the lock is still held; not ours to write, only by
        // a file of our own.
        writeReplacing(name, *bytes, st, writable ? fd.get() : -1);
        return;
    }
}

}  // namespace mabrel::platform::posix
