#include "platform/posix/posix_filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include <signal.h>

#include "platform/errors.h"
#include "platform/posix/dos_attrib.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/local_times.h"
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

}  // namespace

// --- Helpers -------------------------------------------------------------------

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// The write bits that clearing read-only gives back: the owner's, and the
// group's and others' where they may read and the umask lets them write.
mode_t writeBitsFor(mode_t mode) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t bits = S_IWUSR;
    if ((mode & S_IRGRP) && !(mask & S_IWGRP)) bits |= S_IWGRP;
    if ((mode & S_IROTH) && !(mask & S_IWOTH)) bits |= S_IWOTH;
    return bits;
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

bool isDotName(const std::string& name) { return !name.empty() && name[0] == '.' && name != "." && name != ".."; }

// The entry for a name whose lstat is `lst`: a link is described by what it
// points at (`target`), and marked as a link.
DirEntry entryOf(std::string name, const struct stat& lst, const struct stat* target,
                 std::optional<std::uint32_t> dos, LocalTimes* times = nullptr) {
    const bool link = S_ISLNK(lst.st_mode);
    const struct stat& st = link && target ? *target : lst;
    DirEntry e;
    e.attributes = attributesFrom(st, dos, isDotName(name), link);
    e.name = std::move(name);
    e.size = static_cast<std::int64_t>(st.st_size);
    e.modified = times ? times->of(st.st_mtim.tv_sec) : libraryLocalTime(st.st_mtim.tv_sec);
    e.utcSeconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    return e;
}

// Names the program's paths and files cannot carry: not UTF-8 (the comment
// file would store raw bytes), a line break (it would split a record), or a
// "\" (it would read as a separator).
bool isListableName(const std::string& name) {
    for (const char c : name) {
        if (c == '\\' || c == '\r' || c == '\n') return false;
    }
    return isValidUtf8(name);
}

struct stat statOrThrow(const std::string& native) {
    struct stat st{};
    if (sys().stat(native.c_str(), &st) != 0) throwErrno(errno, native);
    return st;
}

// The lstat of a path that must not be a link: the program never writes,
// deletes or changes attributes through one.
struct stat lstatNoLink(const std::string& native) {
    struct stat st{};
    if (sys().lstat(native.c_str(), &st) != 0) throwErrno(errno, native);
    if (S_ISLNK(st.st_mode)) throw PlatformError(err::PathFileAccess);
    return st;
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

// A name for a temporary file beside `native`: hidden, unique, and short
// enough for NAME_MAX whatever the target's name.
std::string temporaryBeside(const std::string& native) {
    const std::string folder = parentOf(native);
    std::string name = native.substr(native.find_last_of('/') + 1);
    if (name.size() > 180) {
        std::size_t cut = 180;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // keep UTF-8 whole
        name.resize(cut);
    }
    return (folder == "/" ? "" : folder) + "/." + name + temporarySuffix();
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

// Creates a named temporary file beside `native`; retries on a name clash.
int createTemporary(const std::string& native, mode_t mode, std::string& temporary) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = temporaryBeside(native);
        const int fd = sys().open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0) return fd;
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

// An unnamed file in `folder`, or -1 with errno set.
int createUnnamed(const std::string& folder, mode_t mode) {
    return sys().open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
}

bool unnamedUnsupported(int e) { return e == EOPNOTSUPP || e == EISDIR || e == EINVAL || e == ENOSYS; }

// Gives the unnamed file `fd` the name `native`; fails when the name exists.
int nameUnnamed(int fd, const std::string& native) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return sys().linkat(AT_FDCWD, self.c_str(), AT_FDCWD, native.c_str(), AT_SYMLINK_FOLLOW);
}

void writeAll(int fd, const char* data, std::size_t size, const std::string& native) {
    while (size > 0) {
        const ssize_t n = sys().write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno(errno, native);
        }
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
void copyContent(int in, int out, std::int64_t expected, const std::string& nativeTarget,
                 const CopyProgress& progress) {
    report(progress, 0, expected);
    if (sys().ioctl(out, FICLONE, in) == 0) {
        struct stat st{};
        if (sys().fstat(out, &st) != 0) throwErrno(errno, nativeTarget);
        if (st.st_size == expected) {
            report(progress, expected, expected);
            return;
        }
        if (sys().ftruncate(out, 0) != 0) throwErrno(errno, nativeTarget);
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
        throwErrno(errno, nativeTarget);
    }
    std::vector<char> buffer(1 << 16);
    while (done < expected) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(expected - done, buffer.size()));
        const ssize_t n = sys().pread(in, buffer.data(), want, done);
        if (n == 0) throw PlatformError(err::DeviceIo);  // the source ended before its size
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno(errno, nativeTarget);
        }
        std::size_t written = 0;
        while (written < static_cast<std::size_t>(n)) {
            const ssize_t w = sys().pwrite(out, buffer.data() + written, static_cast<std::size_t>(n) - written,
                                       done + static_cast<off_t>(written));
            if (w < 0) {
                if (errno == EINTR) continue;
                throwErrno(errno, nativeTarget);
            }
            if (w == 0) throw PlatformError(err::DeviceIo);
            written += static_cast<std::size_t>(w);
        }
        done += n;
        report(progress, done, expected);
    }
    struct stat st{};
    if (sys().fstat(out, &st) != 0) throwErrno(errno, nativeTarget);
    if (st.st_size != expected) throw PlatformError(err::DeviceIo);
}

void copyDosAttrib(int in, int out) {
    char buffer[256];
    const ssize_t n = sys().fgetxattr(in, kDosAttribName, buffer, sizeof buffer);
    if (n >= 0) sys().fsetxattr(out, kDosAttribName, buffer, static_cast<std::size_t>(n), 0);
}

void syncFolder(const std::string& folder) {
    Fd dir(sys().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) sys().fsync(dir.get());
}

// A named temporary file that is removed unless it was given away.
class TemporaryFile {
public:
    TemporaryFile() = default;
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) sys().unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    void reset(std::string path) { path_ = std::move(path); }
    const std::string& path() const { return path_; }
    void renameTo(const std::string& target) {
        if (sys().rename(path_.c_str(), target.c_str()) != 0) throwErrno(errno, target);
        path_.clear();
        syncFolder(parentOf(target));
    }

private:
    std::string path_;
};

// What an existing target allows: nothing there, a writable file, or an
// error. A link is refused: the program writes nothing through one.
std::optional<struct stat> checkReplaceable(const std::string& native) {
    struct stat st{};
    if (sys().lstat(native.c_str(), &st) != 0) {
        if (errno == ENOENT) return std::nullopt;
        throwErrno(errno, native);
    }
    if (S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess);
    if ((st.st_mode & kWriteBits) == 0) throw PlatformError(err::PermissionDenied);
    return st;
}

// Writes `bytes` over the file in place: for a folder in which no file can be
// made, though the file itself may be written.
void rewriteInPlace(const std::string& native, const std::string& bytes) {
    Fd out(sys().open(native.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    if (out.get() < 0) throwErrno(errno, native);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = sys().pwrite(out.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno(errno, native);
        }
        if (n == 0) throw PlatformError(err::DeviceIo);
        done += static_cast<std::size_t>(n);
    }
    if (sys().ftruncate(out.get(), static_cast<off_t>(bytes.size())) != 0) throwErrno(errno, native);
    if (sys().fsync(out.get()) != 0) throwErrno(errno, native);
    if (out.close() != 0) throwErrno(errno, native);
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

// --- PosixFileSystem ---------------------------------------------------------

PosixFileSystem::PosixFileSystem(std::string mountTablePath) : mountTable_(std::move(mountTablePath)) {}

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

void PosixFileSystem::setAttributes(const std::string& path, std::uint32_t wanted) {
    const auto r = resolve(path);
    struct stat st = lstatNoLink(r.native);
    // Read-only means nothing for a folder on Windows; taking a folder's
    // write permission would stop files being made in it.
    const bool readOnly = (wanted & attr::ReadOnly) != 0 && !S_ISDIR(st.st_mode);

    // Clearing read-only first, so that the extended attribute may be written.
    if (!readOnly && !S_ISDIR(st.st_mode) && (st.st_mode & kWriteBits) == 0) {
        if (sys().chmod(r.native.c_str(), (st.st_mode & 07777) | writeBitsFor(st.st_mode)) != 0) {
            throwErrno(errno, r.native);
        }
        st.st_mode |= writeBitsFor(st.st_mode);
    }

    const std::uint32_t dosBits = attr::Hidden | attr::System | attr::Archive;
    const auto stored = storedDosAttrib(r.native);
    const std::uint32_t byDefault = (isDotName(r.name) ? attr::Hidden : 0) | (S_ISREG(st.st_mode) ? attr::Archive : 0);
    const std::uint32_t wantedDos = wanted & dosBits;
    const std::uint32_t present = stored ? (*stored & dosBits) | (isDotName(r.name) ? attr::Hidden : 0) : byDefault;
    if (present != wantedDos || (stored && (*stored & attr::ReadOnly) != (wanted & attr::ReadOnly))) {
        const std::string value =
            encodeDosAttrib(wantedDos | (wanted & attr::ReadOnly) | (S_ISDIR(st.st_mode) ? attr::Directory : 0));
        int rc = sys().setxattr(r.native.c_str(), kDosAttribName, value.data(), value.size(), 0);
        if (rc != 0 && errno == EACCES && (st.st_mode & S_IWUSR) == 0) {
            // A read-only file that stays read-only: user.* attributes need
            // write permission for a moment.
            if (sys().chmod(r.native.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0) {
                rc = sys().setxattr(r.native.c_str(), kDosAttribName, value.data(), value.size(), 0);
                sys().chmod(r.native.c_str(), st.st_mode & 07777);
            }
        }
        // Without extended attributes only names and permission bits count.
        (void)rc;
    }

    if (readOnly && (st.st_mode & kWriteBits) != 0) {
        if (sys().chmod(r.native.c_str(), st.st_mode & 07777 & ~kWriteBits) != 0) throwErrno(errno, r.native);
    }
}

std::vector<DirEntry> PosixFileSystem::list(const std::string& folder, std::uint32_t mask,
                                            const ListProgress& progress) {
    std::string native;
    try {
        native = resolve(folder).native;
    } catch (const PlatformError& e) {
        if (e.number() == err::PathNotFound) return {};
        throw;
    }
    DIR* dir = sys().opendir(native.c_str());
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR) return {};
        throwReadErrno(errno, native);
    }
    const int dirFd = ::dirfd(dir);
    struct stat folderStat{};
    sys().fstat(dirFd, &folderStat);
    std::vector<DirEntry> entries;
    int readError = 0;
    {
        auto dosAttribs = dosAttribCache_.begin(dirFd, folderStat, native);
        LocalTimes times;
        std::size_t read = 0;
        auto nextReport = std::chrono::steady_clock::now() + kListProgressAfter;
        errno = 0;
        while (dirent* e = sys().readdir(dir)) {
            if (progress && (++read % kListProgressEvery == 0 || std::chrono::steady_clock::now() >= nextReport)) {
                nextReport = std::chrono::steady_clock::now() + kListProgressAfter;
                if (!progress(read)) {
                    sys().closedir(dir);
                    throw PlatformError(err::Cancelled);
                }
            }
            errno = 0;
            std::string name = e->d_name;
            if (!isListableName(name)) continue;
            struct stat lst{};
            struct stat target{};
            // Gone since readdir, unreadable, or a link that points nowhere:
            // told apart only for callers that ask, so that they know the
            // listing left something out.
            if (sys().fstatat(dirFd, name.c_str(), &lst, AT_SYMLINK_NOFOLLOW) != 0 ||
                (S_ISLNK(lst.st_mode) && sys().fstatat(dirFd, name.c_str(), &target, 0) != 0)) {
                if (mask & attr::Unreadable) {
                    DirEntry unreadable;
                    unreadable.name = std::move(name);
                    unreadable.attributes = attr::Unreadable;
                    entries.push_back(std::move(unreadable));
                }
                errno = 0;
                continue;
            }
            const auto dos = dosAttribs.read(name.c_str(), S_ISLNK(lst.st_mode) ? target : lst);
            DirEntry entry = entryOf(std::move(name), lst, &target, dos, &times);
            if (matchesMask(entry.attributes, mask)) entries.push_back(std::move(entry));
            errno = 0;
        }
        readError = errno;
    }
    sys().closedir(dir);
    if (readError != 0) throwReadErrno(readError, native);

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

std::optional<DirEntry> PosixFileSystem::findEntry(const std::string& path, std::uint32_t mask, bool ignoreCase) {
    if (isRootSpelling(path)) return std::nullopt;  // a root has no entry of its own
    Resolved r;
    try {
        r = resolve(path, ignoreCase);
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

std::optional<DirEntry> PosixFileSystem::find(const std::string& path, std::uint32_t mask) {
    return findEntry(path, mask, false);
}

std::optional<DirEntry> PosixFileSystem::findIgnoringCase(const std::string& path, std::uint32_t mask) {
    return findEntry(path, mask, true);
}

void PosixFileSystem::copyFile(const std::string& from, const std::string& to, const CopyProgress& progress) {
    const auto source = resolve(from);
    const auto target = resolve(to);
    Fd in(sys().open(source.native.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) throwErrno(errno, source.native);
    struct stat st{};
    if (sys().fstat(in.get(), &st) != 0) throwErrno(errno, source.native);
    if (S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess);

    const auto replaced = checkReplaceable(target.native);
    // A replaced file keeps its permission bits: a restored file is the
    // person's own file again, not a copy of the read-only backup.
    const mode_t mode = replaced ? (replaced->st_mode & 07777) : (st.st_mode & 07777);
    std::string temporaryPath;
    Fd out(createTemporary(target.native, S_IRUSR | S_IWUSR, temporaryPath));
    if (out.get() < 0) throwErrno(errno, target.native);
    TemporaryFile temporary(temporaryPath);

    copyContent(in.get(), out.get(), static_cast<std::int64_t>(st.st_size), target.native, progress);
    copyDosAttrib(in.get(), out.get());
    if (sys().fchmod(out.get(), mode) != 0) throwErrno(errno, target.native);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (sys().futimens(out.get(), times) != 0) throwErrno(errno, target.native);
    if (sys().fsync(out.get()) != 0) throwErrno(errno, target.native);
    if (out.close() != 0) throwErrno(errno, target.native);
    temporary.renameTo(target.native);
}

void PosixFileSystem::createCopy(const std::string& from, const std::string& to, std::uint32_t attributes,
                                 const CopyProgress& progress) {
    const auto source = resolve(from);
    const auto target = resolve(to);
    if (target.name.empty()) throw PlatformError(err::PathFileAccess);
    Fd in(sys().open(source.native.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) throwErrno(errno, source.native);
    struct stat st{};
    if (sys().fstat(in.get(), &st) != 0) throwErrno(errno, source.native);
    if (S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess);

    // Unnamed until complete, so that nothing is left by a failure or a
    // crash; a named hidden temporary file where the file system has none.
    const std::string folder = parentOf(target.native);
    TemporaryFile temporary;
    Fd out(createUnnamed(folder, S_IRUSR | S_IWUSR));
    if (out.get() < 0) {
        if (!unnamedUnsupported(errno)) throwErrno(errno, target.native);
        std::string temporaryPath;
        out = Fd(createTemporary((folder == "/" ? "" : folder) + "/_mabre-tmp", S_IRUSR | S_IWUSR, temporaryPath));
        if (out.get() < 0) throwErrno(errno, target.native);
        temporary.reset(temporaryPath);
    }

    copyContent(in.get(), out.get(), static_cast<std::int64_t>(st.st_size), target.native, progress);
    const std::string value = encodeDosAttrib(attributes & (attr::ReadOnly | attr::Hidden | attr::System | attr::Archive));
    sys().fsetxattr(out.get(), kDosAttribName, value.data(), value.size(), 0);  // where extended attributes exist
    mode_t mode = st.st_mode & 07777;
    if (attributes & attr::ReadOnly) mode &= ~kWriteBits;
    if (sys().fchmod(out.get(), mode) != 0) throwErrno(errno, target.native);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (sys().futimens(out.get(), times) != 0) throwErrno(errno, target.native);
    if (sys().fsync(out.get()) != 0) throwErrno(errno, target.native);

    // A name that exists, a link included, is never replaced.
    const int rc = temporary.path().empty() ? nameUnnamed(out.get(), target.native)
                                            : sys().link(temporary.path().c_str(), target.native.c_str());
    if (rc != 0) {
        if (errno == EEXIST) throw PlatformError(err::FileAlreadyExists);
        throwErrno(errno, target.native);
    }
    if (out.close() != 0) throwErrno(errno, target.native);
    syncFolder(folder);
}

void PosixFileSystem::rename(const std::string& from, const std::string& to) {
    const auto source = resolve(from);
    const auto target = resolve(to);
    if (sys().rename(source.native.c_str(), target.native.c_str()) != 0) {
        const int e = errno;
        struct stat st{};
        const bool sourceThere = sys().lstat(source.native.c_str(), &st) == 0;
        throwErrno(e, sourceThere ? target.native : source.native);
    }
    syncFolder(parentOf(target.native));
}

void PosixFileSystem::deleteCopy(const std::string& path) {
    // Unlinking needs no write permission on the file: a copy is never made
    // writable first, so a failure cannot leave it so.
    const auto r = resolve(path);
    const struct stat st = lstatNoLink(r.native);
    if (S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess);
    if (sys().unlink(r.native.c_str()) != 0) throwErrno(errno, r.native);
}

void PosixFileSystem::deleteFile(const std::string& path) {
    const auto r = resolve(path);
    const struct stat st = lstatNoLink(r.native);
    if (S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess);
    // Read-only files are protected from deletion, as on Windows: backup
    // copies rely on it.
    if (S_ISREG(st.st_mode) && (st.st_mode & kWriteBits) == 0) throw PlatformError(err::PathFileAccess);
    if (sys().unlink(r.native.c_str()) != 0) throwErrno(errno, r.native);
}

void PosixFileSystem::createDirectory(const std::string& path) {
    const auto r = resolve(path);
    if (r.name.empty()) throw PlatformError(err::PathFileAccess);  // a root exists already
    if (sys().mkdir(r.native.c_str(), 0777) != 0) throwErrno(errno, r.native);
}

std::int64_t PosixFileSystem::fileSize(const std::string& path) {
    const auto r = resolve(path);
    return static_cast<std::int64_t>(statOrThrow(r.native).st_size);
}

LocalTime PosixFileSystem::modificationTime(const std::string& path) {
    const auto r = resolve(path);
    return libraryLocalTime(statOrThrow(r.native).st_mtim.tv_sec);
}

std::string PosixFileSystem::readFile(const std::string& path) {
    const auto r = resolve(path);
    Fd in(sys().open(r.native.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) throwReadErrno(errno, r.native);
    struct stat st{};
    if (sys().fstat(in.get(), &st) != 0) throwErrno(errno, r.native);
    if (S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess, kFolderNotFile);
    std::string bytes;
    if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = sys().read(in.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno(errno, r.native);
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

void PosixFileSystem::writeFileAtomic(const std::string& path, const std::string& bytes) {
    const auto r = resolve(path);
    if (r.name.empty()) throw PlatformError(err::PathFileAccess);
    const auto existing = checkReplaceable(r.native);
    const std::string folder = parentOf(r.native);

    // Unnamed while it is written; named beside the target only for the
    // moment before it replaces it.
    TemporaryFile temporary;
    Fd out(createUnnamed(folder, 0666));
    bool unnamed = out.get() >= 0;
    if (!unnamed) {
        int e = errno;
        if (unnamedUnsupported(e)) {
            std::string temporaryPath;
            out = Fd(createTemporary(r.native, 0666, temporaryPath));
            e = errno;
            if (out.get() >= 0) temporary.reset(temporaryPath);
        }
        if (out.get() < 0) {
            // No file can be made in this folder, though the file itself may
            // be written: rewrite it where it is.
            if (existing && cannotCreateHere(e)) return rewriteInPlace(r.native, bytes);
            throwErrno(e, r.native);
        }
    }
    writeAll(out.get(), bytes.data(), bytes.size(), r.native);
    if (existing) {
        // The replaced file's permissions and DOS attributes stay.
        Fd old(sys().open(r.native.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (old.get() >= 0) copyDosAttrib(old.get(), out.get());
        sys().fchmod(out.get(), existing->st_mode & 07777);
    }
    if (sys().fsync(out.get()) != 0) throwErrno(errno, r.native);
    if (unnamed) {
        for (int attempt = 0;; ++attempt) {
            const std::string name = temporaryBeside(r.native);
            if (nameUnnamed(out.get(), name) == 0) {
                temporary.reset(name);
                break;
            }
            if (errno != EEXIST || attempt >= 16) throwErrno(errno, r.native);
        }
    }
    if (out.close() != 0) throwErrno(errno, r.native);
    temporary.renameTo(r.native);
}

void PosixFileSystem::removeStaleTemporaries(const std::string& folder) {
    std::string native;
    try {
        native = resolve(folder).native;
    } catch (const PlatformError&) {
        return;
    }
    // A folder whose last scan found no temporary and that has not changed
    // since holds none: every load asks, most folders never have one.
    struct stat folderStat{};
    if (sys().stat(native.c_str(), &folderStat) != 0) return;
    const auto same = [&](const CleanFolder& c) {
        return c.device == folderStat.st_dev && c.inode == folderStat.st_ino &&
               c.modified.tv_sec == folderStat.st_mtim.tv_sec && c.modified.tv_nsec == folderStat.st_mtim.tv_nsec;
    };
    if (std::any_of(cleanFolders_.begin(), cleanFolders_.end(), same)) return;
    DIR* dir = sys().opendir(native.c_str());
    if (!dir) return;
    const int dirFd = ::dirfd(dir);
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
        if (cleanFolders_.size() >= 8) cleanFolders_.erase(cleanFolders_.begin());
        cleanFolders_.push_back({folderStat.st_dev, folderStat.st_ino, folderStat.st_mtim});
    }
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
