// Paths: a program path to the native one and back, the entries of a folder
// held open as they are named and opened, and what an errno means.
#include "platform/posix/posix_filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include <signal.h>

#include "platform/errors.h"
#include "platform/posix/directory_internals.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/syscalls.h"

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

}  // namespace

[[noreturn]] void throwErrnoIn(int e) { throw PlatformError(errorNumberIn(e)); }
[[noreturn]] void throwReadErrnoIn(int e) {
    const int number = errorNumberIn(e);
    if (number == err::PermissionDenied) throw PlatformError(number, kCannotRead);
    throw PlatformError(number);
}

// --- Entries of a folder held open -------------------------------------------

void checkName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos) {
        throw PlatformError(err::PathFileAccess);
    }
}

std::string throughDescriptor(int dirFd, const std::string& name) {
    return "/proc/self/fd/" + std::to_string(dirFd) + "/" + name;
}

int openEntry(int dirFd, const std::string& name, bool followLink, int access) {
    return sys().openat(dirFd, name.c_str(),
                        access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
}

[[noreturn]] void throwNotAFile(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) throw PlatformError(err::PathFileAccess, kFolderNotFile);
    throw PlatformError(err::PathFileAccess, kNotRegularFile);
}

[[noreturn]] void throwOpenFailure(int e, int dirFd, const std::string& name, bool reading) {
    if (e == ELOOP) throw PlatformError(err::PathFileAccess, kLinkNotFile);
    if (e == ENXIO || e == ENODEV) {
        struct stat st{};
        if (sys().fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) throwNotAFile(st);
    }
    if (reading) throwReadErrnoIn(e);
    throwErrnoIn(e);
}

// --- PosixFileSystem ---------------------------------------------------------

namespace {

bool equalsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

void rejectNul(const std::string& path) {
    // A NUL would silently cut the native path short.
    if (path.find('\0') != std::string::npos) throw PlatformError(err::PathFileAccess);
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
