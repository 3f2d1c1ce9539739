// The first folder shown: command line, then the remembered folder, then the
// current directory.
#include <gtest/gtest.h>

#include "app/startup.h"
#include "platform/native.h"
#include "support/temp_dir.h"

namespace mabrel::app {
namespace {

class StartFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("With Space/a.txt", "a");
        dir.mkdir("Remembered");
    }
    StartFolder choose(const std::string& remembered, const std::string& commandLine) {
        return chooseStartFolder(*fs, remembered, commandLine, current);
    }
    std::unique_ptr<platform::FileSystem> fs = platform::makeNativeFileSystem();
    test::TempDir dir;
    test::TempDir currentDir;
    const std::string root = dir.drivePath();
    const std::string current = currentDir.drivePath().substr(0, currentDir.drivePath().size() - 1);  // no "\"
    const StartFolder currentFolder{current + "\\", ""};
};

TEST_F(StartFolderTest, CommandLineWinsQuotedOrNamingAFileWhoseRowIsToBeSelected) {
    EXPECT_EQ(choose(root + "Remembered\\", "\"" + root + "With Space\""), (StartFolder{root + "With Space\\", ""}));
    EXPECT_EQ(choose(root + "Remembered\\", root + "With Space\\a.txt"), (StartFolder{root + "With Space\\", "a.txt"}));
    EXPECT_EQ(choose("", root + "WITH SPACE\\A.TXT"), (StartFolder{root + "With Space\\", "a.txt"}));
    // A missing folder on the command line falls back to its nearest existing ancestor.
    EXPECT_EQ(choose("", root + "With Space\\gone\\deeper").folder, root + "With Space\\");
    // ".", ".." and doubled separators name the folder they lead to.
    EXPECT_EQ(choose("", root + "Remembered\\..\\With Space").folder, root + "With Space\\");
    EXPECT_EQ(choose("", root + "Remembered\\.\\..\\\\With Space\\.\\a.txt"),
              (StartFolder{root + "With Space\\", "a.txt"}));
}

TEST_F(StartFolderTest, ACommandLineTheCheckerRejectsGivesTheCurrentDirectoryNotTheRememberedOne) {
    // No drive letter and no share: not a usable path, although not empty.
    EXPECT_EQ(choose(root + "Remembered\\", "xyz:\\folder"), currentFolder);
    EXPECT_EQ(chooseStartFolder(*fs, root + "Remembered\\", "\\\\mabrel-no-server", "C:\\").folder, "C:\\");
}

TEST_F(StartFolderTest, WithoutCommandLineTheRememberedFolderIfItAndItsDriveStillExist) {
    EXPECT_EQ(choose(root + "Remembered\\", ""), (StartFolder{root + "Remembered\\", ""}));
    EXPECT_EQ(choose(root + "Remembered", "   ").folder, root + "Remembered\\");
    EXPECT_EQ(choose(root + "Gone\\", ""), currentFolder);
    EXPECT_EQ(choose("", ""), currentFolder);
    // A drive or share that is gone, remembered or named, as a missing folder.
    EXPECT_EQ(choose("Q:\\", ""), currentFolder);
    EXPECT_EQ(choose("\\\\mabrel-no-server\\share\\", ""), currentFolder);
    EXPECT_EQ(choose(root + "Remembered\\", "Q:\\"), currentFolder);
    // A root that is there is taken.
    EXPECT_EQ(choose(root.substr(0, 3), "").folder, root.substr(0, 3));
}

}  // namespace
}  // namespace mabrel::app
