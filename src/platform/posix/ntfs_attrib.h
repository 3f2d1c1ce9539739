// The DOS attributes NTFS keeps, as its Linux drivers show them (ntfs-3g and
// the kernel's ntfs3): the extended attribute "system.ntfs_attrib_be", four
// bytes, big-endian, with Windows' bit values. Where it exists, read-only,
// hidden, system and archive are these bits, as Windows sees them; Samba's
// user.DOSATTRIB would only become a stream of its own there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mabrel::platform::posix {

// Whether the folder open as `dirFd` (O_PATH will do) is on such a driver:
// asked once for a folder, by its file system's type and the folder's own
// attribute.
bool keepsNtfsAttributes(int dirFd);

// The attribute bits of the entry at `path` (not followed when a link), or
// nothing.
std::optional<std::uint32_t> ntfsAttributes(const std::string& path);
// Sets them; whether it could.
bool setNtfsAttributes(const std::string& path, std::uint32_t bits);

}  // namespace mabrel::platform::posix
