// Taking backup copies into a real folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <vector>

#include "backup/backup_store.h"
#include "platform/errors.h"
#include "support/fault_injection.h"
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
    // Every entry below the folder: its kind and what it holds.
    std::map<std::string, std::string> everything() const {
        std::map<std::string, std::string> out;
        for (const auto& e : stdfs::recursive_directory_iterator(dir.path())) {
            const auto rel = stdfs::relative(e.path(), dir.path()).string();
            if (e.is_symlink()) out[rel] = "link to " + stdfs::read_symlink(e.path()).string();
            else if (e.is_regular_file()) out[rel] = test::readBytes(e.path());
            else out[rel] = "folder";
        }
        return out;
    }
    std::optional<std::string> take(const std::string& name) {
        const auto folder = fs.openDirectory(dir.drivePath());
        std::unique_ptr<platform::Directory> backupDir;
        return takeBackupCopy(*folder, backupDir, name);
    }

    std::unique_ptr<platform::FileSystem> native = platform::makeNativeFileSystem();
    platform::FaultInjectingFileSystem fs{*native};
    test::TempDir dir;
    stdfs::path source;
    const stdfs::path copy = dir.path() / kBackupDirName / stdfs::u8path("報告書_2000-07-15 09-05-03.txt");
    const std::string copyPath = dir.drivePath() + kBackupDirName + "\\報告書_2000-07-15 09-05-03.txt";
};

TEST_F(BackupCopy, EachVersionIsCopiedOnceWithContentTimeAndReadOnly) {
    EXPECT_EQ(take("報告書.txt"), copyPath);
    EXPECT_EQ(copies(), 1u);
    EXPECT_EQ(test::readBytes(copy), "version one");
    EXPECT_EQ(native->findIgnoringCase(copyPath, platform::attr::ReadOnly)->modified,
              (platform::LocalTime{2000, 7, 15, 9, 5, 3}));
    EXPECT_EQ(native->attributes(copyPath) & platform::attr::ReadOnly, platform::attr::ReadOnly);
    // The directory itself is an ordinary one.
    EXPECT_EQ(native->attributes(dir.drivePath() + kBackupDirName) & (platform::attr::Hidden | platform::attr::ReadOnly),
              0u);
    EXPECT_EQ(take("報告書.txt"), std::nullopt);
    EXPECT_EQ(copies(), 1u);

    // A new modification time is a new version.
    dir.write("報告書.txt", "version one, edited");
    test::setModificationTime(source, 2001, 1, 2, 3, 4, 5);
    take("報告書.txt");
    EXPECT_EQ(copies(), 2u);
    EXPECT_EQ(test::readBytes(dir.path() / kBackupDirName / stdfs::u8path("報告書_2001-01-02 03-04-05.txt")),
              "version one, edited");
}

TEST_F(BackupCopy, AMissingSourceCreatesNothing) {
    EXPECT_EQ(errorOf([&] { take("gone.txt"); }), platform::err::FileNotFound);
    EXPECT_FALSE(stdfs::exists(dir.path() / kBackupDirName));
}

TEST_F(BackupCopy, NamesThatDifferOnlyInLetterCaseAreDifferentFiles) {
#ifdef _WIN32
    GTEST_SKIP() << "names that differ only in letter case are one file there";
#endif
    // A copy of Report.txt at the same second is no copy of report.txt.
    for (const char* name : {"Report.txt", "report.txt"}) {
        test::setModificationTime(dir.write(name, name), 2000, 7, 15, 9, 5, 3);
        EXPECT_TRUE(take(name)) << name;
    }
    EXPECT_EQ(test::readBytes(dir.path() / kBackupDirName / "Report_2000-07-15 09-05-03.txt"), "Report.txt");
    EXPECT_EQ(test::readBytes(dir.path() / kBackupDirName / "report_2000-07-15 09-05-03.txt"), "report.txt");
}

// Whatever stands under the copy's name, only a file of its own with the
// file's content is taken for the version; anything else is said (58, with
// both names) and left as it was.
TEST_F(BackupCopy, OnlyAnIndependentCopyWithTheSameContentStandsForTheVersion) {
#ifdef _WIN32
    GTEST_SKIP() << "links and hard links are made with POSIX calls here";
#endif
    struct Planted {
        const char* what;
        std::function<void()> plant;
        bool accepted;
    };
    const auto elsewhere = dir.path() / "elsewhere";
    const std::vector<Planted> cases = {
        {"an earlier copy of this version", [&] { dir.write(std::string(kBackupDirName) + "/報告書_2000-07-15 09-05-03.txt", "version one"); }, true},
        {"a hard link to the file itself", [&] { stdfs::create_hard_link(source, copy); }, false},
        {"another version of the same size", [&] { dir.write(std::string(kBackupDirName) + "/報告書_2000-07-15 09-05-03.txt", "version 1ne"); }, false},
        {"a file with the same content and another name",
         [&] {
             dir.write("elsewhere/same.txt", "version one");
             stdfs::create_hard_link(elsewhere / "same.txt", copy);
         },
         false},
        {"a link to a file with the same content",
         [&] {
             dir.write("elsewhere/same.txt", "version one");
             stdfs::create_symlink(elsewhere / "same.txt", copy);
         },
         false},
        {"a folder", [&] { stdfs::create_directories(copy); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        stdfs::remove_all(dir.path() / kBackupDirName);
        stdfs::remove_all(elsewhere);
        stdfs::create_directories(dir.path() / kBackupDirName);
        stdfs::create_directories(elsewhere);
        c.plant();
        const auto planted = everything();
        if (c.accepted) {
            EXPECT_EQ(take("報告書.txt"), std::nullopt);
            continue;
        }
        try {
            take("報告書.txt");
            ADD_FAILURE() << "taken for the version";
        } catch (const platform::PlatformError& e) {
            EXPECT_EQ(e.number(), platform::err::FileAlreadyExists);
            EXPECT_NE(e.description().find("報告書_2000-07-15 09-05-03.txt"), std::string::npos) << e.description();
            EXPECT_NE(e.description().find("「報告書.txt」"), std::string::npos) << e.description();
        }
        EXPECT_EQ(everything(), planted);
        EXPECT_EQ(test::readBytes(source), "version one");
    }
}

}  // namespace
}  // namespace mabrel::backup
