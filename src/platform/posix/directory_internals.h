// What the files of a folder held open share: its class, the descriptor
// that closes itself, and the helpers more than one of them uses. Paths and
// error numbers are in posix_filesystem.cpp, listing and attributes in
// posix_listing.cpp, copies and temporary files in posix_copying.cpp, saves
// and their locks in posix_writing.cpp.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/filesystem.h"
#include "platform/posix/ntfs_attrib.h"
#include "platform/posix/posix_filesystem.h"
#include "platform/posix/syscalls.h"

namespace mabrel::platform::posix {

inline constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

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

// --- Error numbers (posix_filesystem.cpp) ------------------------------------

// Throws for errno `e` met on a name in a folder held open (a missing name
// is a missing file); the read form tells a refused permission as a
// refused read.
[[noreturn]] void throwErrnoIn(int e);
[[noreturn]] void throwReadErrnoIn(int e);

// --- Entries of a folder held open (posix_filesystem.cpp) --------------------

// An entry name of a folder held open: one name, never a path.
void checkName(const std::string& name);

// The path by which the machine reaches `name` in the folder open as `dirFd`,
// without a path walk of its own: for the calls that take no descriptor.
std::string throughDescriptor(int dirFd, const std::string& name);

// Opens the entry `name` of the folder `dirFd` for reading, never blocking
// (a FIFO, a device) and, unless `followLink`, never through a link.
int openEntry(int dirFd, const std::string& name, bool followLink, int access = O_RDONLY);

// What an entry that cannot be read or written as a file says of itself.
[[noreturn]] void throwNotAFile(const struct stat& st);

// The open that failed on `name` with errno `e`, said in words where a link
// or something that is no file stood in the way.
[[noreturn]] void throwOpenFailure(int e, int dirFd, const std::string& name, bool reading);

// --- Attributes (posix_listing.cpp) ------------------------------------------

// The classes beside the owner that may write the folder `dirFd`, as write
// bits. They may replace any file there, so the files the program makes
// there are theirs to write as well: a colleague in a group folder is not
// locked out by whoever used it first, whatever that one's umask. None in a
// folder with the sticky bit, where they may replace nothing of ours.
mode_t folderWriters(int dirFd);

// The DOS attributes stored with the entry `native`, if any.
std::optional<std::uint32_t> storedDosAttrib(const std::string& native);

// The attributes of an entry whose stat (or its target's) is `st`.
std::uint32_t attributesFrom(const struct stat& st, std::optional<std::uint32_t> dos, bool dotName, bool link = false);

// Whether a name is hidden by its leading dot ("." and ".." are not).
bool isDotName(std::string_view name);

// The entry `name` whose lstat is `lst`, described by `target` where it is a
// link that points somewhere.
DirEntry entryOf(std::string name, const struct stat& lst, const struct stat* target,
                 std::optional<std::uint32_t> dos);

// --- Copies and temporary files (posix_copying.cpp) --------------------------

// Gives `out` the DOS attributes stored with `in`, where there are any.
void copyDosAttrib(int in, int out);

// A named temporary file in a folder, removed unless it was given away.
class TemporaryFile {
public:
    explicit TemporaryFile(int dirFd) : dirFd_(dirFd) {}
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    void reset(std::string name) { name_ = std::move(name); }
    const std::string& name() const { return name_; }
    // Gives the unnamed file `fd` a hidden name beside `target`, for the
    // moment before it replaces it.
    void nameUnnamedFile(int fd, const std::string& target);
    void renameTo(const std::string& target) {
        if (const int e = tryRenameTo(target)) throwErrnoIn(e);
    }
    // The same, returning the errno of a failure.
    int tryRenameTo(const std::string& target);

private:
    int dirFd_;
    std::string name_;
};

// A file to be named in the folder `dirFd` once it is complete: unnamed
// while it is written, or, where the file system has no unnamed files, a
// named hidden temporary that goes if it is not given away.
struct NewFile {
    NewFile(int dirFd, const std::string& name, mode_t mode);
    // Closes a file made under a name and gives it its times and mode once
    // more by that name: an SMB server sets a file's modification time when
    // it is closed after a write, and a FUSE client may drop what was set
    // through the descriptor.
    void closeNamed(int dirFd, const struct timespec* times, std::optional<mode_t> mode);
    bool unnamed() const { return temporary.name().empty(); }
    // Names the complete file `name` in `dirFd`, never over an entry of that
    // name (a link included), and makes the name last.
    void nameNew(int dirFd, const std::string& name, const struct timespec* times = nullptr,
                 std::optional<mode_t> mode = std::nullopt);

    // Declared first, gone last: the descriptor is closed before the
    // temporary is unlinked, which an SMB share refuses for an open file.
    TemporaryFile temporary;
    Fd fd;
    int error = 0;
    bool named = false;  // made under a name: the file system has no unnamed files
};

// --- Saves (posix_writing.cpp) -----------------------------------------------

// What an existing target allows: nothing there, a writable file, or an
// error. A link is refused: the program writes nothing through one.
std::optional<struct stat> checkReplaceable(int dirFd, const std::string& name);

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

}  // namespace mabrel::platform::posix
