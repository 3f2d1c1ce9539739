// The file system of a POSIX machine in the program's path forms (see
// path_map.h for how drives and shares map onto mount points).
//
// - Letter case: names are used exactly as spelled. Only for paths a person
//   typed (findIgnoringCase, nativePath) is a name missing as spelled matched
//   to the one entry of its folder that equals it without regard to (ASCII)
//   letter case, when there is exactly one.
// - Attributes: read-only = no write permission bit; hidden = a name that
//   begins with "." or the hidden bit of user.DOSATTRIB; system and archive
//   from user.DOSATTRIB (regular files count as archive without it). Without
//   extended attributes only names and permission bits count, silently.
// - Names are listed as their own bytes, also those that are not UTF-8
//   (Shift_JIS or Latin-1 from a Windows archive). Names holding a line
//   break, or a "\" in UTF-8, cannot be shown nor carry a comment: listed
//   as UnshownName only for a caller that asks.
// - Symbolic links: listed and found with the ReparsePoint bit, described by
//   what they point at; links that point nowhere are not listed. Nothing is
//   written, deleted or given attributes through a link.
// - A Directory is a descriptor of the folder (O_PATH): every operation in it
//   is relative to that descriptor (openat, unlinkat, linkat, renameat,
//   fstatat without following, fchmod and f*xattr on a descriptor opened
//   without following), so a link swapped in for the folder or an entry
//   meanwhile leads nowhere.
// - Listings come in the folder's own order, not sorted.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/filesystem.h"
#include "platform/posix/dos_attrib_cache.h"
#include "platform/posix/mount_table.h"
#include "platform/posix/path_map.h"

namespace mabrel::platform::posix {

class PosixDirectory;

class PosixFileSystem : public FileSystem {
public:
    // The mount table is read from this file, and again whenever it
    // changes, so that media mounted while the program runs show up as
    // drives. Writes past a file-size limit fail (61) instead of ending the
    // process: SIGXFSZ is ignored from here on.
    explicit PosixFileSystem(std::string mountTablePath = "/proc/self/mounts");

    std::uint32_t attributes(const std::string& path) override;
    std::optional<DirEntry> findIgnoringCase(const std::string& path, std::uint32_t mask) override;
    std::unique_ptr<Directory> openDirectory(const std::string& path) override;
    unsigned driveType(const std::string& root) override;

    // The native path that a program path names, letter case resolved where
    // the spelled name is missing; nothing when its drive or share has no root.
    std::optional<std::string> nativePath(const std::string& path);
    // A native absolute path in drive form (no trailing "\" but for a root).
    std::string drivePath(const std::string& native);
    // The drives of the present mount table.
    std::vector<Drive> drives();

private:
    friend class PosixDirectory;
    struct Resolved {
        std::string native;
        std::string name;  // the stored name of the last component; empty for a root
    };
    // ignoreCase: for paths a person typed; names the program built or
    // listed are used exactly.
    Resolved resolve(const std::string& path, bool ignoreCase = false);

    MountTable mountTable_;
    DosAttribCache dosAttribCache_;
    // Folders whose last scan for stale temporaries found none, as they were
    // then (a folder's modification time changes with every name made in it).
    struct CleanFolder {
        dev_t device;
        ino_t inode;
        struct timespec modified;
    };
    std::vector<CleanFolder> cleanFolders_;
};

}  // namespace mabrel::platform::posix
