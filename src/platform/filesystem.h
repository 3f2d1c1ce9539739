// The file system as the program sees it: Windows path forms (C:\Docs\a.txt,
// \\server\share\dir\), "\" the only separator, DOS attributes, local times.
// Implementations map this onto the machine (posix/, win32/); tests wrap it to
// inject failures (FaultInjectingFileSystem).
//
// Every operation reports failure by throwing PlatformError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mabrel::platform {

// DOS attribute bits, with their Windows values.
namespace attr {
inline constexpr std::uint32_t Normal = 0;
inline constexpr std::uint32_t ReadOnly = 1;
inline constexpr std::uint32_t Hidden = 2;
inline constexpr std::uint32_t System = 4;
inline constexpr std::uint32_t Directory = 16;
inline constexpr std::uint32_t Archive = 32;
// A symbolic link (or on Windows a link-like reparse point). Never set by
// setAttributes; the program writes nothing through one.
inline constexpr std::uint32_t ReparsePoint = 1024;
// Not a Windows bit: an entry a listing found but could not read (gone since,
// no permission, a link that points nowhere). Listed, with no other bit,
// only when the mask holds this bit.
inline constexpr std::uint32_t Unreadable = 0x40000000;
}  // namespace attr

// A local date and time to the second.
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

struct DirEntry {
    std::string name;             // as stored on disk, UTF-8
    std::uint32_t attributes = 0;  // attr:: bits
    std::int64_t size = 0;         // of what a link points at
    LocalTime modified;            // local time
    std::int64_t utcSeconds = 0;   // the same moment, seconds since 1970 UTC
};

// Whether an entry with these attributes is returned by a listing with this
// mask: normal, read-only and archive entries always are; hidden, system and
// directory entries only when the mask holds their bit.
constexpr bool matchesMask(std::uint32_t attributes, std::uint32_t mask) {
    constexpr std::uint32_t special = attr::Hidden | attr::System | attr::Directory | attr::Unreadable;
    return (attributes & special & ~mask) == 0;
}

// Told, during a copy, how many of the file's bytes are copied so far (at the
// start, after each piece, at the end); false cancels the copy, which then
// fails with err::Cancelled and leaves nothing behind. Empty: nobody asks.
using CopyProgress = std::function<bool(std::uint64_t copied, std::uint64_t total)>;

// Told, during a listing, how many entries it has read so far (every few
// hundred entries, and at least every 50 ms on a folder that reads slowly);
// false stops the listing, which then fails with err::Cancelled. Empty:
// nobody asks.
using ListProgress = std::function<bool(std::size_t read)>;

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Attributes of a file or directory. Missing: 53 (or 76 when its folder is missing).
    virtual std::uint32_t attributes(const std::string& path) = 0;
    // Sets read-only, hidden, system and archive; the directory bit is ignored.
    // A link at path is refused (75).
    virtual void setAttributes(const std::string& path, std::uint32_t attributes) = 0;

    // The entries of a folder (path with or without trailing "\") that pass
    // matchesMask, "." and ".." included. A missing folder lists as empty.
    virtual std::vector<DirEntry> list(const std::string& folder, std::uint32_t mask,
                                       const ListProgress& progress = {}) = 0;

    // The one entry named by path, spelled exactly as stored, when it passes
    // the mask; nothing otherwise (also when its folder is missing). A link
    // is found even when it points nowhere.
    virtual std::optional<DirEntry> find(const std::string& path, std::uint32_t mask) = 0;
    // The same for a path a person typed: a name missing as spelled matches
    // the one entry that equals it without regard to letter case.
    virtual std::optional<DirEntry> findIgnoringCase(const std::string& path, std::uint32_t mask) {
        return find(path, mask);
    }

    // Copies content, attributes and modification time; replaces an existing
    // target that is writable (keeping its permission bits where the machine
    // has them). A link at `to` is refused. A cancelled copy leaves `to` as
    // it was.
    virtual void copyFile(const std::string& from, const std::string& to, const CopyProgress& progress = {}) = 0;
    // Creates `to` as a copy of `from` (content and modification time) with
    // these attributes. Never replaces anything: an entry of that name, a link
    // included, fails with 58. The copy takes its name only once it is
    // complete, holding as many bytes as `from` had when the copy began (57
    // otherwise), and no half-written file is left behind by a failure.
    virtual void createCopy(const std::string& from, const std::string& to, std::uint32_t attributes,
                            const CopyProgress& progress = {}) = 0;
    // Renames within one volume, replacing an existing target atomically.
    virtual void rename(const std::string& from, const std::string& to) = 0;
    // Deletes a writable file; a read-only file, a folder or a link is refused (75).
    virtual void deleteFile(const std::string& path) = 0;
    // Deletes a file whatever its read-only attribute, as clearing it and
    // deleting would, but never leaves it writable when the delete fails. A
    // folder or a link is refused (75).
    virtual void deleteCopy(const std::string& path) = 0;
    virtual void createDirectory(const std::string& path) = 0;

    virtual std::int64_t fileSize(const std::string& path) = 0;
    virtual LocalTime modificationTime(const std::string& path) = 0;

    // Whole-file bytes. Writing replaces the file atomically: a temporary file
    // beside it, flushed, then renamed over it.
    virtual std::string readFile(const std::string& path) = 0;
    // A link at `path` is refused. Where no file can be created beside it, an
    // existing writable file is rewritten in place.
    virtual void writeFileAtomic(const std::string& path, const std::string& bytes) = 0;

    // Removes what earlier writes into this folder left behind when they were
    // cut short (temporary files of this program whose writer is gone).
    virtual void removeStaleTemporaries(const std::string& folder) = 0;

    // Drive type of a root such as "C:\": 0 unknown, 1 no root, 2 removable,
    // 3 fixed, 4 network, 5 CD-ROM, 6 RAM disk.
    virtual unsigned driveType(const std::string& root) = 0;
};

}  // namespace mabrel::platform
