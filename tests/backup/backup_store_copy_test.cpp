// Taking backup copies into a real folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <vector>

#include "backup/backup_store.h"
#include "platform/errors.h"
#include "platform/native.h"
#include "support/platform_error.h"
#include "support/temp_dir.h"

namespace mabrel::backup {
namespace {

namespace stdfs = std::filesystem;

class BackupCopy : public ::testing::Test {
protected:
    void SetUp() override { test::setModificationTime(source, 2000, 7, 15, 9, 5, 3); }
    // Every entry below the folder: its kind and what it holds.
    std::map<std::string, std::string> everything() const {
        std::map<std::string, std::string> out;
        for (const auto& e : stdfs::recursive_directory_iterator(dir.path())) {
            const auto rel = stdfs::relative(e.path(), dir.path()).string();
            if (e.is_symlink()) out[rel] = "link to " + stdfs::read_symlink(e.path()).string();
            else out[rel] = e.is_regular_file() ? test::readBytes(e.path()) : "folder";
        }
        return out;
    }
    std::optional<std::string> take(const std::string& name) {
        std::unique_ptr<platform::Directory> backupDir;
        return takeBackupCopy(*fs->openDirectory(dir.drivePath()), backupDir, name);
    }
    std::string kept(const std::string& name) const { return test::readBytes(dir.path() / kBackupDirName / stdfs::u8path(name)); }

    std::unique_ptr<platform::FileSystem> fs = platform::makeNativeFileSystem();
    test::TempDir dir;
    stdfs::path source = dir.write("報告書.txt", "version one");
    const stdfs::path copy = dir.path() / kBackupDirName / stdfs::u8path("報告書_2000-07-15 09-05-03.txt");
    const std::string copyPath = dir.drivePath() + kBackupDirName + "\\報告書_2000-07-15 09-05-03.txt";
};

// 80 kanji and ".txt" make a name of 244 bytes, and its copy's name 264:
// more than a Linux file system (or Wine) takes. Refused before anything is
// copied, saying that the copy's name is the reason.
TEST_F(BackupCopy, ACopyNameTooLongIsRefusedBeforeCopyingAndNamed) {
    std::string name;
    for (int i = 0; i < 80; ++i) name += "漢";
    const std::string file = name + ".txt";
    dir.write(file, "long");
    test::setModificationTime(dir.path() / stdfs::u8path(file), 2000, 7, 15, 9, 5, 3);
    try {
        take(file);
        ADD_FAILURE() << "taken";
    } catch (const platform::PlatformError& e) {
        EXPECT_EQ(e.number(), platform::err::NameTooLong);
        EXPECT_NE(e.description().find("「" + name + "_2000-07-15 09-05-03.txt」"), std::string::npos) << e.description();
    }
    EXPECT_TRUE(stdfs::is_empty(dir.path() / kBackupDirName));
}

TEST_F(BackupCopy, EachVersionIsCopiedOnceWithContentTimeAndReadOnly) {
    EXPECT_EQ(test::errorOf([&] { take("gone.txt"); }), platform::err::FileNotFound);
    EXPECT_FALSE(stdfs::exists(dir.path() / kBackupDirName));  // nothing made for a missing file

    EXPECT_EQ(take("報告書.txt"), copyPath);
    EXPECT_EQ(kept("報告書_2000-07-15 09-05-03.txt"), "version one");
    EXPECT_EQ(fs->findIgnoringCase(copyPath, platform::attr::ReadOnly)->modified,
              (platform::LocalTime{2000, 7, 15, 9, 5, 3}));
    EXPECT_EQ(fs->attributes(copyPath) & platform::attr::ReadOnly, platform::attr::ReadOnly);
    EXPECT_EQ(fs->attributes(dir.drivePath() + kBackupDirName) & (platform::attr::Hidden | platform::attr::ReadOnly), 0u);
    EXPECT_EQ(take("報告書.txt"), std::nullopt);

    // A new modification time is a new version.
    dir.write("報告書.txt", "version one, edited");
    test::setModificationTime(source, 2001, 1, 2, 3, 4, 5);
    take("報告書.txt");
    EXPECT_EQ(kept("報告書_2001-01-02 03-04-05.txt"), "version one, edited");
    EXPECT_EQ(everything().size(), 4u);
}

// Whatever stands under the copy's name, only a file of its own with the
// file's content is taken for the version; anything else is said (58, with
// both names) and left as it was.
TEST_F(BackupCopy, OnlyAnIndependentCopyWithTheSameContentStandsForTheVersion) {
#ifdef _WIN32
    GTEST_SKIP() << "links and hard links are made with POSIX calls here";
#endif
    const auto same = dir.path() / "elsewhere" / "same.txt";
    const auto put = [&](const std::string& bytes) { dir.write(std::string(kBackupDirName) + "/報告書_2000-07-15 09-05-03.txt", bytes); };
    const struct {
        const char* what;
        std::function<void()> plant;
        bool accepted;
    } cases[] = {
        {"an earlier copy of this version", [&] { put("version one"); }, true},
        {"a hard link to the file itself", [&] { stdfs::create_hard_link(source, copy); }, false},
        {"another version of the same size", [&] { put("version 1ne"); }, false},
        {"a file with the same content and another name", [&] { stdfs::create_hard_link(same, copy); }, false},
        {"a link to a file with the same content", [&] { stdfs::create_symlink(same, copy); }, false},
        {"a folder", [&] { stdfs::create_directories(copy); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        stdfs::remove_all(dir.path() / kBackupDirName);
        stdfs::create_directories(dir.path() / kBackupDirName);
        dir.write("elsewhere/same.txt", "version one");
        c.plant();
        const auto planted = everything();
        try {
            EXPECT_EQ(take("報告書.txt"), std::nullopt);
            EXPECT_TRUE(c.accepted) << "taken for the version";
        } catch (const platform::PlatformError& e) {
            EXPECT_FALSE(c.accepted);
            EXPECT_EQ(e.number(), platform::err::FileAlreadyExists);
            EXPECT_NE(e.description().find("報告書_2000-07-15 09-05-03.txt"), std::string::npos) << e.description();
            EXPECT_NE(e.description().find("「報告書.txt」"), std::string::npos) << e.description();
        }
        EXPECT_EQ(everything(), planted);
    }
}

}  // namespace
}  // namespace mabrel::backup
