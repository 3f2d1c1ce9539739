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
#include <cctype>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/errors.h"
#include "platform/posix/dos_attrib.h"
#include "platform/posix/errno_map.h"

namespace mabrel::platform::posix {

// --- Error numbers -----------------------------------------------------------

namespace {

std::string parentOf(const std::string& native) {
    const auto slash = native.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return native.substr(0, slash);
}

bool isDirectoryNative(const std::string& native) {
    struct stat st{};
    return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

// --- Helpers -------------------------------------------------------------------

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    // Closes now and reports a failed close (a late write error on NFS).
    int close() {
        const int rc = ::close(fd_);
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

std::string readWholeNativeFile(const std::string& native) {
    std::ifstream in(native, std::ios::binary);
    if (!in) return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::optional<std::uint32_t> storedDosAttrib(const std::string& native) {
    char buffer[256];
    const ssize_t n = ::getxattr(native.c_str(), kDosAttribName, buffer, sizeof buffer);
    if (n < 0) return std::nullopt;  // none stored, or no extended attributes here
    return decodeDosAttrib(std::string(buffer, static_cast<std::size_t>(n)));
}

std::uint32_t attributesFrom(const struct stat& st, std::optional<std::uint32_t> dos, bool dotName) {
    std::uint32_t a = 0;
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

// stat, or for a dangling symbolic link the link itself.
int statOrLstat(const std::string& native, struct stat& st) {
    if (::stat(native.c_str(), &st) == 0) return 0;
    const int e = errno;
    if (e == ENOENT && ::lstat(native.c_str(), &st) == 0) return 0;
    errno = e;
    return -1;
}

struct stat statOrThrow(const std::string& native) {
    struct stat st{};
    if (::stat(native.c_str(), &st) != 0) throwErrno(errno, native);
    return st;
}

void rejectNul(const std::string& path) {
    // A NUL would silently cut the native path short.
    if (path.find('\0') != std::string::npos) throw PlatformError(err::PathFileAccess);
}

// A name for a temporary file beside `native`: hidden, unique, and short
// enough for NAME_MAX whatever the target's name.
std::string temporaryBeside(const std::string& native) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string folder = parentOf(native);
    std::string name = native.substr(native.find_last_of('/') + 1);
    if (name.size() > 180) {
        std::size_t cut = 180;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // keep UTF-8 whole
        name.resize(cut);
    }
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%012llx~", static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    return (folder == "/" ? "" : folder) + "/." + name + suffix;
}

// Creates a temporary file beside `native`; retries on a name clash.
int createTemporary(const std::string& native, mode_t mode, std::string& temporary) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = temporaryBeside(native);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) return fd;
        if (errno != EEXIST) throwErrno(errno, native);
    }
    throw PlatformError(err::PathFileAccess);
}

void writeAll(int fd, const char* data, std::size_t size, const std::string& native) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno(errno, native);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// Content of `in` into `out`: a clone where the file system shares blocks,
// else an in-kernel copy, else plain reads and writes. Copies to the
// source's end, also when it grew or shrank since it was opened.
void copyContent(int in, int out, const std::string& nativeTarget) {
    if (::ioctl(out, FICLONE, in) == 0) return;

    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
        if (n > 0) continue;
        if (n == 0) return;
        if (errno == EINTR) continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL || errno == EBADF ||
            errno == EPERM) {
            break;
        }
        throwErrno(errno, nativeTarget);
    }
    // Carry on by hand from where the kernel copy stopped.
    const off_t done = ::lseek(out, 0, SEEK_CUR);
    if (done < 0 || ::lseek(in, done, SEEK_SET) < 0) throwErrno(errno, nativeTarget);
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0) return;
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno(errno, nativeTarget);
        }
        writeAll(out, buffer, static_cast<std::size_t>(n), nativeTarget);
    }
}

void copyDosAttrib(int in, int out) {
    char buffer[256];
    const ssize_t n = ::fgetxattr(in, kDosAttribName, buffer, sizeof buffer);
    if (n >= 0) ::fsetxattr(out, kDosAttribName, buffer, static_cast<std::size_t>(n), 0);
}

void syncFolder(const std::string& folder) {
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

// Makes the temporary the target, or removes it.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    void renameTo(const std::string& target) {
        if (::rename(path_.c_str(), target.c_str()) != 0) throwErrno(errno, target);
        path_.clear();
        syncFolder(parentOf(target));
    }

private:
    std::string path_;
};

// What an existing target allows: nothing there, a writable file, or an error.
void checkReplaceable(const std::string& native) {
    struct stat st{};
    if (::stat(native.c_str(), &st) != 0) {
        if (errno == ENOENT) return;
        throwErrno(errno, native);
    }
    if (S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess);
    if ((st.st_mode & kWriteBits) == 0) throw PlatformError(err::PermissionDenied);
}

// The file a write should replace: the target of a symbolic link, so that a
// linked settings file stays linked.
std::string followLink(const std::string& native) {
    struct stat st{};
    if (::lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(native.c_str(), nullptr)) {
            std::string out = real;
            std::free(real);
            return out;
        }
    }
    return native;
}

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

PosixFileSystem::PosixFileSystem(std::string mountTablePath) : mountTablePath_(std::move(mountTablePath)) {}

std::vector<MountEntry> PosixFileSystem::mounts() { return parseMountTable(readWholeNativeFile(mountTablePath_)); }

std::vector<Drive> PosixFileSystem::drives() { return drivesFromMounts(mounts()); }

std::string PosixFileSystem::drivePath(const std::string& native) { return nativeToDrivePath(native, drives()); }

PosixFileSystem::Resolved PosixFileSystem::resolve(const std::string& path) {
    rejectNul(path);
    std::optional<SplitPath> split;
    const bool onC = path.size() >= 2 && path[1] == ':' && (path[0] == 'C' || path[0] == 'c');
    if (onC) {
        // The root file system needs no mount table.
        split = splitDrivePath(path, {Drive{'C', "/", drive_type::Fixed, "", ""}}, {}, "/", "/");
    } else {
        const auto table = mounts();
        const auto driveList = drivesFromMounts(table);
        std::string cwd = "/";
        if (char* c = ::getcwd(nullptr, 0)) {
            cwd = c;
            std::free(c);
        }
        std::string currentRoot = "/";
        const std::string cwdDrive = nativeToDrivePath(cwd, driveList);
        for (const auto& d : driveList) {
            if (d.letter == cwdDrive[0]) currentRoot = d.mountPoint;
        }
        split = splitDrivePath(path, driveList, table, cwd, currentRoot);
    }
    if (!split) throw PlatformError(err::PathNotFound);

    if (split->components.empty()) return {split->base, ""};
    {
        // Spelled as stored: the common case, one lookup.
        const std::string spelled = joinNative(*split);
        struct stat st{};
        if (::lstat(spelled.c_str(), &st) == 0) return {spelled, split->components.back()};
    }

    // Letter case: where a name is missing as spelled, take the one entry
    // that matches it without regard to case.
    std::string current = split->base;
    std::string lastName;
    bool missing = false;
    for (auto& name : split->components) {
        const std::string spelled = (current == "/" ? "" : current) + "/" + name;
        struct stat st{};
        if (!missing && ::lstat(spelled.c_str(), &st) != 0 && errno == ENOENT) {
            std::optional<std::string> match;
            int matches = 0;
            if (DIR* dir = ::opendir(current.c_str())) {
                while (dirent* e = ::readdir(dir)) {
                    const std::string stored = e->d_name;
                    if (stored.find('\\') != std::string::npos) continue;
                    if (equalsIgnoringAsciiCase(stored, name)) {
                        ++matches;
                        match = stored;
                    }
                }
                ::closedir(dir);
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
        return resolve(path).native;
    } catch (const PlatformError&) {
        return std::nullopt;
    }
}

std::uint32_t PosixFileSystem::attributes(const std::string& path) {
    const auto r = resolve(path);
    struct stat st{};
    if (statOrLstat(r.native, st) != 0) throwErrno(errno, r.native);
    return attributesFrom(st, storedDosAttrib(r.native), isDotName(r.name));
}

void PosixFileSystem::setAttributes(const std::string& path, std::uint32_t wanted) {
    const auto r = resolve(path);
    struct stat st = statOrThrow(r.native);
    // Read-only means nothing for a folder on Windows; taking a folder's
    // write permission would stop files being made in it.
    const bool readOnly = (wanted & attr::ReadOnly) != 0 && !S_ISDIR(st.st_mode);

    // Clearing read-only first, so that the extended attribute may be written.
    if (!readOnly && !S_ISDIR(st.st_mode) && (st.st_mode & kWriteBits) == 0) {
        if (::chmod(r.native.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) throwErrno(errno, r.native);
        st.st_mode |= S_IWUSR;
    }

    const std::uint32_t dosBits = attr::Hidden | attr::System | attr::Archive;
    const auto stored = storedDosAttrib(r.native);
    const std::uint32_t byDefault = (isDotName(r.name) ? attr::Hidden : 0) | (S_ISREG(st.st_mode) ? attr::Archive : 0);
    const std::uint32_t wantedDos = wanted & dosBits;
    const std::uint32_t present = stored ? (*stored & dosBits) | (isDotName(r.name) ? attr::Hidden : 0) : byDefault;
    if (present != wantedDos || (stored && (*stored & attr::ReadOnly) != (wanted & attr::ReadOnly))) {
        const std::string value =
            encodeDosAttrib(wantedDos | (wanted & attr::ReadOnly) | (S_ISDIR(st.st_mode) ? attr::Directory : 0));
        int rc = ::setxattr(r.native.c_str(), kDosAttribName, value.data(), value.size(), 0);
        if (rc != 0 && errno == EACCES && (st.st_mode & S_IWUSR) == 0) {
            // A read-only file that stays read-only: user.* attributes need
            // write permission for a moment.
            if (::chmod(r.native.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0) {
                rc = ::setxattr(r.native.c_str(), kDosAttribName, value.data(), value.size(), 0);
                ::chmod(r.native.c_str(), st.st_mode & 07777);
            }
        }
        // Without extended attributes only names and permission bits count.
        (void)rc;
    }

    if (readOnly && (st.st_mode & kWriteBits) != 0) {
        if (::chmod(r.native.c_str(), st.st_mode & 07777 & ~kWriteBits) != 0) throwErrno(errno, r.native);
    }
}

std::vector<DirEntry> PosixFileSystem::list(const std::string& folder, std::uint32_t mask) {
    std::string native;
    try {
        native = resolve(folder).native;
    } catch (const PlatformError& e) {
        if (e.number() == err::PathNotFound) return {};
        throw;
    }
    DIR* dir = ::opendir(native.c_str());
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR) return {};
        throwErrno(errno, native);
    }
    const int dirFd = ::dirfd(dir);
    std::vector<DirEntry> entries;
    errno = 0;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.find('\\') != std::string::npos) continue;  // cannot be written as a program path
        struct stat st{};
        if (::fstatat(dirFd, name.c_str(), &st, 0) != 0 &&
            ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;  // gone since readdir
        }
        const std::string full = (native == "/" ? "" : native) + "/" + name;
        const std::uint32_t a = attributesFrom(st, storedDosAttrib(full), isDotName(name));
        if (matchesMask(a, mask)) entries.push_back({name, a});
        errno = 0;
    }
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0) throwErrno(readError, native);

    // "." and ".." first, as Windows lists them; then by name, for an order
    // that does not change from one listing to the next.
    auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
    std::sort(entries.begin(), entries.end(), [&](const DirEntry& a, const DirEntry& b) {
        if (rank(a.name) != rank(b.name)) return rank(a.name) < rank(b.name);
        return a.name < b.name;
    });
    return entries;
}

std::optional<DirEntry> PosixFileSystem::find(const std::string& path, std::uint32_t mask) {
    if (isRootSpelling(path)) return std::nullopt;  // a root has no entry of its own
    Resolved r;
    try {
        r = resolve(path);
    } catch (const PlatformError& e) {
        if (e.number() == err::PathNotFound) return std::nullopt;
        throw;
    }
    if (r.name.empty()) return std::nullopt;
    struct stat st{};
    if (statOrLstat(r.native, st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throwErrno(errno, r.native);
    }
    const std::uint32_t a = attributesFrom(st, storedDosAttrib(r.native), isDotName(r.name));
    if (!matchesMask(a, mask)) return std::nullopt;
    return DirEntry{r.name, a};
}

void PosixFileSystem::copyFile(const std::string& from, const std::string& to) {
    const auto source = resolve(from);
    const auto target = resolve(to);
    Fd in(::open(source.native.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) throwErrno(errno, source.native);
    struct stat st{};
    if (::fstat(in.get(), &st) != 0) throwErrno(errno, source.native);
    if (S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess);

    const std::string targetNative = followLink(target.native);
    checkReplaceable(targetNative);
    std::string temporaryPath;
    Fd out(createTemporary(targetNative, S_IRUSR | S_IWUSR, temporaryPath));
    TemporaryFile temporary(temporaryPath);

    copyContent(in.get(), out.get(), targetNative);
    copyDosAttrib(in.get(), out.get());
    if (::fchmod(out.get(), st.st_mode & 07777) != 0) throwErrno(errno, targetNative);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(out.get(), times) != 0) throwErrno(errno, targetNative);
    if (::fsync(out.get()) != 0) throwErrno(errno, targetNative);
    if (out.close() != 0) throwErrno(errno, targetNative);
    temporary.renameTo(targetNative);
}

void PosixFileSystem::rename(const std::string& from, const std::string& to) {
    const auto source = resolve(from);
    const auto target = resolve(to);
    if (::rename(source.native.c_str(), target.native.c_str()) != 0) {
        const int e = errno;
        struct stat st{};
        const bool sourceThere = ::lstat(source.native.c_str(), &st) == 0;
        throwErrno(e, sourceThere ? target.native : source.native);
    }
    syncFolder(parentOf(target.native));
}

void PosixFileSystem::deleteFile(const std::string& path) {
    const auto r = resolve(path);
    struct stat st{};
    if (::lstat(r.native.c_str(), &st) != 0) throwErrno(errno, r.native);
    if (S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess);
    // Read-only files are protected from deletion, as on Windows: backup
    // copies rely on it.
    if (S_ISREG(st.st_mode) && (st.st_mode & kWriteBits) == 0) throw PlatformError(err::PathFileAccess);
    if (::unlink(r.native.c_str()) != 0) throwErrno(errno, r.native);
}

void PosixFileSystem::createDirectory(const std::string& path) {
    const auto r = resolve(path);
    if (r.name.empty()) throw PlatformError(err::PathFileAccess);  // a root exists already
    if (::mkdir(r.native.c_str(), 0777) != 0) throwErrno(errno, r.native);
}

std::int64_t PosixFileSystem::fileSize(const std::string& path) {
    const auto r = resolve(path);
    return static_cast<std::int64_t>(statOrThrow(r.native).st_size);
}

LocalTime PosixFileSystem::modificationTime(const std::string& path) {
    const auto r = resolve(path);
    const time_t t = statOrThrow(r.native).st_mtim.tv_sec;
    std::tm tm{};
    if (!::localtime_r(&t, &tm)) throw PlatformError(err::InvalidArgument);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string PosixFileSystem::readFile(const std::string& path) {
    const auto r = resolve(path);
    Fd in(::open(r.native.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) throwErrno(errno, r.native);
    struct stat st{};
    if (::fstat(in.get(), &st) != 0) throwErrno(errno, r.native);
    if (S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess);
    std::string bytes;
    if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
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
    const std::string targetNative = followLink(r.native);
    checkReplaceable(targetNative);

    struct stat existing{};
    const bool replacing = ::stat(targetNative.c_str(), &existing) == 0;
    std::string temporaryPath;
    Fd out(createTemporary(targetNative, 0666, temporaryPath));
    TemporaryFile temporary(temporaryPath);
    writeAll(out.get(), bytes.data(), bytes.size(), targetNative);
    if (replacing) {
        // The replaced file's permissions and DOS attributes stay.
        Fd old(::open(targetNative.c_str(), O_RDONLY | O_CLOEXEC));
        if (old.get() >= 0) copyDosAttrib(old.get(), out.get());
        ::fchmod(out.get(), existing.st_mode & 07777);
    }
    if (::fsync(out.get()) != 0) throwErrno(errno, targetNative);
    if (out.close() != 0) throwErrno(errno, targetNative);
    temporary.renameTo(targetNative);
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
        return shareMountPoint(mounts(), names[0], names[1]) ? drive_type::Network : drive_type::NoRoot;
    }
    const auto driveList = drives();
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
