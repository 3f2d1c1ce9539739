// Drive letters, shares and path forms from fed mount tables, and the
// stored form of DOS attributes.
// POSIX only: on Windows drives and attributes are the machine's own.
#ifndef _WIN32
#include <gtest/gtest.h>

#include "platform/filesystem.h"
#include "platform/posix/dos_attrib.h"
#include "platform/posix/path_map.h"

namespace mabrel::platform::posix {
namespace {

const char* kTable =
    "/dev/vda1 / ext4 rw,relatime 0 0\n"
    "proc /proc proc rw 0 0\n"
    "tmpfs /run tmpfs rw 0 0\n"
    "/dev/sdc1 /run/media/ann/USB\\040STICK vfat rw 0 0\n"
    "//fileserver/Docs /home/ann/docs cifs rw,vers=3.0 0 0\n"
    "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
    "nas:/export /mnt/nas nfs4 rw 0 0\n"
    "tmpfs /mnt/scratch tmpfs rw 0 0\n"
    "garbage\n"
    "cgroup /mnt/cg cgroup rw 0 0\n"
    "/dev/sdb1 /srv/data ext4 rw 0 0\n";

std::string drive(char letter, const std::string& point, unsigned type) {
    return letter + (" " + point) + " " + std::to_string(type);
}
// The letters and types of a table's drives, in letter order.
std::vector<std::string> lettered(const std::vector<MountEntry>& mounts) {
    std::vector<std::string> out;
    for (const auto& d : drivesFromMounts(mounts)) out.push_back(drive(d.letter, d.mountPoint, d.type));
    return out;
}

TEST(MountTable, DrivesGetLettersInMountPointOrderWithTheirTypes) {
    const auto mounts = parseMountTable(kTable);
    // Pseudo file systems, /run and disks outside the user's places get no
    // letter; a malformed line is skipped; mounting in another order changes no letter.
    const auto t = drive;
    const std::vector<std::string> want = {
        t('C', "/", drive_type::Fixed),           t('D', "/home/ann/docs", drive_type::Network),
        t('E', "/media/cdrom", drive_type::CdRom), t('F', "/mnt/nas", drive_type::Network),
        t('G', "/mnt/scratch", drive_type::RamDisk), t('H', "/run/media/ann/USB STICK", drive_type::Removable),
    };
    EXPECT_EQ(lettered(mounts), want);
    EXPECT_EQ(lettered({mounts.rbegin(), mounts.rend()}), want);
    // A later mount on the same point wins.
    EXPECT_EQ(lettered(parseMountTable("/dev/sdb1 /media/x ext4 rw 0 0\n/dev/sr0 /media/x udf ro 0 0\n")).back(),
              t('D', "/media/x", drive_type::CdRom));
}

TEST(MountTable, SharesAreFoundByServerAndShareInAnyLetterCase) {
    const auto mounts = parseMountTable(kTable);
    EXPECT_EQ(shareMountPoint(mounts, "FILESERVER", "docs"), std::optional<std::string>("/home/ann/docs"));
    EXPECT_EQ(shareMountPoint(mounts, "fileserver", "other"), std::nullopt);
    EXPECT_EQ(shareMountPoint(mounts, "nas", "export"), std::nullopt);  // NFS is not SMB
}

TEST(PathMapping, DrivePathsToNativeAndBack) {
    const auto mounts = parseMountTable(kTable);
    const auto drives = drivesFromMounts(mounts);
    // From /mnt/nas/projects/a: a single "\" starts at the current drive's
    // root; ".." never leaves the drive or the share.
    const std::pair<const char*, const char*> toNative[] = {
        {"C:\\", "/"}, {"C:", "/"}, {"c:\\Docs\\report.txt", "/Docs/report.txt"},
        {"H:\\photos\\", "/run/media/ann/USB STICK/photos"},
        {"\\\\FileServer\\Docs\\2024\\plan.txt", "/home/ann/docs/2024/plan.txt"},
        {"\\\\fileserver\\docs", "/home/ann/docs"}, {"\\\\fileserver\\missing\\x", "<none>"}, {"Z:\\x", "<none>"},
        {"\\readme.txt", "/mnt/nas/readme.txt"}, {"b\\c.txt", "/mnt/nas/projects/a/b/c.txt"},
        {"..\\..\\..\\..\\x", "/mnt/nas/x"}, {"D:\\..\\..\\etc", "/home/ann/docs/etc"},
        {"\\\\fileserver\\docs\\..\\..\\etc", "/home/ann/docs/etc"}, {"C:\\a\\.\\b\\\\c", "/a/b/c"},
    };
    for (const auto& [path, native] : toNative) {
        const auto split = splitDrivePath(path, drives, mounts, "/mnt/nas/projects/a", "/mnt/nas");
        EXPECT_EQ(split ? joinNative(*split) : "<none>", native) << path;
    }
    // /home/ann/docsx is not below the mount /home/ann/docs.
    const std::pair<const char*, const char*> toDrive[] = {
        {"/", "C:\\"}, {"/home/a", "C:\\home\\a"}, {"/home/ann/docs/", "D:\\"},
        {"/home/ann/docs/x/y.txt", "D:\\x\\y.txt"}, {"/home/ann/docsx", "C:\\home\\ann\\docsx"},
        {"/run/media/ann/USB STICK/a b", "H:\\a b"},
    };
    for (const auto& [native, path] : toDrive) EXPECT_EQ(nativeToDrivePath(native, drives), path) << native;
}

TEST(DosAttrib, ReadsTheTextAndBinaryFormsSambaWrites) {
    using namespace std::string_literals;
    EXPECT_EQ(decodeDosAttrib("0x22"), std::optional<std::uint32_t>(0x22));
    EXPECT_EQ(decodeDosAttrib("0x20\0"s), std::optional<std::uint32_t>(0x20));
    // Version 4 with an empty hex text: hidden, system and archive.
    const std::string v4 = "\0\0\x04\0\x04\0\0\0\x11\0\0\0\x26\0\0\0"s + std::string(16, '\0');
    EXPECT_EQ(decodeDosAttrib(v4), std::optional<std::uint32_t>(0x26));
    // The same record saying its attribute field is not valid.
    std::string invalid = v4;
    invalid[8] = '\x10';
    EXPECT_EQ(decodeDosAttrib(invalid), std::nullopt);
    EXPECT_EQ(decodeDosAttrib("\0\0\x09\0\x09\0"s), std::nullopt);  // a version we do not know
    EXPECT_EQ(decodeDosAttrib("\0\0\x04\0"s), std::nullopt);        // cut short
    EXPECT_EQ(decodeDosAttrib("hello"), std::nullopt);

    for (std::uint32_t a : {0u, 0x20u, 0x23u, 0x16u, 0x27u}) EXPECT_EQ(decodeDosAttrib(encodeDosAttrib(a)), a);
    EXPECT_EQ(encodeDosAttrib(0x20).substr(0, 12), "\0\0\x04\0\x04\0\0\0\x01\0\0\0"s);
}

}  // namespace
}  // namespace mabrel::platform::posix

#endif  // _WIN32
