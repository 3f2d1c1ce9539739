// Listing a folder held open and finding one entry in it, with the
// attributes both tell; opening a folder in it; setting an entry's attributes.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <exception>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/posix/directory_internals.h"
#include "platform/posix/dos_attrib.h"
#include "platform/posix/local_times.h"
#include "platform/posix/ntfs_attrib.h"
#include "platform/posix/syscalls.h"
#include "platform/text.h"

namespace mabrel::platform::posix {

// --- Attributes --------------------------------------------------------------

mode_t folderWriters(int dirFd) {
    struct stat st{};
    if (sys().fstat(dirFd, &st) != 0 || (st.st_mode & S_ISVTX)) return 0;
    return st.st_mode & (S_IWGRP | S_IWOTH);
}

namespace {

// The write bits that clearing read-only gives back: the owner's, and the
// group's and others' where they may read and the umask or the folder `dirFd`
// lets them write.
mode_t writeBitsFor(mode_t mode, int dirFd) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t writers = (~mask & (S_IWGRP | S_IWOTH)) | folderWriters(dirFd);
    return S_IWUSR | (writers & (mode >> 1));
}

}  // namespace

std::optional<std::uint32_t> storedDosAttrib(const std::string& native) {
    char buffer[256];
    const ssize_t n = sys().getxattr(native.c_str(), kDosAttribName, buffer, sizeof buffer);
    if (n < 0) return std::nullopt;  // none stored, or no extended attributes here
    return decodeDosAttrib(std::string(buffer, static_cast<std::size_t>(n)));
}

std::uint32_t attributesFrom(const struct stat& st, std::optional<std::uint32_t> dos, bool dotName, bool link) {
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

namespace {

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

}  // namespace

DirEntry entryOf(std::string name, const struct stat& lst, const struct stat* target,
                 std::optional<std::uint32_t> dos) {
    DirEntry e;
    describe(e, isDotName(name), lst, target, dos);
    e.name = std::move(name);
    return e;
}

namespace {

// Names the program can show and keep comments of: no line break (it would
// split a record), and no "\" in a UTF-8 name (it would read as a separator
// wherever the name is shown in a path). A name that is not UTF-8 (from a
// Windows archive, say) is listed as its own bytes; a "\" byte in it may be
// half of a Shift_JIS character.
bool isListableName(std::string_view name) {
    if (name.find_first_of("\r\n") != std::string_view::npos) return false;
    return name.find('\\') == std::string_view::npos || !isValidUtf8(name);
}

std::optional<std::uint32_t> storedDosAttribOf(int fd) {
    char buffer[256];
    const ssize_t n = sys().fgetxattr(fd, kDosAttribName, buffer, sizeof buffer);
    if (n < 0) return std::nullopt;
    return decodeDosAttrib(std::string(buffer, static_cast<std::size_t>(n)));
}

// An entry's attributes with NTFS's read-only bit, where NTFS keeps them.
void addNtfsReadOnly(DirEntry& e, std::optional<std::uint32_t> ntfs) {
    if (ntfs && (*ntfs & attr::ReadOnly) && !(e.attributes & attr::Directory)) e.attributes |= attr::ReadOnly;
}

// A listing tells its progress this often, in entries, or after this long.
constexpr std::size_t kListProgressEvery = 256;
constexpr std::chrono::milliseconds kListProgressAfter{50};

// Folders of this many entries and more are read by two threads, each
// taking the next piece of entries in turn: the stat and the attribute read
// of one entry wait on the kernel, not on each other, and the machine has a
// core to spare. A smaller folder is read faster than a thread starts.
constexpr std::size_t kTwoThreadsFrom = 2048;
constexpr std::size_t kPiece = 256;

}  // namespace

// --- Listing -----------------------------------------------------------------

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

// --- Opening a folder, setting attributes ------------------------------------

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

}  // namespace mabrel::platform::posix
