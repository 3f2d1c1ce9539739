// The first folder shown: command line, then the remembered folder, then the
// current directory.
#include <gtest/gtest.h>

#include "app/startup.h"
#include "platform/native.h"
#include "support/temp_dir.h"

namespace mabrel::app {
namespace {

class StartFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("With Space/a.txt", "a");
        dir.mkdir("Remembered");
    }
    std::string choose(const std::string& remembered, const std::string& commandLine) {
        return chooseStartFolder(*fs, remembered, commandLine, current);
    }
    std::unique_ptr<platform::FileSystem> fs = platform::makeNativeFileSystem();
    test::TempDir dir;
    test::TempDir currentDir;
    const std::string root = dir.drivePath();
    const std::string current = currentDir.drivePath().substr(0, currentDir.drivePath().size() - 1);  // no "\"
};

TEST_F(StartFolder, CommandLineWinsQuotedOrNamingAFile) {
    EXPECT_EQ(choose(root + "Remembered\\", "\"" + root + "With Space\""), root + "With Space\\");
    EXPECT_EQ(choose(root + "Remembered\\", root + "With Space\\a.txt"), root + "With Space\\");
    // A missing folder on the command line falls back to its nearest existing ancestor.
    EXPECT_EQ(choose("", root + "With Space\\gone\\deeper"), root + "With Space\\");
}

TEST_F(StartFolder, ACommandLineTheCheckerRejectsGivesTheCurrentDirectoryNotTheRememberedOne) {
    // No drive letter and no share: not a usable path, although not empty.
    EXPECT_EQ(choose(root + "Remembered\\", "xyz:\\folder"), current + "\\");
    EXPECT_EQ(chooseStartFolder(*fs, root + "Remembered\\", "\\\\mabrel-no-server", "C:\\"), "C:\\");
}

TEST_F(StartFolder, WithoutCommandLineTheRememberedFolderIfItStillExists) {
    EXPECT_EQ(choose(root + "Remembered\\", ""), root + "Remembered\\");
    EXPECT_EQ(choose(root + "Remembered", "   "), root + "Remembered\\");
    EXPECT_EQ(choose(root + "Gone\\", ""), current + "\\");
    EXPECT_EQ(choose("", ""), current + "\\");
}

}  // namespace
}  // namespace mabrel::app
