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
        dir.write("My Docs/Reports/Q1.txt", "q1");
        dir.write("報告書/議事録.txt", "j");
        dir.write(".cache/inside/x.txt", "x");
        fs->openDirectory(root)->setAttributes(".cache", platform::attr::Hidden);
    }
    std::unique_ptr<platform::FileSystem> fs = platform::makeNativeFileSystem();
    test::TempDir dir;
    const std::string root = dir.drivePath();  // ends with "\"
};

TEST_F(PathHelpers, NormaliserRemovesQuotesSpellsNamesAsStoredMarksFoldersAndKeepsTheExistingLeadingPart) {
    const std::pair<std::string, std::string> cases[] = {
        {"  \"" + root + "My Docs\"  ", root + "My Docs\\"},
        {"\"" + root + "報告書\\議事録.txt\"", root + "報告書\\議事録.txt"},
        {"  ", ""},
        {"\"\"", ""},
        {root + "my docs\\REPORTS\\q1.TXT", root + "My Docs\\Reports\\Q1.txt"},
        {root + "My Docs\\Missing\\Reports\\Q1.txt", root + "My Docs\\"},
        {root + "My Docs\\Reports\\gone.txt", root + "My Docs\\Reports\\"},
        {"C:\\mabrel-no-such-folder-4711\\x\\", "C:\\"},
        {root + ".cache\\inside\\x.txt", root},  // a hidden folder is left out, with all below it
        // Dot names and doubled separators are resolved first: each would add its folder once more.
        {root + "My Docs\\\\Reports\\.\\Q1.txt", root + "My Docs\\Reports\\Q1.txt"},
        {root + "My Docs\\Missing\\..\\Reports\\", root + "My Docs\\Reports\\"},
        {root + "My Docs/Reports", root + "My Docs\\Reports\\"},
        {"\\\\mabrel-no-server\\share/Docs\\x", "\\\\mabrel-no-server\\share"},
        {"C:\\..\\..\\" + root.substr(3), root},
    };
    for (const auto& [typed, normal] : cases) EXPECT_EQ(normaliseLongName(*fs, typed), normal) << typed;

    // A relative name is rebuilt from the root, which the checker turns down.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path() / "My Docs");
    const std::string result = normaliseLongName(*fs, "Reports");
    std::filesystem::current_path(previous);
    EXPECT_EQ(result.rfind("\\Reports", 0), 0u) << result;
    EXPECT_FALSE(checkPath(*fs, result));
}

TEST_F(PathHelpers, CheckerSplitsUsablePathsIntoDriveFolderAndFileAndTurnsDownOthers) {
    const std::string folder = root.substr(2);  // "\tmp\...\"
    const std::pair<std::string, CheckedPath> cases[] = {
        {"C:", {"C:", "\\", ""}},
        {" C:\\ ", {"C:", "\\", ""}},
        {root + "My Docs", {"C:", folder + "My Docs\\", ""}},
        {root + "報告書\\議事録.txt", {"C:", folder + "報告書\\", "議事録.txt"}},
        {root + "My Docs\\.\\Reports\\..\\\\Reports\\\\", {"C:", folder + "My Docs\\Reports\\", ""}},
        {root + "報告書\\議事録.txt\\.", {"C:", folder + "報告書\\", "議事録.txt"}},
        {"C:\\..\\", {"C:", "\\", ""}},
        // A share root is taken without asking the disk (no such server exists).
        {"\\\\mabrel-no-server\\share\\", {"\\\\mabrel-no-server\\share", "\\", ""}},
        {"\\\\mabrel-no-server\\share", {"\\\\mabrel-no-server\\share", "\\", ""}},
    };
    for (const auto& [path, checked] : cases) EXPECT_EQ(checkPath(*fs, path), checked) << path;
    // A file with separators after it is no folder, and has no file name.
    for (const std::string& bad : {root + "Missing\\", root + "My Docs\\Reports\\gone.txt", std::string("abc"),
                                   std::string("\\Docs\\"), std::string("\\\\server"), std::string(""),
                                   root + "My Docs\\Reports\\Q1.txt\\\\", std::string("\\\\mabrel-no-server\\share\\dir\\")}) {
        EXPECT_FALSE(checkPath(*fs, bad)) << bad;
    }
}

}  // namespace
}  // namespace mabrel
