// Copies: a kept copy made, compared, restored, deleted and aged, and the
// temporary files copies and saves are written as until they are named.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <thread>
#include <vector>

#include <signal.h>

#include "platform/errors.h"
#include "platform/posix/directory_internals.h"
#include "platform/posix/dos_attrib.h"
#include "platform/posix/naming.h"
#include "platform/posix/ntfs_attrib.h"
#include "platform/posix/syscalls.h"

namespace mabrel::platform::posix {

// --- Temporary files -----------------------------------------------------------
//
// Where the file system cannot give an unnamed temporary file, a named one is
// used: hidden, and named ".<name>.mabrel-<host>-<pid>-<random>~" so that a
// later run can tell that its writer is gone and remove it.

namespace {

constexpr char kTemporaryTag[] = ".mabrel-";
constexpr std::int64_t kStaleAfterSeconds = 24 * 60 * 60;

std::string hostTag() {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    std::uint32_t h = 2166136261u;
    for (const char* p = host; *p; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
    char text[9];
    std::snprintf(text, sizeof text, "%08x", h);
    return text;
}

std::string temporarySuffix() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, "%s%s-%ld-%08llx~", kTemporaryTag, hostTag().c_str(),
                  static_cast<long>(::getpid()), static_cast<unsigned long long>(random() & 0xFFFFFFFFull));
    return suffix;
}

// A hidden name for a temporary file beside `name`, unique, and short enough
// for NAME_MAX whatever the target's name.
std::string temporaryNameFor(std::string name) {
    if (name.size() > 180) {
        std::size_t cut = 180;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // keep UTF-8 whole
        name.resize(cut);
    }
    return "." + name + temporarySuffix();
}

bool isHex(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// Whether a file of this name and age is a temporary file of this program
// that its writer left behind: the writer's process is gone (same machine),
// or it is older than a day. Earlier forms of the name count by age alone.
bool isStaleTemporary(const std::string& name, std::int64_t ageSeconds) {
    if (name.size() < 3 || name.back() != '~') return false;
    const std::size_t tag = name.rfind(kTemporaryTag);
    if (name[0] == '.' && tag != std::string::npos && tag > 0) {
        // <host>-<pid>-<random>~
        const std::string rest = name.substr(tag + sizeof kTemporaryTag - 1, name.size() - tag - sizeof kTemporaryTag);
        const std::size_t a = rest.find('-');
        const std::size_t b = a == std::string::npos ? a : rest.find('-', a + 1);
        if (b == std::string::npos || !isHex(rest.substr(0, a)) || !isHex(rest.substr(b + 1))) return false;
        const std::string pidText = rest.substr(a + 1, b - a - 1);
        if (pidText.empty() || pidText.find_first_not_of("0123456789") != std::string::npos) return false;
        if (ageSeconds > kStaleAfterSeconds) return true;
        if (rest.substr(0, a) != hostTag()) return false;
        const long pid = std::strtol(pidText.c_str(), nullptr, 10);
        // Our own too: the program writes on one thread, so no write of ours
        // is under way while it tidies up.
        if (pid == static_cast<long>(::getpid())) return true;
        return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
    }
    // Earlier forms: ".<name>.<12 hex>~" and "~_mabre-tmp-<16 hex>", only
    // where the program's own names are.
    if (name.find("_mabre") == std::string::npos) return false;
    if (name[0] == '.' && name.size() > 14 && name[name.size() - 14] == '.' &&
        isHex(name.substr(name.size() - 13, 12))) {
        return ageSeconds > kStaleAfterSeconds;
    }
    if (name.rfind("~_mabre-tmp-", 0) == 0 && name.size() == 28 && isHex(name.substr(12))) {
        return ageSeconds > kStaleAfterSeconds;
    }
    return false;
}

// An unnamed file in the folder `dirFd`, or -1 with errno set.
int createUnnamed(int dirFd, mode_t mode) { return sys().openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode); }

bool unnamedUnsupported(int e) { return e == EOPNOTSUPP || e == EISDIR || e == EINVAL || e == ENOSYS; }

// Gives the unnamed file `fd` the name `name` in `dirFd`; fails when the name exists.
int nameUnnamed(int fd, int dirFd, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return sys().linkat(AT_FDCWD, self.c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW);
}

// Creates a named temporary file beside `name`; retries on a name clash.
int createTemporary(int dirFd, const std::string& name, mode_t mode, std::string& temporary) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = temporaryNameFor(name);
        const int fd = sys().openat(dirFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0) return fd;
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

// Flushes the folder's names; where it cannot be opened for that, the
// names are flushed with the file system's next commit.
void syncFolder(int dirFd) {
    Fd dir(sys().openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) sys().fsync(dir.get());
}

}  // namespace

TemporaryFile::~TemporaryFile() {
    if (name_.empty()) return;
    // A FUSE client of an SMB share closes the server's file only after
    // close() has returned, and until then the server refuses to remove it:
    // asked again a while.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (sys().unlinkat(dirFd_, name_.c_str(), 0) != 0 && errno == EBUSY &&
           std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void TemporaryFile::nameUnnamedFile(int fd, const std::string& target) {
    for (int attempt = 0;; ++attempt) {
        std::string name = temporaryNameFor(target);
        if (nameUnnamed(fd, dirFd_, name) == 0) {
            name_ = std::move(name);
            return;
        }
        if (errno != EEXIST || attempt >= 16) throwErrnoIn(errno);
    }
}

int TemporaryFile::tryRenameTo(const std::string& target) {
    if (sys().renameat(dirFd_, name_.c_str(), dirFd_, target.c_str()) != 0) return errno;
    name_.clear();
    syncFolder(dirFd_);
    return 0;
}

NewFile::NewFile(int dirFd, const std::string& name, mode_t mode) : temporary(dirFd) {
    fd = Fd(createUnnamed(dirFd, mode));
    if (fd.get() >= 0) return;
    error = errno;
    if (!unnamedUnsupported(error)) return;
    std::string temporaryName;
    fd = Fd(createTemporary(dirFd, name, mode, temporaryName));
    error = errno;
    if (fd.get() >= 0) temporary.reset(temporaryName);
    named = fd.get() >= 0;
}

void NewFile::closeNamed(int dirFd, const struct timespec* times, std::optional<mode_t> mode) {
    if (fd.get() >= 0 && fd.close() != 0) throwErrnoIn(errno);
    if (!named) return;
    if (times && sys().utimensat(dirFd, temporary.name().c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        throwErrnoIn(errno);
    }
    if (mode) sys().fchmodat(dirFd, temporary.name().c_str(), *mode, 0);  // where there are modes
}

void NewFile::nameNew(int dirFd, const std::string& name, const struct timespec* times, std::optional<mode_t> mode) {
    int rc;
    if (unnamed()) {
        rc = nameUnnamed(fd.get(), dirFd, name);
    } else {
        // Closed first: a late write error then names nothing, and a
        // network file system may refuse to rename an open file.
        closeNamed(dirFd, times, mode);
        Naming how;
        rc = nameWithoutReplacing(dirFd, temporary.name(), name, how);
        if (rc == 0 && how == Naming::Moved) temporary.reset("");
    }
    if (rc != 0) {
        if (errno == EEXIST) throw PlatformError(err::FileAlreadyExists);
        throwErrnoIn(errno);
    }
    if (fd.get() >= 0 && fd.close() != 0) throwErrnoIn(errno);
    syncFolder(dirFd);
}

// --- Copies ------------------------------------------------------------------

namespace {

// Tells `progress` how far a copy has got; a cancel fails the copy.
void report(const CopyProgress& progress, std::int64_t copied, std::int64_t total) {
    if (progress && !progress(static_cast<std::uint64_t>(copied), static_cast<std::uint64_t>(total))) {
        throw PlatformError(err::Cancelled);
    }
}

// The first `expected` bytes of `in` into `out`: a clone where the file
// system shares blocks, else an in-kernel copy, else plain reads and writes.
// A source that ends early (it shrank, or a network file system stopped
// short) fails with 57: a copy is complete or it is nothing.
void copyContent(int in, int out, std::int64_t expected, const CopyProgress& progress) {
    report(progress, 0, expected);
    if (sys().ioctl(out, FICLONE, in) == 0) {
        struct stat st{};
        if (sys().fstat(out, &st) != 0) throwErrnoIn(errno);
        if (st.st_size == expected) {
            report(progress, expected, expected);
            return;
        }
        if (sys().ftruncate(out, 0) != 0) throwErrnoIn(errno);
    }

    // In pieces, each sent on to the disk while the next is copied, so that
    // the fsync that ends a copy waits for the last piece only. Someone
    // watching hears of each piece, so on slow media pieces stay small
    // enough that a cancel is heard within a fraction of a second.
    constexpr std::int64_t kPiece = std::int64_t{8} << 20;
    constexpr std::int64_t kSmallestPiece = std::int64_t{1} << 20;
    constexpr auto kPieceTime = std::chrono::milliseconds(200);
    std::int64_t piece = progress ? kSmallestPiece : kPiece;
    off_t done = 0;
    while (done < expected) {
        off_t inOffset = done;
        off_t outOffset = done;
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(expected - done, piece));
        const auto started = std::chrono::steady_clock::now();
        const ssize_t n = sys().copy_file_range(in, &inOffset, out, &outOffset, chunk, 0);
        if (n > 0) {
            if (expected > kPiece) ::sync_file_range(out, done, n, SYNC_FILE_RANGE_WRITE);
            done += n;
            if (progress) {
                const auto took = std::chrono::steady_clock::now() - started;
                if (took < kPieceTime / 2 && piece < kPiece) piece *= 2;
                if (took > kPieceTime && piece > kSmallestPiece) piece /= 2;
                report(progress, done, expected);
            }
            continue;
        }
        if (n == 0) break;  // not taken as the end: read on by hand to be sure
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL || errno == EBADF ||
            errno == EPERM) {
            break;
        }
        throwErrnoIn(errno);
    }
    std::vector<char> buffer(1 << 16);
    while (done < expected) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(expected - done, buffer.size()));
        const ssize_t n = sys().pread(in, buffer.data(), want, done);
        if (n == 0) throw PlatformError(err::DeviceIo);  // the source ended before its size
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrnoIn(errno);
        }
        std::size_t written = 0;
        while (written < static_cast<std::size_t>(n)) {
            const ssize_t w = sys().pwrite(out, buffer.data() + written, static_cast<std::size_t>(n) - written,
                                       done + static_cast<off_t>(written));
            if (w < 0) {
                if (errno == EINTR) continue;
                throwErrnoIn(errno);
            }
            if (w == 0) throw PlatformError(err::DeviceIo);
            written += static_cast<std::size_t>(w);
        }
        done += n;
        report(progress, done, expected);
    }
    struct stat st{};
    if (sys().fstat(out, &st) != 0) throwErrnoIn(errno);
    if (st.st_size != expected) throw PlatformError(err::DeviceIo);
}

}  // namespace

void copyDosAttrib(int in, int out) {
    char buffer[256];
    const ssize_t n = sys().fgetxattr(in, kDosAttribName, buffer, sizeof buffer);
    if (n >= 0) sys().fsetxattr(out, kDosAttribName, buffer, static_cast<std::size_t>(n), 0);
}

namespace {

// Whether a file is still the version it was: a writer changes its size,
// modification time or change time.
bool sameVersion(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Whether a file was last changed long enough ago that a write now would
// show in its times: they come from a clock that moves in ticks, and a
// write within the tick of the last one leaves them as they were. A time
// far ahead of the clock (a server's) cannot tell and is taken as settled.
bool settled(const struct stat& st) {
    struct timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto ns = [](const struct timespec& t) { return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; };
    const std::int64_t age = ns(now) - std::max(ns(st.st_mtim), ns(st.st_ctim));
    return age >= 40000000 || age < -1000000000;
}

// Copies `in` (whose stat is `st`) into `out` as the file was at one moment:
// a file changed a moment ago is waited for, a copy during which the file
// changed is taken again, and a file that keeps changing is refused (70).
// An appending writer leaves the first bytes as they were, but the copy is
// of no moment the file had either once its times moved. Returns the stat
// of the version copied.
struct stat copyOneVersion(int in, struct stat st, int out, const CopyProgress& progress) {
    constexpr int kTries = 5;
    for (int attempt = 1;; ++attempt) {
        bool changed = !settled(st);
        bool cutShort = false;
        if (!changed) {
            try {
                copyContent(in, out, static_cast<std::int64_t>(st.st_size), progress);
            } catch (const PlatformError& e) {
                // A file that shrank while it was copied ends early.
                if (e.number() != err::DeviceIo) throw;
                cutShort = true;
            }
        }
        struct stat after{};
        if (sys().fstat(in, &after) != 0) throwErrnoIn(errno);
        changed = changed || !sameVersion(st, after);
        if (!changed) {
            if (cutShort) throw PlatformError(err::DeviceIo);
            return st;
        }
        if (attempt == kTries) throw PlatformError(err::PermissionDenied, kBeingWritten);
        if (sys().ftruncate(out, 0) != 0) throwErrnoIn(errno);
        ::usleep(static_cast<useconds_t>(50000 << (attempt - 1)));
        st = after;
    }
}

// The regular file `name` of the folder `dirFd`, open for reading, and its
// stat; a link is read through only when `followLink`.
Fd openRegular(int dirFd, const std::string& name, bool followLink, struct stat& st) {
    checkName(name);
    Fd file(openEntry(dirFd, name, followLink));
    if (file.get() < 0) throwOpenFailure(errno, dirFd, name, true);
    if (sys().fstat(file.get(), &st) != 0) throwReadErrnoIn(errno);
    if (!S_ISREG(st.st_mode)) throwNotAFile(st);
    return file;
}

// Whether two open files hold the same bytes, telling `progress` how far
// the comparison has got.
bool sameBytes(int a, int b, std::int64_t size, const CopyProgress& progress) {
    report(progress, 0, size);
    std::vector<char> x(1 << 20), y(1 << 20);
    std::int64_t done = 0;
    while (done < size) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(size - done, x.size()));
        auto readAt = [&](int fd, std::vector<char>& buffer) {
            std::size_t got = 0;
            while (got < want) {
                const ssize_t n = sys().pread(fd, buffer.data() + got, want - got, done + static_cast<off_t>(got));
                if (n < 0) {
                    if (errno == EINTR) continue;
                    throwReadErrnoIn(errno);
                }
                if (n == 0) return false;
                got += static_cast<std::size_t>(n);
            }
            return true;
        };
        if (!readAt(a, x) || !readAt(b, y)) return false;
        if (std::memcmp(x.data(), y.data(), want) != 0) return false;
        done += static_cast<std::int64_t>(want);
        report(progress, done, size);
    }
    return true;
}

}  // namespace

void PosixDirectory::createCopy(Directory& from, const std::string& fromName, const std::string& name,
                                std::uint32_t attributes, const CopyProgress& progress) {
    checkName(name);
    // Told before anything is copied, not after the last byte.
    if (!nameFits(fd_.get(), name)) throw PlatformError(err::NameTooLong);
    // The person's file may be a link of their own: it is read through.
    struct stat st{};
    const Fd in = openRegular(fdOf(from), fromName, true, st);

    // Unnamed until complete, so that nothing is left by a failure or a
    // crash; a named hidden temporary file where the file system has none.
    NewFile out(fd_.get(), "_mabre-tmp", S_IRUSR | S_IWUSR);
    if (out.fd.get() < 0) throwErrnoIn(out.error);

    st = copyOneVersion(in.get(), st, out.fd.get(), progress);
    const std::string value = encodeDosAttrib(attributes & (attr::ReadOnly | attr::Hidden | attr::System | attr::Archive));
    // Where extended attributes exist; on NTFS it would be a stream of its own.
    if (!ntfs_) sys().fsetxattr(out.fd.get(), kDosAttribName, value.data(), value.size(), 0);
    mode_t mode = st.st_mode & 07777;
    if (attributes & attr::ReadOnly) mode &= ~kWriteBits;
    if (sys().fchmod(out.fd.get(), mode) != 0) throwErrnoIn(errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (sys().futimens(out.fd.get(), times) != 0) throwErrnoIn(errno);
    if (sys().fsync(out.fd.get()) != 0) throwErrnoIn(errno);

    out.nameNew(fd_.get(), name, times, mode);
    // Read-only for Windows too.
    if (ntfs_) {
        setNtfsAttributes(throughDescriptor(fd_.get(), name),
                          attributes & (attr::ReadOnly | attr::Hidden | attr::System | attr::Archive));
    }
}

bool PosixDirectory::holdsCopyOf(const std::string& name, Directory& from, const std::string& fromName,
                                 const CopyProgress& progress) {
    checkName(name);
    checkName(fromName);
    Fd copy(openEntry(fd_.get(), name, false));
    if (copy.get() < 0) {
        if (errno == ELOOP || errno == ENXIO || errno == ENODEV) return false;  // a link, a socket, a device
        throwReadErrnoIn(errno);
    }
    struct stat copied{};
    if (sys().fstat(copy.get(), &copied) != 0) throwReadErrnoIn(errno);
    // A file with another name somewhere else may change with it.
    if (!S_ISREG(copied.st_mode) || copied.st_nlink != 1) return false;
    struct stat st{};
    const Fd file = openRegular(fdOf(from), fromName, true, st);
    if ((st.st_dev == copied.st_dev && st.st_ino == copied.st_ino) || st.st_size != copied.st_size) return false;
    return sameBytes(file.get(), copy.get(), static_cast<std::int64_t>(st.st_size), progress);
}

void PosixDirectory::copyFile(Directory& from, const std::string& fromName, const std::string& name,
                              const CopyProgress& progress) {
    checkName(name);
    struct stat st{};
    const Fd in = openRegular(fdOf(from), fromName, false, st);

    const auto replaced = checkReplaceable(fd_.get(), name);
    // Unnamed while it is written: a restore cut short leaves nothing.
    NewFile out(fd_.get(), name, S_IRUSR | S_IWUSR);
    if (out.fd.get() < 0) throwErrnoIn(out.error);
    st = copyOneVersion(in.get(), st, out.fd.get(), progress);
    copyDosAttrib(in.get(), out.fd.get());
    // A replaced file keeps its permission bits: a restored file is the
    // person's own file again, not a copy of the read-only backup.
    mode_t mode = replaced ? (replaced->st_mode & 07777) : (st.st_mode & 07777);
    // Another's file becomes ours: whoever may write the folder, its owner
    // among them, may still write it.
    if (replaced && replaced->st_uid != ::geteuid()) mode |= folderWriters(fd_.get()) & (mode >> 1);
    if (sys().fchmod(out.fd.get(), mode) != 0) throwErrnoIn(errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (sys().futimens(out.fd.get(), times) != 0) throwErrnoIn(errno);
    if (sys().fsync(out.fd.get()) != 0) throwErrnoIn(errno);
    if (out.unnamed()) out.temporary.nameUnnamedFile(out.fd.get(), name);
    out.closeNamed(fd_.get(), times, mode);
    out.temporary.renameTo(name);
}

void PosixDirectory::deleteCopy(const std::string& name) {
    // Unlinking needs no write permission on the file: a copy is never made
    // writable first, so a failure cannot leave it so.
    checkName(name);
    struct stat st{};
    if (sys().fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) throwErrnoIn(errno);
    if (S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess);
    if (sys().unlinkat(fd_.get(), name.c_str(), 0) != 0) throwErrnoIn(errno);
}

// --- The age of a kept copy ------------------------------------------------------

namespace {

constexpr char kAgeUnknown[] = "このファイルシステムは、コピーを取った時を記録しません。";

// Whether the change time is one the file system keeps of its own: a copy's
// modification time is set to its file's, before the copy was made, so a
// change time equal to it to the nanosecond is the modification time told
// again (FAT, exFAT, most FUSE and SMB drivers).
bool changeTimeMoves(const struct stat& st) {
    return st.st_ctim.tv_sec != st.st_mtim.tv_sec || st.st_ctim.tv_nsec != st.st_mtim.tv_nsec;
}

// When the entry was made, where the file system keeps it.
std::optional<std::int64_t> birthTime(int dirFd, const std::string& name) {
    struct statx sx{};
    if (::statx(dirFd, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) != 0 || !(sx.stx_mask & STATX_BTIME)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(sx.stx_btime.tv_sec);
}

}  // namespace

std::int64_t PosixDirectory::takenTime(const std::string& name) {
    checkName(name);
    struct stat st{};
    if (sys().fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) throwErrnoIn(errno);
    if (changeTimeMoves(st)) return static_cast<std::int64_t>(st.st_ctim.tv_sec);
    if (const auto born = birthTime(fd_.get(), name)) return *born;
    throw PlatformError(err::PathFileAccess, kAgeUnknown);
}

void PosixDirectory::markTaken(const std::string& name) {
    struct stat st{};
    Fd in = openRegular(fd_.get(), name, false, st);
    // Setting the times it has changes nothing but the change time (which
    // a mode set to itself leaves as it is on NTFS).
    const struct timespec same[2] = {st.st_atim, st.st_mtim};
    if (sys().futimens(in.get(), same) == 0) {
        struct stat now{};
        // Where the change time stands still, only a new file has a new
        // birth time; where there is neither, the age is never told and
        // the copy stays anyway.
        if (sys().fstat(in.get(), &now) != 0 || changeTimeMoves(now) || !birthTime(fd_.get(), name)) {
            // An SMB server may stamp the write time when the file's last
            // handle closes, though nothing was written: the copy keeps its
            // own time, set again by name once it is closed.
            in.close();
            struct stat closed{};
            if (sys().fstatat(fd_.get(), name.c_str(), &closed, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(closed.st_mode) &&
                closed.st_mtim.tv_sec != same[1].tv_sec) {
                sys().utimensat(fd_.get(), name.c_str(), same, AT_SYMLINK_NOFOLLOW);
            }
            return;
        }
    } else if (errno != EPERM) {
        throwErrnoIn(errno);
    }

    // Another's copy in a shared folder: replaced by a copy of itself, ours.
    NewFile out(fd_.get(), name, S_IRUSR | S_IWUSR);
    if (out.fd.get() < 0) throwErrnoIn(out.error);
    copyContent(in.get(), out.fd.get(), static_cast<std::int64_t>(st.st_size), {});
    copyDosAttrib(in.get(), out.fd.get());
    if (sys().fchmod(out.fd.get(), st.st_mode & 07777) != 0) throwErrnoIn(errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (sys().futimens(out.fd.get(), times) != 0) throwErrnoIn(errno);
    if (sys().fsync(out.fd.get()) != 0) throwErrnoIn(errno);
    if (out.unnamed()) out.temporary.nameUnnamedFile(out.fd.get(), name);
    if (out.fd.close() != 0) throwErrnoIn(errno);
    out.temporary.renameTo(name);
}

void PosixDirectory::removeStaleTemporaries() {
    // A folder whose last scan found no temporary and that has not changed
    // since holds none: every load asks, most folders never have one.
    struct stat folderStat{};
    if (sys().fstat(fd_.get(), &folderStat) != 0) return;
    auto& clean = fs_.cleanFolders_;
    const auto same = [&](const PosixFileSystem::CleanFolder& c) {
        return c.device == folderStat.st_dev && c.inode == folderStat.st_ino &&
               c.modified.tv_sec == folderStat.st_mtim.tv_sec && c.modified.tv_nsec == folderStat.st_mtim.tv_nsec;
    };
    if (std::any_of(clean.begin(), clean.end(), same)) return;
    Fd listed(sys().openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (listed.get() < 0) return;
    DIR* dir = sys().fdopendir(listed.get());
    if (!dir) return;
    const int dirFd = listed.release();
    const time_t now = ::time(nullptr);
    bool temporaryLeft = false;
    while (dirent* e = sys().readdir(dir)) {
        const std::size_t length = std::strlen(e->d_name);
        if (length == 0 || e->d_name[length - 1] != '~') continue;
        struct stat st{};
        if (sys().fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        if (isStaleTemporary(e->d_name, static_cast<std::int64_t>(now - st.st_mtim.tv_sec)) &&
            sys().unlinkat(dirFd, e->d_name, 0) == 0) {
            continue;
        }
        temporaryLeft = true;
    }
    sys().closedir(dir);
    // A change within the clock tick of the scan could leave the time as it
    // was: only a time some seconds old vouches for the folder.
    if (!temporaryLeft && now - folderStat.st_mtim.tv_sec > 2) {
        if (clean.size() >= 8) clean.erase(clean.begin());
        clean.push_back({folderStat.st_dev, folderStat.st_ino, folderStat.st_mtim});
    }
}

}  // namespace mabrel::platform::posix
