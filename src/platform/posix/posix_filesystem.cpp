#include "platform/posix/posix_filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <random>
#include <string_view>
#include <system_error>
#include <thread>

#include <signal.h>

#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/posix/dos_attrib.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/local_times.h"
#include "platform/posix/naming.h"
#include "platform/posix/ntfs_attrib.h"
#include "platform/posix/syscalls.h"
#include "platform/text.h"

namespace mabrel::platform::posix {

// --- Error numbers -----------------------------------------------------------

namespace {

// A listing tells its progress this often, in entries, or after this long.
constexpr std::size_t kListProgressEvery = 256;
constexpr std::chrono::milliseconds kListProgressAfter{50};

std::string parentOf(const std::string& native) {
    const auto slash = native.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return native.substr(0, slash);
}

bool isDirectoryNative(const std::string& native) {
    struct stat st{};
    return sys().stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int errorNumberFor(int e, const std::string& native) {
    switch (e) {
    case ENOENT:
    case ENOTDIR:
        return isDirectoryNative(parentOf(native)) ? err::FileNotFound : err::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return err::PermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return err::DiskFull;
    case EIO:
        return err::DeviceIo;
    case ENAMETOOLONG:
        return err::NameTooLong;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
    case ESTALE:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case ETIMEDOUT:
        return err::DiskNotReady;
    default:
        return err::PathFileAccess;
    }
}

void throwErrno(int e, const std::string& native) { throw PlatformError(errorNumberFor(e, native)); }

namespace {

// The same for a read: permission denied there is no "cannot write".
[[noreturn]] void throwReadErrno(int e, const std::string& native) {
    const int number = errorNumberFor(e, native);
    if (number == err::PermissionDenied) throw PlatformError(number, kCannotRead);
    throw PlatformError(number);
}

// For a name in a folder held open: the folder is there, so a missing name
// is a missing file.
int errorNumberIn(int e) { return e == ENOENT || e == ENOTDIR ? err::FileNotFound : errorNumberFor(e, "/"); }
[[noreturn]] void throwErrnoIn(int e) { throw PlatformError(errorNumberIn(e)); }
[[noreturn]] void throwReadErrnoIn(int e) {
    const int number = errorNumberIn(e);
    if (number == err::PermissionDenied) throw PlatformError(number, kCannotRead);
    throw PlatformError(number);
}

}  // namespace

// --- Helpers -------------------------------------------------------------------

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// The classes beside the owner that may write the folder `dirFd`, as write
// bits. They may replace any file there, so the files the program makes
// there are theirs to write as well: a colleague in a group folder is not
// locked out by whoever used it first, whatever that one's umask. None in a
// folder with the sticky bit, where they may replace nothing of ours.
mode_t folderWriters(int dirFd) {
    struct stat st{};
    if (sys().fstat(dirFd, &st) != 0 || (st.st_mode & S_ISVTX)) return 0;
    return st.st_mode & (S_IWGRP | S_IWOTH);
}

// The mode of one of the program's own files (a comment file) in the folder
// `dirFd`: read and write for the folder's writers too.
mode_t ownFileMode(int dirFd, mode_t mode) {
    const mode_t writers = folderWriters(dirFd);
    return mode | writers | (writers << 1);
}

// The write bits that clearing read-only gives back: the owner's, and the
// group's and others' where they may read and the umask or the folder `dirFd`
// lets them write.
mode_t writeBitsFor(mode_t mode, int dirFd) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t writers = (~mask & (S_IWGRP | S_IWOTH)) | folderWriters(dirFd);
    return S_IWUSR | (writers & (mode >> 1));
}

// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset() {
        if (fd_ >= 0) sys().close(fd_);
        fd_ = -1;
    }
    // Closes now and reports a failed close (a late write error on NFS).
    int close() {
        const int rc = sys().close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

bool equalsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::optional<std::uint32_t> storedDosAttrib(const std::string& native) {
    char buffer[256];
    const ssize_t n = sys().getxattr(native.c_str(), kDosAttribName, buffer, sizeof buffer);
    if (n < 0) return std::nullopt;  // none stored, or no extended attributes here
    return decodeDosAttrib(std::string(buffer, static_cast<std::size_t>(n)));
}

std::uint32_t attributesFrom(const struct stat& st, std::optional<std::uint32_t> dos, bool dotName, bool link = false) {
    std::uint32_t a = link ? attr::ReparsePoint : 0;
    if ((st.st_mode & kWriteBits) == 0) a |= attr::ReadOnly;
    if (S_ISDIR(st.st_mode)) a |= attr::Directory;
    if (dotName) a |= attr::Hidden;
    if (dos) {
        a |= *dos & (attr::Hidden | attr::System | attr::Archive);
    } else if (S_ISREG(st.st_mode)) {
        a |= attr::Archive;
    }
    return a;
}

bool isDotName(std::string_view name) { return !name.empty() && name[0] == '.' && name != "." && name != ".."; }

// Describes in `e` (all but its name) the entry whose lstat is `lst`: a link
// is described by what it points at (`target`), and marked as a link.
void describe(DirEntry& e, bool dotName, const struct stat& lst, const struct stat* target,
              std::optional<std::uint32_t> dos, LocalTimes* times = nullptr) {
    const bool link = S_ISLNK(lst.st_mode);
    const struct stat& st = link && target ? *target : lst;
    e.attributes = attributesFrom(st, dos, dotName, link);
    e.size = static_cast<std::int64_t>(st.st_size);
    e.modified = times ? times->of(st.st_mtim.tv_sec) : libraryLocalTime(st.st_mtim.tv_sec);
    e.utcSeconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    e.nanoseconds = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
}

DirEntry entryOf(std::string name, const struct stat& lst, const struct stat* target,
                 std::optional<std::uint32_t> dos) {
    DirEntry e;
    describe(e, isDotName(name), lst, target, dos);
    e.name = std::move(name);
    return e;
}

// Names the program can show and keep comments of: no line break (it would
// split a record), and no "\" in a UTF-8 name (it would read as a separator
// wherever the name is shown in a path). A name that is not UTF-8 (from a
// Windows archive, say) is listed as its own bytes; a "\" byte in it may be
// half of a Shift_JIS character.
bool isListableName(std::string_view name) {
    if (name.find_first_of("\r\n") != std::string_view::npos) return false;
    return name.find('\\') == std::string_view::npos || !isValidUtf8(name);
}

void rejectNul(const std::string& path) {
    // A NUL would silently cut the native path short.
    if (path.find('\0') != std::string::npos) throw PlatformError(err::PathFileAccess);
}


// --- Temporary files -----------------------------------------------------------
//
// Where the file system cannot give an unnamed temporary file, a named one is
// used: hidden, and named ".<name>.mabrel-<host>-<pid>-<random>~" so that a
// later run can tell that its writer is gone and remove it.

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


// An entry name of a folder held open: one name, never a path.
void checkName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos) {
        throw PlatformError(err::PathFileAccess);
    }
}

// The path by which the machine reaches `name` in the folder open as `dirFd`,
// without a path walk of its own: for the calls that take no descriptor.
std::string throughDescriptor(int dirFd, const std::string& name) {
    return "/proc/self/fd/" + std::to_string(dirFd) + "/" + name;
}

std::optional<std::uint32_t> storedDosAttribOf(int fd) {
    char buffer[256];
    const ssize_t n = sys().fgetxattr(fd, kDosAttribName, buffer, sizeof buffer);
    if (n < 0) return std::nullopt;
    return decodeDosAttrib(std::string(buffer, static_cast<std::size_t>(n)));
}

// Opens the entry `name` of the folder `dirFd` for reading, never blocking
// (a FIFO, a device) and, unless `followLink`, never through a link.
int openEntry(int dirFd, const std::string& name, bool followLink, int access = O_RDONLY) {
    return sys().openat(dirFd, name.c_str(),
                        access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
}

// What an entry that cannot be read or written as a file says of itself.
[[noreturn]] void throwNotAFile(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess, kFolderNotFile);
    throw PlatformError(err::PathFileAccess, kNotRegularFile);
}

// The open that failed on `name` with errno `e`, said in words where a link
// or something that is no file stood in the way.
[[noreturn]] void throwOpenFailure(int e, int dirFd, const std::string& name, bool reading) {
    if (e == ELOOP) throw PlatformError(err::PathFileAccess, kLinkNotFile);
    if (e == ENXIO || e == ENODEV) {
        struct stat st{};
        if (sys().fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) throwNotAFile(st);
    }
    if (reading) throwReadErrnoIn(e);
    throwErrnoIn(e);
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

void copyDosAttrib(int in, int out) {
    char buffer[256];
    const ssize_t n = sys().fgetxattr(in, kDosAttribName, buffer, sizeof buffer);
    if (n >= 0) sys().fsetxattr(out, kDosAttribName, buffer, static_cast<std::size_t>(n), 0);
}

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

// Flushes the folder's names; where it cannot be opened for that, the
// names are flushed with the file system's next commit.
void syncFolder(int dirFd) {
    Fd dir(sys().openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) sys().fsync(dir.get());
}

// A named temporary file in a folder, removed unless it was given away.
class TemporaryFile {
public:
    explicit TemporaryFile(int dirFd) : dirFd_(dirFd) {}
    ~TemporaryFile() {
        if (!name_.empty()) sys().unlinkat(dirFd_, name_.c_str(), 0);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    void reset(std::string name) { name_ = std::move(name); }
    const std::string& name() const { return name_; }
    // Gives the unnamed file `fd` a hidden name beside `target`, for the
    // moment before it replaces it.
    void nameUnnamedFile(int fd, const std::string& target) {
        for (int attempt = 0;; ++attempt) {
            std::string name = temporaryNameFor(target);
            if (nameUnnamed(fd, dirFd_, name) == 0) {
                name_ = std::move(name);
                return;
            }
            if (errno != EEXIST || attempt >= 16) throwErrnoIn(errno);
        }
    }
    void renameTo(const std::string& target) {
        if (const int e = tryRenameTo(target)) throwErrnoIn(e);
    }
    // The same, returning the errno of a failure.
    int tryRenameTo(const std::string& target) {
        if (sys().renameat(dirFd_, name_.c_str(), dirFd_, target.c_str()) != 0) return errno;
        name_.clear();
        syncFolder(dirFd_);
        return 0;
    }

private:
    int dirFd_;
    std::string name_;
};

// What an existing target allows: nothing there, a writable file, or an
// error. A link is refused: the program writes nothing through one.
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

// A file to be named in the folder `dirFd` once it is complete: unnamed
// while it is written, or, where the file system has no unnamed files, a
// named hidden temporary that goes if it is not given away.
struct NewFile {
    NewFile(int dirFd, const std::string& name, mode_t mode) : temporary(dirFd) {
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
    // Closes a file made under a name and gives it its times and mode once
    // more by that name: an SMB server sets a file's modification time when
    // it is closed after a write, and a FUSE client may drop what was set
    // through the descriptor.
    void closeNamed(int dirFd, const struct timespec* times, std::optional<mode_t> mode) {
        if (fd.get() >= 0 && fd.close() != 0) throwErrnoIn(errno);
        if (!named) return;
        if (times && sys().utimensat(dirFd, temporary.name().c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
            throwErrnoIn(errno);
        }
        if (mode) sys().fchmodat(dirFd, temporary.name().c_str(), *mode, 0);  // where there are modes
    }
    bool unnamed() const { return temporary.name().empty(); }
    // Names the complete file `name` in `dirFd`, never over an entry of that
    // name (a link included), and makes the name last.
    void nameNew(int dirFd, const std::string& name, const struct timespec* times = nullptr,
                 std::optional<mode_t> mode = std::nullopt) {
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

    // Declared first, gone last: the descriptor is closed before the
    // temporary is unlinked, which an SMB share refuses for an open file.
    TemporaryFile temporary;
    Fd fd;
    int error = 0;
    bool named = false;  // made under a name: the file system has no unnamed files
};

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

bool cannotCreateHere(int e) { return e == EACCES || e == EPERM || e == EROFS; }

bool isRootSpelling(const std::string& text) {
    // "C:", "C:\", "\\server\share", "\\server\share\"
    if (text.size() >= 2 && text[1] == ':') return text.size() == 2 || (text.size() == 3 && (text[2] == '\\' || text[2] == '/'));
    if (text.rfind("\\\\", 0) == 0) {
        std::size_t names = 0;
        std::string name;
        for (std::size_t i = 2; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == '\\') {
                if (!name.empty()) ++names;
                name.clear();
            } else {
                name += text[i];
            }
        }
        return names <= 2;
    }
    return false;
}

}  // namespace

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

// --- PosixDirectory ----------------------------------------------------------

class PosixDirectory final : public Directory {
public:
    PosixDirectory(PosixFileSystem& fs, Fd fd, std::string path)
        : fs_(fs), fd_(std::move(fd)), path_(std::move(path)), ntfs_(keepsNtfsAttributes(fd_.get())) {}

    const std::string& path() const override { return path_; }
    std::vector<DirEntry> list(std::uint32_t mask, const ListProgress& progress = {}) override;
    std::optional<DirEntry> find(const std::string& name, std::uint32_t mask) override;
    std::unique_ptr<Directory> openFolder(const std::string& name, bool create) override;
    void setAttributes(const std::string& name, std::uint32_t attributes) override;
    void createCopy(Directory& from, const std::string& fromName, const std::string& name, std::uint32_t attributes,
                    const CopyProgress& progress) override;
    bool holdsCopyOf(const std::string& name, Directory& from, const std::string& fromName,
                     const CopyProgress& progress) override;
    void copyFile(Directory& from, const std::string& fromName, const std::string& name,
                  const CopyProgress& progress) override;
    void deleteCopy(const std::string& name) override;
    std::string readFile(const std::string& name) override;
    void writeFileAtomic(const std::string& name, const std::string& bytes) override;
    void updateFile(const std::string& name, const FileChange& change) override;
    std::int64_t takenTime(const std::string& name) override;
    void markTaken(const std::string& name) override;
    void removeStaleTemporaries() override;

private:
    // Writes `bytes` as the file `name`, which `existing` describes
    // (nothing: there is none). `current`, when open, is that file: its
    // attributes are read through it, and it is rewritten through it where
    // no file can be made here. With `current` closed and no file there, the
    // new file only takes the name while it is free (58 otherwise).
    void writeReplacing(const std::string& name, const std::string& bytes, const std::optional<struct stat>& existing,
                        int current);
    static int fdOf(Directory& other) {
        auto* posix = dynamic_cast<PosixDirectory*>(&other.unwrapped());
        if (!posix) throw PlatformError(err::InvalidArgument);
        return posix->fd_.get();
    }

    PosixFileSystem& fs_;
    Fd fd_;  // O_PATH
    std::string path_;
    // On NTFS the attributes are NTFS's own, read-only among them.
    bool ntfs_;
};

namespace {

// An entry's attributes with NTFS's read-only bit, where NTFS keeps them.
void addNtfsReadOnly(DirEntry& e, std::optional<std::uint32_t> ntfs) {
    if (ntfs && (*ntfs & attr::ReadOnly) && !(e.attributes & attr::Directory)) e.attributes |= attr::ReadOnly;
}

}  // namespace

namespace {

// Folders of this many entries and more are read by two threads, each
// taking the next piece of entries in turn: the stat and the attribute read
// of one entry wait on the kernel, not on each other, and the machine has a
// core to spare. A smaller folder is read faster than a thread starts.
constexpr std::size_t kTwoThreadsFrom = 2048;
constexpr std::size_t kPiece = 256;

}  // namespace

std::vector<DirEntry> PosixDirectory::list(std::uint32_t mask, const ListProgress& progress) {
    Fd listed(sys().openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (listed.get() < 0) throwReadErrnoIn(errno);
    struct stat folderStat{};
    if (sys().fstat(listed.get(), &folderStat) != 0) throwReadErrnoIn(errno);
    const int dirFd = listed.get();
    DIR* dir = sys().fdopendir(dirFd);
    if (!dir) throwReadErrnoIn(errno);
    listed.release();  // the listing owns it now
    struct Closer {
        DIR* dir;
        ~Closer() { sys().closedir(dir); }
    } closer{dir};

    // Told now and then how far the listing has got, by the thread that
    // called it; false from it stops the listing.
    auto nextReport = std::chrono::steady_clock::now() + kListProgressAfter;
    const auto report = [&](std::size_t read) {
        nextReport = std::chrono::steady_clock::now() + kListProgressAfter;
        if (!progress(read)) throw PlatformError(err::Cancelled);
    };

    // The names first, one after another with their NULs. A folder's size
    // is about that of its names and their records: room for them at once
    // (a page is used only once a name is put there), not growing room.
    // No entry is read yet: what it tells of a slow folder is the time.
    std::string names;
    std::vector<std::size_t> starts;
    std::vector<std::size_t> unshownAt;  // entries whose names cannot be shown
    const auto folderBytes = static_cast<std::size_t>(std::clamp<off_t>(folderStat.st_size, 0, off_t{64} << 20));
    names.reserve(folderBytes);
    starts.reserve(folderBytes / 16);
    preferLargePagesForSmallPieces();
    errno = 0;
    while (dirent* e = sys().readdir(dir)) {
        if (progress && (starts.size() % kListProgressEvery) == 0 && std::chrono::steady_clock::now() >= nextReport) {
            report(0);
        }
        const std::string_view name = e->d_name;
        if (!isListableName(name)) {
            if (!(mask & attr::UnshownName)) {
                errno = 0;
                continue;
            }
            unshownAt.push_back(starts.size());
        }
        starts.push_back(names.size());
        names.append(name).push_back('\0');
        errno = 0;
    }
    if (errno != 0) throwReadErrnoIn(errno);
    const std::size_t count = starts.size();
    starts.push_back(names.size());
    const auto nameAt = [&](std::size_t i) { return names.data() + starts[i]; };

    // Then each entry's stat and attributes, into its place.
    std::vector<DirEntry> entries;
    entries.reserve(count);
    preferLargePages(entries.data(), count * sizeof(DirEntry));
    preferLargePagesForSmallPieces();
    entries.resize(count);
    for (const std::size_t i : unshownAt) entries[i].attributes = attr::UnshownName;
    const std::string throughFd = "/proc/self/fd/" + std::to_string(dirFd);
    auto dosAttribs = fs_.dosAttribCache_.begin(dirFd, folderStat, throughFd);
    dosAttribs.expect(count);
    std::atomic<std::size_t> nextPiece{0};
    std::atomic<bool> stop{false};
    struct Failure {
        std::size_t index = SIZE_MAX;
        std::exception_ptr error;
    };
    // `reports`: the calling thread's pieces tell the progress, by where the
    // pieces taken so far end.
    const auto readPieces = [&](Failure& failure, bool reports) {
        LocalTimes times;
        DosAttribCache::Listing::Cursor cursor;
        std::size_t i = 0;
        try {
            while (!stop.load(std::memory_order_relaxed)) {
                const std::size_t from = nextPiece.fetch_add(kPiece, std::memory_order_relaxed);
                if (from >= count) break;
                if (reports && from > 0) report(from);
                for (i = from; i < std::min(count, from + kPiece); ++i) {
                    if (reports && std::chrono::steady_clock::now() >= nextReport && i > from) report(i);
                    if (entries[i].attributes == attr::UnshownName) continue;
                    const char* name = nameAt(i);
                    struct stat lst{};
                    struct stat target{};
                    // Gone since it was listed, unreadable, or a link that
                    // points nowhere: told apart only for callers that ask, so
                    // that they know the listing left something out.
                    if (sys().fstatat(dirFd, name, &lst, AT_SYMLINK_NOFOLLOW) != 0 ||
                        (S_ISLNK(lst.st_mode) && sys().fstatat(dirFd, name, &target, 0) != 0)) {
                        entries[i].attributes = attr::Unreadable;
                        continue;
                    }
                    const auto dos = ntfs_ ? ntfsAttributes(throughFd + "/" + name)
                                           : dosAttribs.read(i, name, S_ISLNK(lst.st_mode) ? target : lst, cursor);
                    describe(entries[i], isDotName(name), lst, &target, dos, &times);
                    if (ntfs_) addNtfsReadOnly(entries[i], dos);
                }
            }
        } catch (...) {
            failure = {i, std::current_exception()};
            stop = true;
        }
    };
    Failure failures[2];
    {
        std::optional<std::jthread> helper;
        if (count >= kTwoThreadsFrom) {
            try {
                helper.emplace(readPieces, std::ref(failures[1]), false);
            } catch (const std::system_error&) {
                // No thread to be had: one reads them all.
            }
        }
        readPieces(failures[0], static_cast<bool>(progress));
    }
    // The failure of the first entry that failed, as one thread would have met it.
    const Failure& first = failures[0].index <= failures[1].index ? failures[0] : failures[1];
    if (first.error) std::rethrow_exception(first.error);

    // What the mask passes, named, in the folder's order.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 4096 == 0) preferLargePagesForSmallPieces();
        DirEntry& entry = entries[i];
        if (!matchesMask(entry.attributes, mask)) continue;
        // Made to measure: growing the empty name would double its room.
        entry.name = std::string(nameAt(i), starts[i + 1] - starts[i] - 1);
        if (kept != i) entries[kept] = std::move(entry);
        ++kept;
    }
    entries.resize(kept);

    // "." and ".." first, as Windows lists them; the rest in the folder's
    // own order, which stays while the folder does (the load orders its
    // rows itself).
    std::size_t front = 0;
    for (const char* dots : {".", ".."}) {
        for (std::size_t i = front; i < entries.size(); ++i) {
            if (entries[i].name == dots) {
                std::swap(entries[front++], entries[i]);
                break;
            }
        }
    }
    return entries;
}

std::optional<DirEntry> PosixDirectory::find(const std::string& name, std::uint32_t mask) {
    checkName(name);
    struct stat lst{};
    if (sys().fstatat(fd_.get(), name.c_str(), &lst, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throwErrnoIn(errno);
    }
    struct stat target{};
    const bool reachable = !S_ISLNK(lst.st_mode) || sys().fstatat(fd_.get(), name.c_str(), &target, 0) == 0;
    const std::string through = throughDescriptor(fd_.get(), name);
    const auto dos = ntfs_ ? ntfsAttributes(through) : storedDosAttrib(through);
    DirEntry entry = entryOf(name, lst, reachable ? &target : nullptr, dos);
    if (ntfs_) addNtfsReadOnly(entry, dos);
    if (!matchesMask(entry.attributes, mask)) return std::nullopt;
    return entry;
}

namespace {

// A folder just made in `parentFd`, open as `folderFd`, opened up (past the
// umask) to those who may write the parent; its group, in a setgid parent,
// is the parent's already.
void shareLikeParent(int folderFd, int parentFd) {
    const mode_t writers = folderWriters(parentFd);
    if (writers == 0) return;
    Fd folder(sys().openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st{};
    if (folder.get() < 0 || sys().fstat(folder.get(), &st) != 0) return;
    const mode_t mode = (st.st_mode & 07777) | writers | (writers << 1) | (writers >> 1);
    if (mode != (st.st_mode & 07777)) sys().fchmod(folder.get(), mode);
}

}  // namespace

std::unique_ptr<Directory> PosixDirectory::openFolder(const std::string& name, bool create) {
    checkName(name);
    constexpr int kFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    Fd sub(sys().openat(fd_.get(), name.c_str(), kFlags));
    if (sub.get() < 0 && errno == ENOENT && create) {
        if (sys().mkdirat(fd_.get(), name.c_str(), 0777) == 0) {
            sub = Fd(sys().openat(fd_.get(), name.c_str(), kFlags));
            if (sub.get() >= 0) shareLikeParent(sub.get(), fd_.get());
        } else if (errno != EEXIST) {
            throwErrnoIn(errno);
        }
        if (sub.get() < 0) sub = Fd(sys().openat(fd_.get(), name.c_str(), kFlags));
    }
    if (sub.get() < 0) {
        const int e = errno;
        if (e == ENOENT) throw PlatformError(err::PathNotFound);
        struct stat st{};
        if ((e == ELOOP || e == ENOTDIR) && sys().fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(st.st_mode)) throw PlatformError(err::PathFileAccess, kLinkNotFolder);
            if (!S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess);
        }
        throwErrnoIn(e);
    }
    // Looked at through the descriptor itself: what was opened is what is used.
    struct stat st{};
    if (sys().fstat(sub.get(), &st) != 0) throwErrnoIn(errno);
    if (!S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess);
    return std::make_unique<PosixDirectory>(fs_, std::move(sub), path_ + name + "\\");
}

void PosixDirectory::setAttributes(const std::string& name, std::uint32_t wanted) {
    checkName(name);
    Fd file(openEntry(fd_.get(), name, false));
    if (file.get() < 0) throwOpenFailure(errno, fd_.get(), name, false);
    struct stat st{};
    if (sys().fstat(file.get(), &st) != 0) throwErrnoIn(errno);
    const bool folder = S_ISDIR(st.st_mode);
    // Read-only means nothing for a folder on Windows; taking a folder's
    // write permission would stop files being made in it.
    const bool readOnly = (wanted & attr::ReadOnly) != 0 && !folder;
    if (ntfs_) {
        // NTFS's own bits, as Windows reads them; nothing beside them.
        const std::string through = throughDescriptor(fd_.get(), name);
        constexpr std::uint32_t kSettable = attr::ReadOnly | attr::Hidden | attr::System | attr::Archive;
        const auto present = ntfsAttributes(through);
        const std::uint32_t bits = (present.value_or(0) & ~kSettable) |
                                   (wanted & (attr::Hidden | attr::System | attr::Archive)) |
                                   (readOnly ? attr::ReadOnly : 0);
        if (present && *present == bits) return;
        if (!setNtfsAttributes(through, bits)) throwErrnoIn(errno);
        return;
    }

    // Clearing read-only first, so that the extended attribute may be written.
    if (!readOnly && !folder && (st.st_mode & kWriteBits) == 0) {
        const mode_t bits = writeBitsFor(st.st_mode, fd_.get());
        if (sys().fchmod(file.get(), (st.st_mode & 07777) | bits) != 0) throwErrnoIn(errno);
        st.st_mode |= bits;
    }

    const std::uint32_t dosBits = attr::Hidden | attr::System | attr::Archive;
    const auto stored = storedDosAttribOf(file.get());
    const bool dot = isDotName(name);
    const std::uint32_t byDefault = (dot ? attr::Hidden : 0) | (S_ISREG(st.st_mode) ? attr::Archive : 0);
    const std::uint32_t wantedDos = wanted & dosBits;
    const std::uint32_t present = stored ? (*stored & dosBits) | (dot ? attr::Hidden : 0) : byDefault;
    if (present != wantedDos || (stored && (*stored & attr::ReadOnly) != (wanted & attr::ReadOnly))) {
        const std::string value =
            encodeDosAttrib(wantedDos | (wanted & attr::ReadOnly) | (folder ? attr::Directory : 0));
        int rc = sys().fsetxattr(file.get(), kDosAttribName, value.data(), value.size(), 0);
        if (rc != 0 && errno == EACCES && (st.st_mode & S_IWUSR) == 0) {
            // A read-only file that stays read-only: user.* attributes need
            // write permission for a moment.
            if (sys().fchmod(file.get(), (st.st_mode & 07777) | S_IWUSR) == 0) {
                rc = sys().fsetxattr(file.get(), kDosAttribName, value.data(), value.size(), 0);
                sys().fchmod(file.get(), st.st_mode & 07777);
            }
        }
        // Without extended attributes only names and permission bits count.
        (void)rc;
    }

    if (readOnly && (st.st_mode & kWriteBits) != 0) {
        if (sys().fchmod(file.get(), st.st_mode & 07777 & ~kWriteBits) != 0) throwErrnoIn(errno);
    }
}

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


// --- PosixFileSystem ---------------------------------------------------------

PosixFileSystem::PosixFileSystem(std::string mountTablePath) : mountTable_(std::move(mountTablePath)) {
    // A write past a file-size limit then fails with EFBIG, told like a full
    // disk, instead of ending the program with the comments typed.
    ::signal(SIGXFSZ, SIG_IGN);
}

std::vector<Drive> PosixFileSystem::drives() { return mountTable_.now().drives(); }

std::string PosixFileSystem::drivePath(const std::string& native) {
    return nativeToDrivePath(native, mountTable_.now().drives());
}

PosixFileSystem::Resolved PosixFileSystem::resolve(const std::string& path, bool ignoreCase) {
    rejectNul(path);
    std::optional<SplitPath> split;
    const bool onC = path.size() >= 2 && path[1] == ':' && (path[0] == 'C' || path[0] == 'c');
    if (onC) {
        // The root file system needs no mount table.
        split = splitDrivePath(path, {Drive{'C', "/", drive_type::Fixed, "", ""}}, {}, "/", "/");
    } else {
        const MountTable& table = mountTable_.now();
        // Only a relative path or one from the root of the current drive
        // ("notes.txt", "\Docs") starts from the current directory.
        const bool fromCurrent = !(path.size() >= 2 && path[1] == ':') && !path.starts_with("\\\\") &&
                                 !path.starts_with("//");
        std::string cwd = "/";
        std::string currentRoot = "/";
        if (fromCurrent) {
            if (char* c = ::getcwd(nullptr, 0)) {
                cwd = c;
                std::free(c);
            }
            const std::string cwdDrive = nativeToDrivePath(cwd, table.drives());
            for (const auto& d : table.drives()) {
                if (d.letter == cwdDrive[0]) currentRoot = d.mountPoint;
            }
        }
        split = splitDrivePath(path, table.drives(), table.entries(), cwd, currentRoot);
    }
    if (!split) throw PlatformError(err::PathNotFound);

    if (split->components.empty()) return {split->base, ""};
    // Names the program built or listed are used exactly as spelled.
    if (!ignoreCase) return {joinNative(*split), split->components.back()};
    {
        // Spelled as stored: the common case, one lookup.
        const std::string spelled = joinNative(*split);
        struct stat st{};
        if (sys().lstat(spelled.c_str(), &st) == 0) return {spelled, split->components.back()};
    }

    // Letter case: where a name is missing as spelled, take the one entry
    // that matches it without regard to case.
    std::string current = split->base;
    std::string lastName;
    bool missing = false;
    for (auto& name : split->components) {
        const std::string spelled = (current == "/" ? "" : current) + "/" + name;
        struct stat st{};
        if (!missing && sys().lstat(spelled.c_str(), &st) != 0 && errno == ENOENT) {
            std::optional<std::string> match;
            int matches = 0;
            if (DIR* dir = sys().opendir(current.c_str())) {
                while (dirent* e = sys().readdir(dir)) {
                    const std::string stored = e->d_name;
                    if (stored.find('\\') != std::string::npos) continue;
                    if (equalsIgnoringAsciiCase(stored, name)) {
                        ++matches;
                        match = stored;
                    }
                }
                sys().closedir(dir);
            }
            if (matches == 1) name = *match;
            else missing = true;  // later names cannot exist either
        }
        current = (current == "/" ? "" : current) + "/" + name;
        lastName = name;
    }
    return {current, lastName};
}

std::optional<std::string> PosixFileSystem::nativePath(const std::string& path) {
    try {
        return resolve(path, true).native;
    } catch (const PlatformError&) {
        return std::nullopt;
    }
}


std::uint32_t PosixFileSystem::attributes(const std::string& path) {
    const auto r = resolve(path);
    struct stat lst{};
    if (sys().lstat(r.native.c_str(), &lst) != 0) throwErrno(errno, r.native);
    struct stat st{};
    const bool link = S_ISLNK(lst.st_mode);
    if (link && sys().stat(r.native.c_str(), &st) != 0) st = lst;  // points nowhere
    if (!link) st = lst;
    return attributesFrom(st, storedDosAttrib(r.native), isDotName(r.name), link);
}

std::optional<DirEntry> PosixFileSystem::findIgnoringCase(const std::string& path, std::uint32_t mask) {
    if (isRootSpelling(path)) return std::nullopt;  // a root has no entry of its own
    Resolved r;
    try {
        r = resolve(path, true);
    } catch (const PlatformError& e) {
        if (e.number() == err::PathNotFound) return std::nullopt;
        throw;
    }
    if (r.name.empty()) return std::nullopt;
    struct stat lst{};
    if (sys().lstat(r.native.c_str(), &lst) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throwErrno(errno, r.native);
    }
    struct stat target{};
    const bool reachable = !S_ISLNK(lst.st_mode) || sys().stat(r.native.c_str(), &target) == 0;
    DirEntry entry = entryOf(r.name, lst, reachable ? &target : nullptr, storedDosAttrib(r.native));
    if (!matchesMask(entry.attributes, mask)) return std::nullopt;
    return entry;
}

std::unique_ptr<Directory> PosixFileSystem::openDirectory(const std::string& path) {
    const auto r = resolve(path);
    // Following links: the person chose this path (~/Documents may be one).
    Fd fd(sys().open(r.native.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) {
        const int e = errno;
        if (e == ENOENT || e == ENOTDIR) throw PlatformError(err::PathNotFound);
        throwReadErrno(e, r.native);
    }
    std::string drive = path;
    if (drive.empty() || drive.back() != '\\') drive += '\\';
    return std::make_unique<PosixDirectory>(*this, std::move(fd), std::move(drive));
}


unsigned PosixFileSystem::driveType(const std::string& root) {
    if (root.rfind("\\\\", 0) == 0) {
        std::vector<std::string> names;
        std::string name;
        for (std::size_t i = 2; i <= root.size(); ++i) {
            if (i == root.size() || root[i] == '\\') {
                if (!name.empty()) names.push_back(name);
                name.clear();
            } else {
                name += root[i];
            }
        }
        if (names.size() < 2) return drive_type::NoRoot;
        return shareMountPoint(mountTable_.now().entries(), names[0], names[1]) ? drive_type::Network
                                                                                : drive_type::NoRoot;
    }
    const auto& driveList = mountTable_.now().drives();
    char letter;
    if (root.empty()) {
        std::string cwd = "/";
        if (char* c = ::getcwd(nullptr, 0)) {
            cwd = c;
            std::free(c);
        }
        letter = nativeToDrivePath(cwd, driveList)[0];
    } else if (root.size() >= 2 && root[1] == ':' && std::isalpha(static_cast<unsigned char>(root[0]))) {
        letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
    } else {
        return drive_type::NoRoot;
    }
    for (const auto& d : driveList) {
        if (d.letter == letter) return d.type;
    }
    return drive_type::NoRoot;
}

}  // namespace mabrel::platform::posix
