// How the program's path forms map onto a POSIX machine. Pure functions, so
// that tests can feed them any mount table:
//   C:              the root file system "/"
//   D: onwards      volumes a user would see as drives (disks and removable
//                   media under /media, /run/media and /mnt; network mounts
//                   anywhere), ordered by mount point so letters stay put
//   \\server\share  a mounted CIFS/SMB share of that server and share
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mabrel::platform::posix {

// Windows drive type codes.
namespace drive_type {
inline constexpr unsigned Unknown = 0;
inline constexpr unsigned NoRoot = 1;
inline constexpr unsigned Removable = 2;
inline constexpr unsigned Fixed = 3;
inline constexpr unsigned Network = 4;
inline constexpr unsigned CdRom = 5;
inline constexpr unsigned RamDisk = 6;
}  // namespace drive_type

struct MountEntry {
    std::string source;      // /dev/sdb1, //server/share, server:/export
    std::string mountPoint;  // native, octal escapes decoded
    std::string fsType;
};

// The lines of /proc/self/mounts (or /etc/mtab); malformed lines are skipped.
std::vector<MountEntry> parseMountTable(const std::string& text);

struct Drive {
    char letter;             // 'C' to 'Z'
    std::string mountPoint;  // native, no trailing "/" but for "/"
    unsigned type;           // drive_type
    std::string source;
    std::string fsType;
};

// The drive letters of a mount table: C: first, then D: onwards.
std::vector<Drive> drivesFromMounts(const std::vector<MountEntry>& mounts);

// The drive type of a mount by its file system type and mount point.
unsigned classifyMount(const std::string& fsType, const std::string& mountPoint);

bool isNetworkFsType(const std::string& fsType);

// The mount point of the CIFS/SMB share \\server\share (compared without
// regard to letter case), or nothing when it is not mounted.
std::optional<std::string> shareMountPoint(const std::vector<MountEntry>& mounts, const std::string& server,
                                           const std::string& share);

// A path in the program's form, taken apart: the native folder it starts
// from and the names below it. Relative paths start from `currentDirectory`
// (native); a path beginning with a single "\" from `currentRoot` (native,
// the root of the current directory's drive). "." and ".." are resolved
// here and never climb above the root. Both "\" and "/" separate, as they do
// for Windows.
struct SplitPath {
    std::string base;                     // native, "/" or without trailing "/"
    std::vector<std::string> components;  // below base
};

// Nothing when the drive or share has no root on this machine.
std::optional<SplitPath> splitDrivePath(const std::string& path, const std::vector<Drive>& drives,
                                        const std::vector<MountEntry>& mounts, const std::string& currentDirectory,
                                        const std::string& currentRoot);

// base + "/" + components.
std::string joinNative(const SplitPath& split);

// A native absolute path in drive form: the drive whose mount point is the
// longest prefix of it, then "\" for "/". No trailing "\" but for a root (C:\).
std::string nativeToDrivePath(const std::string& native, const std::vector<Drive>& drives);

}  // namespace mabrel::platform::posix
