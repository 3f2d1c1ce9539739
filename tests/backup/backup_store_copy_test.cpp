// Taking backup copies into a real folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "backup/backup_store.h"
#include "platform/errors.h"
#include "platform/native.h"
#include "support/temp_dir.h"

namespace mabrel::backup {
namespace {

namespace stdfs = std::filesystem;

std::string utf8(const stdfs::path& p) {
    const auto s = p.filename().u8string();
    return std::string(s.begin(), s.end());
}

// The real file system with chosen operations failing.
class FailingFileSystem : public platform::FileSystem {
public:
    explicit FailingFileSystem(platform::FileSystem& inner) : inner_(inner) {}
    bool failCopyAfterWriting = false;  // the copy is written, then fails (disk full)
    bool failRename = false;
    bool createDoesNothing = false;

    std::uint32_t attributes(const std::string& p) override { return inner_.attributes(p); }
    void setAttributes(const std::string& p, std::uint32_t a) override { inner_.setAttributes(p, a); }
    std::vector<platform::DirEntry> list(const std::string& f, std::uint32_t m) override { return inner_.list(f, m); }
    std::optional<platform::DirEntry> find(const std::string& p, std::uint32_t m) override { return inner_.find(p, m); }
    void copyFile(const std::string& from, const std::string& to) override {
        inner_.copyFile(from, to);
        if (failCopyAfterWriting) throw platform::PlatformError(platform::err::DiskFull);
    }
    void rename(const std::string& from, const std::string& to) override {
        if (failRename) throw platform::PlatformError(platform::err::PathFileAccess);
        inner_.rename(from, to);
    }
    void deleteFile(const std::string& p) override { inner_.deleteFile(p); }
    void createDirectory(const std::string& p) override {
        ++directoriesCreated;
        if (!createDoesNothing) inner_.createDirectory(p);
    }
    std::int64_t fileSize(const std::string& p) override { return inner_.fileSize(p); }
    platform::LocalTime modificationTime(const std::string& p) override { return inner_.modificationTime(p); }
    std::string readFile(const std::string& p) override { return inner_.readFile(p); }
    void writeFileAtomic(const std::string& p, const std::string& b) override { inner_.writeFileAtomic(p, b); }
    unsigned driveType(const std::string& r) override { return inner_.driveType(r); }

    int directoriesCreated = 0;

private:
    platform::FileSystem& inner_;
};

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
    FailingFileSystem fs{*native};
    test::TempDir dir;
    stdfs::path source;
    const stdfs::path copy = dir.path() / kBackupDirName / stdfs::u8path("報告書_2000-07-15 09-05-03.txt");
};

TEST_F(BackupCopy, FirstCopyCreatesTheDirectoryAndKeepsContentTimeAndReadOnly) {
    takeBackupCopy(fs, dir.drivePath(), "報告書.txt");
    EXPECT_EQ(fs.directoriesCreated, 1);
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
    EXPECT_EQ(fs.directoriesCreated, 1);
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
    for (bool atRename : {false, true}) {
        fs.failCopyAfterWriting = !atRename;
        fs.failRename = atRename;
        EXPECT_THROW(takeBackupCopy(fs, dir.drivePath(), "報告書.txt"), platform::PlatformError) << atRename;
        EXPECT_TRUE(stdfs::is_directory(dir.path() / kBackupDirName));
        EXPECT_EQ(backupNames(), std::vector<std::string>{}) << atRename;
    }
    // The next attempt takes the version in full.
    fs.failCopyAfterWriting = fs.failRename = false;
    takeBackupCopy(fs, dir.drivePath(), "報告書.txt");
    EXPECT_EQ(test::readBytes(copy), "version one");
    EXPECT_EQ(test::readBytes(source), "version one");
}

TEST_F(BackupCopy, TheDirectoryIsCreatedOnlyOncePerCopy) {
    fs.createDoesNothing = true;
    try {
        takeBackupCopy(fs, dir.drivePath(), "報告書.txt");
        FAIL() << "no error";
    } catch (const platform::PlatformError& e) {
        EXPECT_EQ(e.number(), platform::err::PathNotFound);
    }
    EXPECT_EQ(fs.directoriesCreated, 1);
}

}  // namespace
}  // namespace mabrel::backup
