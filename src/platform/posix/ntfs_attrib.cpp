#include "platform/posix/ntfs_attrib.h"

#include <sys/statfs.h>
#include <sys/xattr.h>

namespace mabrel::platform::posix {

namespace {

constexpr char kNtfsAttrib[] = "system.ntfs_attrib_be";
constexpr long kFuseMagic = 0x65735546;  // ntfs-3g
constexpr long kNtfsMagic = 0x7366746e;  // ntfs3

}  // namespace

bool keepsNtfsAttributes(int dirFd) {
    struct statfs sf{};
    if (::fstatfs(dirFd, &sf) != 0 || (sf.f_type != kFuseMagic && sf.f_type != kNtfsMagic)) return false;
    // The folder itself, through its descriptor's link (followed: an
    // l-call would ask the link).
    unsigned char b[4];
    const std::string folder = "/proc/self/fd/" + std::to_string(dirFd);
    return ::getxattr(folder.c_str(), kNtfsAttrib, b, sizeof b) == 4;
}

std::optional<std::uint32_t> ntfsAttributes(const std::string& path) {
    unsigned char b[4];
    if (::lgetxattr(path.c_str(), kNtfsAttrib, b, sizeof b) != 4) return std::nullopt;
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

bool setNtfsAttributes(const std::string& path, std::uint32_t bits) {
    const unsigned char b[4] = {static_cast<unsigned char>(bits >> 24), static_cast<unsigned char>(bits >> 16),
                                static_cast<unsigned char>(bits >> 8), static_cast<unsigned char>(bits)};
    return ::lsetxattr(path.c_str(), kNtfsAttrib, b, sizeof b, 0) == 0;
}

}  // namespace mabrel::platform::posix
