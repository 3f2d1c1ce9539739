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

TEST(MountTable, DrivesGetLettersInMountPointOrderWithTheirTypes) {
    const auto mounts = parseMountTable(kTable);
    ASSERT_EQ(mounts.size(), 10u);  // the malformed line is skipped
    EXPECT_EQ(mounts[3].mountPoint, "/run/media/ann/USB STICK");

    const auto drives = drivesFromMounts(mounts);
    std::vector<std::pair<std::string, unsigned>> got;
    for (const auto& d : drives) got.emplace_back(std::string(1, d.letter) + " " + d.mountPoint, d.type);
    // Pseudo file systems, /run and disks outside the user's places get no letter.
    const std::vector<std::pair<std::string, unsigned>> want = {
        {"C /", drive_type::Fixed},
        {"D /home/ann/docs", drive_type::Network},
        {"E /media/cdrom", drive_type::CdRom},
        {"F /mnt/nas", drive_type::Network},
        {"G /mnt/scratch", drive_type::RamDisk},
        {"H /run/media/ann/USB STICK", drive_type::Removable},
    };
    EXPECT_EQ(got, want);

    // Mounting in another order changes no letter.
    std::vector<MountEntry> reversed(mounts.rbegin(), mounts.rend());
    const auto again = drivesFromMounts(reversed);
    ASSERT_EQ(again.size(), drives.size());
    for (std::size_t i = 0; i < drives.size(); ++i) EXPECT_EQ(again[i].mountPoint, drives[i].mountPoint);
    // A later mount on the same point wins.
    const auto later = drivesFromMounts(parseMountTable("/dev/sdb1 /media/x ext4 rw 0 0\n/dev/sr0 /media/x udf ro 0 0\n"));
    ASSERT_EQ(later.size(), 2u);
    EXPECT_EQ(later[1].type, drive_type::CdRom);
}

TEST(MountTable, SharesAreFoundByServerAndShareInAnyLetterCase) {
    const auto mounts = parseMountTable(kTable);
    EXPECT_EQ(shareMountPoint(mounts, "FILESERVER", "docs"), std::optional<std::string>("/home/ann/docs"));
    EXPECT_EQ(shareMountPoint(mounts, "fileserver", "other"), std::nullopt);
    EXPECT_EQ(shareMountPoint(mounts, "nas", "export"), std::nullopt);  // NFS is not SMB
}

TEST(PathMapping, DriveNetworkRootedAndRelativePaths) {
    const auto mounts = parseMountTable(kTable);
    const auto drives = drivesFromMounts(mounts);
    auto native = [&](const std::string& p) {
        auto split = splitDrivePath(p, drives, mounts, "/mnt/nas/projects/a", "/mnt/nas");
        return split ? joinNative(*split) : std::string("<none>");
    };
    EXPECT_EQ(native("C:\\"), "/");
    EXPECT_EQ(native("C:"), "/");
    EXPECT_EQ(native("c:\\Docs\\report.txt"), "/Docs/report.txt");
    EXPECT_EQ(native("H:\\photos\\"), "/run/media/ann/USB STICK/photos");
    EXPECT_EQ(native("\\\\FileServer\\Docs\\2024\\plan.txt"), "/home/ann/docs/2024/plan.txt");
    EXPECT_EQ(native("\\\\fileserver\\docs"), "/home/ann/docs");
    EXPECT_EQ(native("\\\\fileserver\\missing\\x"), "<none>");
    EXPECT_EQ(native("Z:\\x"), "<none>");
    // A single "\" starts at the current drive's root; no drive at the current directory.
    EXPECT_EQ(native("\\readme.txt"), "/mnt/nas/readme.txt");
    EXPECT_EQ(native("b\\c.txt"), "/mnt/nas/projects/a/b/c.txt");
    // ".." never leaves the drive or the share.
    EXPECT_EQ(native("..\\..\\..\\..\\x"), "/mnt/nas/x");
    EXPECT_EQ(native("D:\\..\\..\\etc"), "/home/ann/docs/etc");
    EXPECT_EQ(native("\\\\fileserver\\docs\\..\\..\\etc"), "/home/ann/docs/etc");
    EXPECT_EQ(native("C:\\a\\.\\b\\\\c"), "/a/b/c");
}

TEST(PathMapping, NativePathsComeBackInDriveForm) {
    const auto drives = drivesFromMounts(parseMountTable(kTable));
    EXPECT_EQ(nativeToDrivePath("/", drives), "C:\\");
    EXPECT_EQ(nativeToDrivePath("/home/a", drives), "C:\\home\\a");
    EXPECT_EQ(nativeToDrivePath("/home/ann/docs/", drives), "D:\\");
    EXPECT_EQ(nativeToDrivePath("/home/ann/docs/x/y.txt", drives), "D:\\x\\y.txt");
    EXPECT_EQ(nativeToDrivePath("/home/ann/docsx", drives), "C:\\home\\ann\\docsx");  // not below the mount
    EXPECT_EQ(nativeToDrivePath("/run/media/ann/USB STICK/a b", drives), "H:\\a b");
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
