// The long-name normaliser and the path checker on real folders.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/native.h"
#include "support/temp_dir.h"
#include "util/bas_basic.h"

namespace mabrel {
namespace {

using bas_basic::CheckedPath;
using bas_basic::checkPath;
using bas_basic::normaliseLongName;

class PathHelpers : public ::testing::Test {
protected:
    void SetUp() override {
        dir.mkdir("My Docs/Reports");
        dir.write("My Docs/Reports/Q1.txt", "q1");
        dir.write("報告書/議事録.txt", "j");
    }
    std::unique_ptr<platform::FileSystem> fs = platform::makeNativeFileSystem();
    test::TempDir dir;
    const std::string root = dir.drivePath();  // ends with "\"
};

TEST_F(PathHelpers, NormaliserRemovesQuotesSpellsNamesAsStoredAndMarksFolders) {
    EXPECT_EQ(normaliseLongName(*fs, "  \"" + root + "My Docs\"  "), root + "My Docs\\");
    EXPECT_EQ(normaliseLongName(*fs, root + "My Docs\\Reports\\Q1.txt"), root + "My Docs\\Reports\\Q1.txt");
    EXPECT_EQ(normaliseLongName(*fs, "\"" + root + "報告書\\議事録.txt\""), root + "報告書\\議事録.txt");
    EXPECT_EQ(normaliseLongName(*fs, "  "), "");
    EXPECT_EQ(normaliseLongName(*fs, "\"\""), "");
    // Components are spelled as stored.
    EXPECT_EQ(normaliseLongName(*fs, root + "my docs\\REPORTS\\q1.TXT"), root + "My Docs\\Reports\\Q1.txt");
}

TEST_F(PathHelpers, NormaliserKeepsTheLongestExistingLeadingPart) {
    EXPECT_EQ(normaliseLongName(*fs, root + "My Docs\\Missing\\Reports\\Q1.txt"), root + "My Docs\\");
    EXPECT_EQ(normaliseLongName(*fs, root + "My Docs\\Reports\\gone.txt"), root + "My Docs\\Reports\\");
    // Nothing below the drive exists: the drive root.
    EXPECT_EQ(normaliseLongName(*fs, "C:\\mabrel-no-such-folder-4711\\x\\"), "C:\\");
    // A hidden folder on the way is left out, and so is everything below it.
    dir.write(".cache/inside/x.txt", "x");
    fs->openDirectory(root)->setAttributes(".cache", platform::attr::Hidden);
    EXPECT_EQ(normaliseLongName(*fs, root + ".cache\\inside\\x.txt"), root);
}

TEST_F(PathHelpers, NormaliserResolvesDotNamesAndDoubledSeparatorsFirst) {
    // Each would otherwise add the name of the folder it stands for once more.
    EXPECT_EQ(normaliseLongName(*fs, root + "My Docs\\\\Reports\\.\\Q1.txt"), root + "My Docs\\Reports\\Q1.txt");
    EXPECT_EQ(normaliseLongName(*fs, root + "My Docs\\Missing\\..\\Reports\\"), root + "My Docs\\Reports\\");
    EXPECT_EQ(normaliseLongName(*fs, root + "My Docs/Reports"), root + "My Docs\\Reports\\");
    EXPECT_EQ(normaliseLongName(*fs, "\\\\mabrel-no-server\\share/Docs\\x"), "\\\\mabrel-no-server\\share");
    EXPECT_EQ(normaliseLongName(*fs, "C:\\..\\..\\" + root.substr(3)), root);
}

TEST_F(PathHelpers, NormaliserRebuildsARelativeNameFromTheRoot) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path() / "My Docs");
    const std::string result = normaliseLongName(*fs, "Reports");
    std::filesystem::current_path(previous);
    EXPECT_EQ(result.rfind("\\Reports", 0), 0u) << result;
    // Not a full path, so the checker turns it down.
    EXPECT_FALSE(checkPath(*fs, result));
}

TEST_F(PathHelpers, CheckerSplitsUsablePathsIntoDriveFolderAndFile) {
    const std::string rootFolder = root.substr(2);  // "\tmp\...\"
    EXPECT_EQ(checkPath(*fs, "C:"), (CheckedPath{"C:", "\\", ""}));
    EXPECT_EQ(checkPath(*fs, " C:\\ "), (CheckedPath{"C:", "\\", ""}));
    EXPECT_EQ(checkPath(*fs, root + "My Docs"), (CheckedPath{"C:", rootFolder + "My Docs\\", ""}));
    EXPECT_EQ(checkPath(*fs, root + "My Docs\\"), (CheckedPath{"C:", rootFolder + "My Docs\\", ""}));
    EXPECT_EQ(checkPath(*fs, root + "報告書\\議事録.txt"), (CheckedPath{"C:", rootFolder + "報告書\\", "議事録.txt"}));
    // Dot names and doubled separators are resolved before the parts are taken.
    EXPECT_EQ(checkPath(*fs, root + "My Docs\\.\\Reports\\..\\\\Reports\\\\"),
              (CheckedPath{"C:", rootFolder + "My Docs\\Reports\\", ""}));
    EXPECT_EQ(checkPath(*fs, root + "報告書\\議事録.txt\\."), (CheckedPath{"C:", rootFolder + "報告書\\", "議事録.txt"}));
    EXPECT_EQ(checkPath(*fs, "C:\\..\\"), (CheckedPath{"C:", "\\", ""}));
}

TEST_F(PathHelpers, CheckerTurnsDownMissingAndMalformedPaths) {
    // A file with separators after it is no folder, and has no file name.
    for (const std::string& bad : {root + "Missing\\", root + "My Docs\\Reports\\gone.txt", std::string("abc"),
                                  std::string("\\Docs\\"), std::string("\\\\server"), std::string(""),
                                  root + "My Docs\\Reports\\Q1.txt\\\\"}) {
        EXPECT_FALSE(checkPath(*fs, bad)) << bad;
    }
}

TEST_F(PathHelpers, CheckerTakesAShareRootWithoutAskingTheDisk) {
    // No such server exists: only a path that is never looked up passes.
    EXPECT_EQ(checkPath(*fs, "\\\\mabrel-no-server\\share\\"), (CheckedPath{"\\\\mabrel-no-server\\share", "\\", ""}));
    EXPECT_EQ(checkPath(*fs, "\\\\mabrel-no-server\\share"), (CheckedPath{"\\\\mabrel-no-server\\share", "\\", ""}));
    EXPECT_FALSE(checkPath(*fs, "\\\\mabrel-no-server\\share\\dir\\"));
}

}  // namespace
}  // namespace mabrel
