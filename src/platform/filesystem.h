// The file system as the program sees it: Windows path forms (C:\Docs\a.txt,
// \\server\share\dir\), "\" the only separator, DOS attributes, local times.
// Paths are for what a person typed or chose; the work in a folder is done
// through a Directory, a folder held open, so that nobody can swap a link in
// between a check and the use. Implementations map this onto the machine
// (posix/, win32/); tests wrap it to inject failures (FaultInjectingFileSystem).
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
// Not a Windows bit: an entry whose name the program cannot show nor keep a
// comment of (a line break in it, or a "\" in a UTF-8 name). Listed, with no
// other bit, only when the mask holds this bit.
inline constexpr std::uint32_t UnshownName = 0x20000000;
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
    std::string name;             // the entry's own bytes, as stored on disk (UTF-8 on Windows)
    std::uint32_t attributes = 0;  // attr:: bits
    std::int64_t size = 0;         // of what a link points at
    LocalTime modified;            // local time
    std::int64_t utcSeconds = 0;   // the same moment, seconds since 1970 UTC
    // The part of that moment below the second, as precise as the file
    // system keeps it; 0 where it keeps whole seconds (FAT, zip archives).
    std::uint32_t nanoseconds = 0;
};

// Whether an entry with these attributes is returned by a listing with this
// mask: normal, read-only and archive entries always are; hidden, system and
// directory entries only when the mask holds their bit.
constexpr bool matchesMask(std::uint32_t attributes, std::uint32_t mask) {
    constexpr std::uint32_t special =
        attr::Hidden | attr::System | attr::Directory | attr::Unreadable | attr::UnshownName;
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

// The program's own files (comment file, settings file) are read only up
// to this size: a comment file of 200,000 records is about 10 MB.
inline constexpr std::uint64_t kMaxOwnFileBytes = std::uint64_t{64} << 20;

// A folder held open. Every operation names one entry of it by the entry's
// own bytes, exactly as a listing gave them or as the program built them:
// never split at "\", never matched without regard to letter case, never
// re-encoded. A name that is empty, "." or "..", or that the machine would
// read as more than one name, is refused (75). The folder stays the one
// that was opened, whatever is renamed or linked in its place meanwhile.
class Directory {
public:
    virtual ~Directory() = default;

    // The folder's path in drive form, ending in "\", as it was opened: for
    // messages and the desktop, never to reach the folder again.
    virtual const std::string& path() const = 0;

    // The entries that pass matchesMask, "." and ".." included.
    virtual std::vector<DirEntry> list(std::uint32_t mask, const ListProgress& progress = {}) = 0;
    // The entry `name` when it passes the mask; nothing otherwise. A link is
    // found even when it points nowhere.
    virtual std::optional<DirEntry> find(const std::string& name, std::uint32_t mask) = 0;
    // The sub-folder `name`, never through a link: a link or anything else
    // that is not a folder is refused (75). Missing: made first when
    // `create`, else 76.
    virtual std::unique_ptr<Directory> openFolder(const std::string& name, bool create) = 0;

    // Sets read-only, hidden, system and archive; a link is refused (75).
    virtual void setAttributes(const std::string& name, std::uint32_t attributes) = 0;

    // Creates `name` here as a copy of `fromName` in `from` (content and
    // modification time) with these attributes. Never replaces anything: an
    // entry of that name, a link included, fails with 58. The copy takes its
    // name only once it is complete, holding the file as it was at one
    // moment: a file that changes while it is copied is copied again, and
    // one that keeps changing is refused (70). No half-written file is left
    // behind by a failure or a kill.
    virtual void createCopy(Directory& from, const std::string& fromName, const std::string& name,
                            std::uint32_t attributes, const CopyProgress& progress = {}) = 0;
    // Whether the entry `name` here stands for `fromName` in `from` as a
    // copy: a file of its own (not `fromName` itself, nor a link, nor a file
    // with other names) with the same content.
    virtual bool holdsCopyOf(const std::string& name, Directory& from, const std::string& fromName,
                             const CopyProgress& progress = {}) = 0;
    // Replaces the file `name` here with a copy of `fromName` in `from`
    // (content, attributes, modification time), keeping its permission bits
    // where the machine has them; a read-only target, a folder or a link is
    // refused. Named only at its last step: a cancel, failure or kill before
    // leaves `name` as it was and nothing beside it.
    virtual void copyFile(Directory& from, const std::string& fromName, const std::string& name,
                          const CopyProgress& progress = {}) = 0;
    // Deletes a file whatever its read-only attribute, as clearing it and
    // deleting would, but never leaves it writable when the delete fails. A
    // folder or a link is refused (75).
    virtual void deleteCopy(const std::string& name) = 0;

    // The whole of one of the program's own files: never through a link,
    // never blocking (a FIFO, a device), only a regular file of at most
    // kMaxOwnFileBytes; anything else fails with 75 and says what it is.
    virtual std::string readFile(const std::string& name) = 0;
    // Replaces the file atomically: unnamed while it is written, then
    // renamed over it. A link or a folder at `name` is refused. Where no file
    // can be created here, an existing writable file is rewritten in place.
    virtual void writeFileAtomic(const std::string& name, const std::string& bytes) = 0;

    // Changes one of the program's own files (read as readFile reads it)
    // that other instances of the program may change at the same time: under
    // a lock they honour too (held by none after a crash), hands `change` the
    // stored bytes (nothing when there is no such file) and writes what it
    // returns as writeFileAtomic does; nothing returned writes nothing.
    // `change` is called again when another instance made the file
    // meanwhile. A lock another holds past some seconds fails (70).
    using FileChange = std::function<std::optional<std::string>(const std::optional<std::string>& stored)>;
    virtual void updateFile(const std::string& name, const FileChange& change) = 0;

    // When the kept copy `name` was last taken, seconds since 1970 UTC: the
    // time its entry last changed (the change time on POSIX; on Windows the
    // later of its creation and change times), whoever took it and whatever
    // the program ran meanwhile. Where the file system keeps neither a change
    // time of its own nor a creation time (exFAT and SMB through FUSE), the
    // age cannot be told: fails (75), and the copy is kept.
    virtual std::int64_t takenTime(const std::string& name) = 0;
    // Marks the kept copy `name` as taken now, leaving its content,
    // attributes and modification time as they are. A link is refused (75).
    virtual void markTaken(const std::string& name) = 0;

    // Removes what earlier writes into this folder left behind when they
    // were cut short (temporary files of this program whose writer is gone).
    virtual void removeStaleTemporaries() = 0;

    // The directory a wrapper stands for: an implementation asks it of the
    // other folder of a copy.
    virtual Directory& unwrapped() { return *this; }
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Paths a person typed or chose. Attributes of a file or directory.
    // Missing: 53 (or 76 when its folder is missing).
    virtual std::uint32_t attributes(const std::string& path) = 0;
    // The one entry named by path when it passes the mask, spelled as
    // stored: a name missing as spelled matches the one entry that equals it
    // without regard to letter case. Nothing otherwise (also when its folder
    // is missing). A link is found even when it points nowhere.
    virtual std::optional<DirEntry> findIgnoringCase(const std::string& path, std::uint32_t mask) = 0;

    // The folder at `path` (with or without trailing "\"), following links
    // on the way: the person chose that path. Missing: 76.
    virtual std::unique_ptr<Directory> openDirectory(const std::string& path) = 0;

    // Drive type of a root such as "C:\": 0 unknown, 1 no root, 2 removable,
    // 3 fixed, 4 network, 5 CD-ROM, 6 RAM disk.
    virtual unsigned driveType(const std::string& root) = 0;
};

}  // namespace mabrel::platform
