// Taking backup copies into a real folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "backup/backup_store.h"
#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/native.h"
#include "support/temp_dir.h"

namespace mabrel::backup {
namespace {

namespace stdfs = std::filesystem;

std::string utf8(const stdfs::path& p) {
    const auto s = p.filename().u8string();
    return std::string(s.begin(), s.end());
}

class BackupCopy : public ::testing::Test {
protected:
    void SetUp() override {
        source = dir.write("報告書.txt", "version one");
        test::setModificationTime(source, 2000, 7, 15, 9, 5, 3);
    }
    std::vector<std::string> backupNames() {
        std::vector<std::string> names;
        if (!stdfs::exists(dir.path() / kBackupDirName)) return names;
        for (const auto& e : stdfs::directory_iterator(dir.path() / kBackupDirName)) {
            names.push_back(utf8(e.path()));
        }
        return names;
    }

    std::unique_ptr<platform::FileSystem> native = platform::makeNativeFileSystem();
    platform::FaultInjectingFileSystem fs{*native};
    test::TempDir dir;
    stdfs::path source;
    const stdfs::path copy = dir.path() / kBackupDirName / stdfs::u8path("報告書_2000-07-15 09-05-03.txt");
};

TEST_F(BackupCopy, FirstCopyCreatesTheDirectoryAndKeepsContentTimeAndReadOnly) {
    takeBackupCopy(fs, dir.drivePath(), "報告書.txt");
    EXPECT_EQ(fs.calls(platform::FsOp::CreateDirectory), 1);
    EXPECT_EQ(backupNames(), std::vector<std::string>{utf8(copy)});
    EXPECT_EQ(test::readBytes(copy), "version one");
    const std::string copyPath = dir.drivePath() + kBackupDirName + "\\報告書_2000-07-15 09-05-03.txt";
    EXPECT_EQ(native->modificationTime(copyPath), (platform::LocalTime{2000, 7, 15, 9, 5, 3}));
    EXPECT_EQ(native->attributes(copyPath) & platform::attr::ReadOnly, platform::attr::ReadOnly);
    // The directory itself is an ordinary one.
    EXPECT_EQ(native->attributes(dir.drivePath() + kBackupDirName) & (platform::attr::Hidden | platform::attr::ReadOnly),
              0u);
}

TEST_F(BackupCopy, AVersionAlreadyKeptIsNeverTakenAgain) {
    takeBackupCopy(fs, dir.drivePath(), "報告書.txt");
    // Changed within the same second: same version name, so only the first is kept.
    dir.write("報告書.txt", "version one, edited");
    test::setModificationTime(source, 2000, 7, 15, 9, 5, 3);
    takeBackupCopy(fs, dir.drivePath(), "報告書.txt");
    EXPECT_EQ(fs.calls(platform::FsOp::CreateDirectory), 1);
    EXPECT_EQ(test::readBytes(copy), "version one");

    // A new modification time is a new version.
    test::setModificationTime(source, 2001, 1, 2, 3, 4, 5);
    takeBackupCopy(fs, dir.drivePath(), "報告書.txt");
    EXPECT_EQ(backupNames().size(), 2u);
    EXPECT_EQ(test::readBytes(dir.path() / kBackupDirName / stdfs::u8path("報告書_2001-01-02 03-04-05.txt")), "version one, edited");
}

TEST_F(BackupCopy, MissingSourceIsFileNotFoundAndCreatesNothing) {
    try {
        takeBackupCopy(fs, dir.drivePath(), "gone.txt");
        FAIL() << "no error";
    } catch (const platform::PlatformError& e) {
        EXPECT_EQ(e.number(), platform::err::FileNotFound);
    }
    EXPECT_FALSE(stdfs::exists(dir.path() / kBackupDirName));
}

TEST_F(BackupCopy, AFailedCopyLeavesNothingUnderAnyName) {
    // Both failures come after the content was written under a temporary name.
    dir.mkdir(kBackupDirName);
    for (auto op : {platform::FsOp::SetAttributes, platform::FsOp::Rename}) {
        fs.failNthCall(op, 1, platform::err::DiskFull);
        EXPECT_THROW(takeBackupCopy(fs, dir.drivePath(), "報告書.txt"), platform::PlatformError);
        EXPECT_EQ(backupNames(), std::vector<std::string>{});
    }
    // The next attempt takes the version in full.
    fs.clear();
    takeBackupCopy(fs, dir.drivePath(), "報告書.txt");
    EXPECT_EQ(test::readBytes(copy), "version one");
    EXPECT_EQ(test::readBytes(source), "version one");
}

TEST_F(BackupCopy, TheDirectoryIsCreatedOnlyOncePerCopy) {
    fs.failCallsOn(platform::FsOp::CopyFile, kBackupDirName, platform::err::PathNotFound);
    try {
        takeBackupCopy(fs, dir.drivePath(), "報告書.txt");
        FAIL() << "no error";
    } catch (const platform::PlatformError& e) {
        EXPECT_EQ(e.number(), platform::err::PathNotFound);
    }
    EXPECT_EQ(fs.calls(platform::FsOp::CreateDirectory), 1);
    EXPECT_EQ(fs.calls(platform::FsOp::CopyFile), 2);
}

}  // namespace
}  // namespace mabrel::backup
