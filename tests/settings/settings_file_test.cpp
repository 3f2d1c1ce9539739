// The settings file on disk: the writer's eight lines byte for byte, and the
// reader's leniency towards hand-edited files.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/errors.h"
#include "platform/native.h"
#include "settings/settings_file.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

namespace mabrel::settings {
namespace {

class SettingsFile : public ::testing::Test {
protected:
    // Reads a file made of this text into a fresh state.
    ProcessState readText(const std::string& text, bool* complete = nullptr) {
        dir.write("mabrel9-iv.ini", text);
        return read(complete);
    }
    ProcessState read(bool* complete = nullptr) {
        ProcessState state;
        const bool ok = readSettings(*folder, *codec, name, state);
        if (complete) *complete = ok;
        return state;
    }
    bool write(const ProcessState& state, const platform::LocalTime& at = {2026, 12, 5, 9, 0, 0}) {
        return writeSettings(*folder, *codec, name, state, "mabrel9-iv", at);
    }
    std::string written() const { return test::readBytes(dir.path() / "mabrel9-iv.ini"); }
    static auto fields(const ProcessState& s) {
        return std::make_tuple(s.p_driveAndPath, s.exceptionExtList1Mode, s.exceptionExtList1, s.exceptionExtList2Mode, s.exceptionExtList2);
    }

    std::unique_ptr<platform::FileSystem> fs = platform::makeNativeFileSystem();
    std::unique_ptr<platform::Codec> codec = platform::makeNativeCodec();
    test::TempDir dir;
    const std::unique_ptr<platform::Directory> folder = fs->openDirectory(dir.drivePath());
    const std::string name = settingsFileName("mabrel9-iv");
};

TEST_F(SettingsFile, MissingFileGivesDefaultsAndTheWriterThenCreatesAllEightLinesThatReadBackWhole) {
    bool complete = true;
    ProcessState state = read(&complete);
    EXPECT_FALSE(complete);
    EXPECT_EQ(state.p_driveAndPath, "");
    EXPECT_EQ(state.exceptionExtList1, kDefaultExtList);
    EXPECT_EQ(state.exceptionExtList2, kDefaultExtList);

    state.p_driveAndPath = "C:\\Docs\\";
    state.exceptionExtList2Mode = -3;
    ASSERT_TRUE(write(state));
    const std::string version = " " + std::to_string(MABREL_VERSION_MAJOR) + " . " + std::to_string(MABREL_VERSION_MINOR) +
                                " . " + std::to_string(MABREL_VERSION_REVISION) + " ";
    EXPECT_EQ(written(), "[mabrel9-iv]\r\nversion," + version + "\r\nlastPath,C:\\Docs\\\r\nlastAccess,2026-12-05 09:00:00\r\n"
                         "exceptionExtList1Mode, 0 \r\nexceptionExtList1,.bin.com.dic.dll.exe.fon.fnt.ocx.sys.vxd.\r\n"
                         "exceptionExtList2Mode,-3 \r\nexceptionExtList2,.bin.com.dic.dll.exe.fon.fnt.ocx.sys.vxd.\r\n");

    // Even a path with commas, and a lastPath taken from the fields left over
    // (the first one empty), is what the writer's own line gives back.
    state.exceptionExtList1Mode = 1;
    state.exceptionExtList1 = ".txt.doc.";
    state.exceptionExtList2Mode = 32767;
    state.exceptionExtList2 = ".EXE.テキスト.";
    for (const std::string& path : {"C:\\Work, 2024\\" + std::string(80, 'd') + "\\資料\\", readText("x,lastPath, , C:\\D\\\r\n\r\n").p_driveAndPath}) {
        state.p_driveAndPath = path;
        ASSERT_TRUE(write(state));
        const ProcessState back = read(&complete);
        EXPECT_TRUE(complete);
        EXPECT_EQ(fields(back), fields(state));
    }
    EXPECT_EQ(state.p_driveAndPath, ",C:\\D\\");
}

TEST_F(SettingsFile, ReaderIsLenientAboutCaseSpacesOrderUnknownLinesAndBlankValues) {
    const struct {
        std::string text, path, list1, list2;
        std::int16_t mode1, mode2;
    } cases[] = {
        {"exceptionExtList2,.t xt\r\nsomething else\r\n LASTPATH , C:\\Docs\\ \r\nExceptionExtList1MODE, 1 \r\n"
         "exceptionExtList1,txt.DOC\nexceptionExtList2Mode,abc",
         "C:\\Docs\\", ".txt.DOC.", ".txt.", 1, 0},
        // List values end at the second comma; blank values give the defaults.
        {"exceptionExtList1,.txt,.doc,\r\nexceptionExtList2,\r\nlastPath,   \r\n", "", ".txt.", kDefaultExtList, 0, 0},
        // An empty line takes its key ("exceptionExtList1Mode") and value from the line before.
        {"x,exceptionExtList1Mode,1\r\n\r\nversion, 4 . 0 . 9 \r\n\r\nlastPath,C:\\D\\\r\n", "C:\\D\\", kDefaultExtList,
         kDefaultExtList, 1, 0},
    };
    for (const auto& c : cases) {
        bool complete = false;
        const auto s = readText(c.text, &complete);
        EXPECT_TRUE(complete);
        EXPECT_EQ(fields(s), std::make_tuple(c.path, c.mode1, c.list1, c.mode2, c.list2));
    }
}

TEST_F(SettingsFile, ModeValuesRoundHalfToEvenAndOneOutsideSixteenBitsStopsReadingButKeepsWhatWasRead) {
    const std::pair<std::string, int> cases[] = {
        {"1.5", 2}, {"2.5", 2}, {"2.51", 3}, {" - 0.5", 0}, {"-1.5", -2}, {"7x9", 7},
        {"", 0},    {"+12", 12}, {"-32768", -32768}, {"32767.4", 32767}, {".", 0},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(readText("exceptionExtList1Mode," + value + "\r\n").exceptionExtList1Mode, expected) << value;
    }
    for (const std::string bad : {"32767.5", "40000", "-32769", "99999999999999999999"}) {
        bool complete = true;
        const auto s = readText("lastPath,C:\\A\\\r\nexceptionExtList2Mode,3\r\nexceptionExtList1Mode," + bad +
                                    "\r\nlastPath,C:\\B\\\r\nexceptionExtList1,.txt.\r\n",
                                &complete);
        EXPECT_FALSE(complete) << bad;
        EXPECT_EQ(s.p_driveAndPath, "C:\\A\\") << bad;
        EXPECT_EQ(s.exceptionExtList2Mode, 3) << bad;
        EXPECT_EQ(s.exceptionExtList1, kDefaultExtList) << bad;
    }
}

// Written by hand in UTF-8 without a mark: read as UTF-8, though its bytes
// are code page 932 too; then written once, in one encoding, and not again
// while it holds the same (the time of the last access aside).
TEST_F(SettingsFile, AUtf8FileIsReadAsUtf8AndAFileHoldingTheSameIsNotWrittenAgain) {
    ProcessState s = readText("lastPath,C:\\\xE3\x83\xA1\xE3\x83\xA2\\\r\n");
    EXPECT_EQ(s.p_driveAndPath, "C:\\メモ\\");
    ASSERT_TRUE(write(s, {2026, 1, 1, 0, 0, 0}));
    const std::string first = written();
    EXPECT_NE(first.find("lastPath,C:\\\x83\x81\x83\x82\\\r\n"), std::string::npos);
    const auto time = std::filesystem::last_write_time(dir.path() / "mabrel9-iv.ini");
    ASSERT_TRUE(write(s, {2026, 2, 2, 0, 0, 0}));
    EXPECT_EQ(written(), first);
    EXPECT_EQ(std::filesystem::last_write_time(dir.path() / "mabrel9-iv.ini"), time);

    s.exceptionExtList1Mode = 1;
    ASSERT_TRUE(write(s, {2026, 3, 3, 0, 0, 0}));
    EXPECT_NE(written().find("lastAccess,2026-03-03 00:00:00\r\nexceptionExtList1Mode, 1 \r\n"), std::string::npos);
}

// A file that is there but cannot be read (another account's, a share gone
// for a moment) is kept as it is: what it holds is not known.
TEST_F(SettingsFile, AFileThatCannotBeReadIsNotWrittenOver) {
    dir.write("mabrel9-iv.ini", "lastPath,C:\\Kept\\\r\n");
    platform::FaultInjectingFileSystem faulty(*fs);
    faulty.failCallsOn(platform::FsOp::ReadFile, "mabrel9-iv.ini", platform::err::PermissionDenied);
    ProcessState state;
    state.p_driveAndPath = "C:\\Other\\";
    EXPECT_FALSE(writeSettings(*faulty.openDirectory(dir.drivePath()), *codec, name, state, "mabrel9-iv", {2026, 1, 1, 0, 0, 0}));
    EXPECT_EQ(written(), "lastPath,C:\\Kept\\\r\n");
}

}  // namespace
}  // namespace mabrel::settings
