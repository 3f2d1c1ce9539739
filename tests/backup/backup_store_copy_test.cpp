// Taking backup copies into a real folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "backup/backup_store.h"
#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/native.h"
#include "support/platform_error.h"
#include "support/temp_dir.h"

namespace mabrel::backup {
namespace {

namespace stdfs = std::filesystem;
using platform::FsOp;
using test::errorOf;

class BackupCopy : public ::testing::Test {
protected:
    void SetUp() override {
        source = dir.write("報告書.txt", "version one");
        test::setModificationTime(source, 2000, 7, 15, 9, 5, 3);
    }
    std::size_t copies() {
        std::error_code ec;
        return static_cast<std::size_t>(std::distance(stdfs::directory_iterator(dir.path() / kBackupDirName, ec),
                                                      stdfs::directory_iterator()));
    }

    std::unique_ptr<platform::FileSystem> native = platform::makeNativeFileSystem();
    platform::FaultInjectingFileSystem fs{*native};
    test::TempDir dir;
    stdfs::path source;
    const stdfs::path copy = dir.path() / kBackupDirName / stdfs::u8path("報告書_2000-07-15 09-05-03.txt");
    const std::string copyPath = dir.drivePath() + kBackupDirName + "\\報告書_2000-07-15 09-05-03.txt";
};

TEST_F(BackupCopy, EachVersionIsCopiedOnceWithContentTimeAndReadOnly) {
    EXPECT_EQ(takeBackupCopy(fs, dir.drivePath(), "報告書.txt"), copyPath);
    EXPECT_EQ(copies(), 1u);
    EXPECT_EQ(test::readBytes(copy), "version one");
    EXPECT_EQ(native->modificationTime(copyPath), (platform::LocalTime{2000, 7, 15, 9, 5, 3}));
    EXPECT_EQ(native->attributes(copyPath) & platform::attr::ReadOnly, platform::attr::ReadOnly);
    // The directory itself is an ordinary one.
    EXPECT_EQ(native->attributes(dir.drivePath() + kBackupDirName) & (platform::attr::Hidden | platform::attr::ReadOnly),
              0u);
    EXPECT_EQ(takeBackupCopy(fs, dir.drivePath(), "報告書.txt"), std::nullopt);
    EXPECT_EQ(fs.calls(FsOp::CreateDirectory), 1);

    // Saved again within the same second: the name is taken by a copy of
    // another size, so this version cannot be secured; that is an error.
    dir.write("報告書.txt", "version one, edited");
    test::setModificationTime(source, 2000, 7, 15, 9, 5, 3);
    EXPECT_EQ(errorOf([&] { takeBackupCopy(fs, dir.drivePath(), "報告書.txt"); }), platform::err::FileAlreadyExists);
    EXPECT_EQ(test::readBytes(copy), "version one");

    // A new modification time is a new version.
    test::setModificationTime(source, 2001, 1, 2, 3, 4, 5);
    takeBackupCopy(fs, dir.drivePath(), "報告書.txt");
    EXPECT_EQ(copies(), 2u);
    EXPECT_EQ(test::readBytes(dir.path() / kBackupDirName / stdfs::u8path("報告書_2001-01-02 03-04-05.txt")),
              "version one, edited");
}

TEST_F(BackupCopy, AMissingSourceCreatesNothingAndTheDirectoryIsCreatedOnlyOnce) {
    EXPECT_EQ(errorOf([&] { takeBackupCopy(fs, dir.drivePath(), "gone.txt"); }), platform::err::FileNotFound);
    EXPECT_FALSE(stdfs::exists(dir.path() / kBackupDirName));

    fs.failCallsOn(FsOp::CreateCopy, kBackupDirName, platform::err::PathNotFound);
    EXPECT_EQ(errorOf([&] { takeBackupCopy(fs, dir.drivePath(), "報告書.txt"); }), platform::err::PathNotFound);
    EXPECT_EQ(fs.calls(FsOp::CreateDirectory), 1);
    EXPECT_EQ(fs.calls(FsOp::CreateCopy), 2);
}

TEST_F(BackupCopy, NamesThatDifferOnlyInLetterCaseAreDifferentFiles) {
#ifdef _WIN32
    GTEST_SKIP() << "names that differ only in letter case are one file there";
#endif
    // A copy of Report.txt at the same second is no copy of report.txt.
    for (const char* name : {"Report.txt", "report.txt"}) {
        test::setModificationTime(dir.write(name, name), 2000, 7, 15, 9, 5, 3);
        EXPECT_TRUE(takeBackupCopy(fs, dir.drivePath(), name)) << name;
    }
    EXPECT_EQ(test::readBytes(dir.path() / kBackupDirName / "Report_2000-07-15 09-05-03.txt"), "Report.txt");
    EXPECT_EQ(test::readBytes(dir.path() / kBackupDirName / "report_2000-07-15 09-05-03.txt"), "report.txt");
}

TEST_F(BackupCopy, ALinkIsNeverTakenForACopyNorWrittenThrough) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege there; reparse points are refused the same way";
#endif
    // A link under the copy's name, even one pointing at a file of the same
    // size, does not hold the version.
    const auto elsewhere = dir.write("elsewhere/same.txt", "version one");
    dir.mkdir(kBackupDirName);
    stdfs::create_symlink(elsewhere, copy);
    EXPECT_EQ(errorOf([&] { takeBackupCopy(fs, dir.drivePath(), "報告書.txt"); }), platform::err::FileAlreadyExists);
    EXPECT_TRUE(stdfs::is_symlink(copy));

    EXPECT_EQ(test::readBytes(elsewhere), "version one");
}

}  // namespace
}  // namespace mabrel::backup
