// The settings file on disk: the writer's eight lines byte for byte, and the
// reader's leniency towards hand-edited files.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/errors.h"
#include "platform/native.h"
#include "settings/settings_file.h"
#include "support/fault_injection.h"
#include "support/temp_dir.h"

namespace mabrel::settings {
namespace {

class SettingsFile : public ::testing::Test {
protected:
    // Reads a file made of these lines (CR LF ends) into a fresh state.
    ProcessState readLines(const std::string& text, bool* complete = nullptr) {
        dir.write("mabrel9-iv.ini", text);
        ProcessState state;
        const bool ok = readSettings(*folder, *codec, name, state);
        if (complete) *complete = ok;
        return state;
    }
    std::string version() const {
        return " " + std::to_string(MABREL_VERSION_MAJOR) + " . " + std::to_string(MABREL_VERSION_MINOR) + " . " +
               std::to_string(MABREL_VERSION_REVISION) + " ";
    }

    std::unique_ptr<platform::FileSystem> fs = platform::makeNativeFileSystem();
    std::unique_ptr<platform::Codec> codec = platform::makeNativeCodec();
    test::TempDir dir;
    const std::unique_ptr<platform::Directory> folder = fs->openDirectory(dir.drivePath());
    const std::string name = settingsFileName("mabrel9-iv");
};

TEST_F(SettingsFile, MissingFileGivesDefaultsAndTheWriterThenCreatesAllEightLines) {
    ProcessState state;
    EXPECT_FALSE(readSettings(*folder, *codec, name, state));
    EXPECT_EQ(state.p_driveAndPath, "");
    EXPECT_EQ(state.exceptionExtList1, kDefaultExtList);
    EXPECT_EQ(state.exceptionExtList2, kDefaultExtList);
    EXPECT_EQ(state.exceptionExtList1Mode, 0);

    state.p_driveAndPath = "C:\\Docs\\";
    state.exceptionExtList2Mode = -3;
    ASSERT_TRUE(writeSettings(*folder, *codec, name, state, "mabrel9-iv", {2026, 12, 5, 9, 0, 0}));
    EXPECT_EQ(test::readBytes(dir.path() / "mabrel9-iv.ini"),
              "[mabrel9-iv]\r\n"
              "version," + version() + "\r\n"
              "lastPath,C:\\Docs\\\r\n"
              "lastAccess,2026-12-05 09:00:00\r\n"
              "exceptionExtList1Mode, 0 \r\n"
              "exceptionExtList1,.bin.com.dic.dll.exe.fon.fnt.ocx.sys.vxd.\r\n"
              "exceptionExtList2Mode,-3 \r\n"
              "exceptionExtList2,.bin.com.dic.dll.exe.fon.fnt.ocx.sys.vxd.\r\n");
}

TEST_F(SettingsFile, WhatTheWriterWritesReadsBackWholeEvenAPathWithCommas) {
    ProcessState state;
    state.p_driveAndPath = "C:\\Work, 2024\\" + std::string(80, 'd') + "\\資料\\";
    state.exceptionExtList1Mode = 1;
    state.exceptionExtList1 = ".txt.doc.";
    state.exceptionExtList2Mode = 32767;
    state.exceptionExtList2 = ".EXE.テキスト.";
    ASSERT_TRUE(writeSettings(*folder, *codec, name, state, "mabrel9-iv", {2001, 2, 3, 4, 5, 6}));

    ProcessState back;
    EXPECT_TRUE(readSettings(*folder, *codec, name, back));
    EXPECT_EQ(back.p_driveAndPath, state.p_driveAndPath);
    EXPECT_EQ(back.exceptionExtList1Mode, 1);
    EXPECT_EQ(back.exceptionExtList1, state.exceptionExtList1);
    EXPECT_EQ(back.exceptionExtList2Mode, 32767);
    EXPECT_EQ(back.exceptionExtList2, state.exceptionExtList2);
}

TEST_F(SettingsFile, ReaderIsLenientAboutCaseSpacesOrderUnknownLinesAndBlankValues) {
    const auto s = readLines(
        "exceptionExtList2,.t xt\r\n"
        "something else\r\n"
        " LASTPATH , C:\\Docs\\ \r\n"
        "ExceptionExtList1MODE, 1 \r\n"
        "exceptionExtList1,txt.DOC\n"
        "exceptionExtList2Mode,abc");
    EXPECT_EQ(s.p_driveAndPath, "C:\\Docs\\");
    EXPECT_EQ(s.exceptionExtList1Mode, 1);
    EXPECT_EQ(s.exceptionExtList1, ".txt.DOC.");
    EXPECT_EQ(s.exceptionExtList2Mode, 0);
    EXPECT_EQ(s.exceptionExtList2, ".txt.");

    // List values end at the second comma; blank values give the defaults.
    const auto blank = readLines("exceptionExtList1,.txt,.doc,\r\nexceptionExtList2,\r\nlastPath,   \r\n");
    EXPECT_EQ(blank.exceptionExtList1, ".txt.");
    EXPECT_EQ(blank.exceptionExtList2, kDefaultExtList);
    EXPECT_EQ(blank.p_driveAndPath, "");
}

TEST_F(SettingsFile, ModeValuesRoundHalfToEven) {
    const std::pair<std::string, int> cases[] = {
        {"1.5", 2}, {"2.5", 2}, {"2.51", 3}, {" - 0.5", 0}, {"-1.5", -2}, {"7x9", 7},
        {"", 0},    {"+12", 12}, {"-32768", -32768}, {"32767.4", 32767}, {".", 0},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(readLines("exceptionExtList1Mode," + value + "\r\n").exceptionExtList1Mode, expected) << value;
    }
}

TEST_F(SettingsFile, AModeOutsideSixteenBitsStopsReadingButKeepsWhatWasRead) {
    for (const std::string bad : {"32767.5", "40000", "-32769", "99999999999999999999"}) {
        bool complete = true;
        const auto s = readLines("lastPath,C:\\A\\\r\nexceptionExtList2Mode,3\r\nexceptionExtList1Mode," + bad +
                                     "\r\nlastPath,C:\\B\\\r\nexceptionExtList1,.txt.\r\n",
                                 &complete);
        EXPECT_FALSE(complete) << bad;
        EXPECT_EQ(s.p_driveAndPath, "C:\\A\\") << bad;
        EXPECT_EQ(s.exceptionExtList2Mode, 3) << bad;
        EXPECT_EQ(s.exceptionExtList1, kDefaultExtList) << bad;
    }
}

TEST_F(SettingsFile, AnEmptyLineTakesItsKeyFromTheLineBefore) {
    // The empty line hands out "exceptionExtList1Mode" as its key and "1" as its value.
    bool complete = false;
    const auto s = readLines("x,exceptionExtList1Mode,1\r\n\r\nversion, 4 . 0 . 9 \r\n\r\nlastPath,C:\\D\\\r\n",
                             &complete);
    EXPECT_TRUE(complete);
    EXPECT_EQ(s.exceptionExtList1Mode, 1);
    EXPECT_EQ(s.p_driveAndPath, "C:\\D\\");

    // A lastPath taken from the fields left over (the first one empty) is
    // what the writer's own line then gives back.
    const auto left = readLines("x,lastPath, , C:\\D\\\r\n\r\n");
    EXPECT_EQ(left.p_driveAndPath, ",C:\\D\\");
    ASSERT_TRUE(writeSettings(*folder, *codec, name, left, "mabrel9-iv", {2001, 2, 3, 4, 5, 6}));
    ProcessState back;
    EXPECT_TRUE(readSettings(*folder, *codec, name, back));
    EXPECT_EQ(back.p_driveAndPath, left.p_driveAndPath);
}

TEST_F(SettingsFile, ShiftJisFileFromAnotherToolReadsBackAsJapanese) {
#ifdef _WIN32
    GTEST_SKIP() << "needs the iconv command of a POSIX system; CodePage932 tests cover Windows";
#endif
    const std::string utf8 = "lastPath,C:\\資料\\報告書\\\r\nexceptionExtList1,.テキスト.\r\n";
    dir.write("utf8.txt", utf8);
    const std::string command = "iconv -f UTF-8 -t CP932 '" + (dir.path() / "utf8.txt").string() + "' > '" +
                                (dir.path() / "mabrel9-iv.ini").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_NE(test::readBytes(dir.path() / "mabrel9-iv.ini"), utf8);  // really converted

    ProcessState s;
    EXPECT_TRUE(readSettings(*folder, *codec, name, s));
    EXPECT_EQ(s.p_driveAndPath, "C:\\資料\\報告書\\");
    EXPECT_EQ(s.exceptionExtList1, ".テキスト.");

    // And the writer puts it down in the same code page.
    ASSERT_TRUE(writeSettings(*folder, *codec, name, s, "mabrel9-iv", {2026, 1, 1, 0, 0, 0}));
    const std::string written = test::readBytes(dir.path() / "mabrel9-iv.ini");
    EXPECT_NE(written.find("lastPath,C:\\\x8e\x91\x97\xbf\\"), std::string::npos);
}

// Written by hand in UTF-8 without a mark: read as UTF-8, though its bytes
// are code page 932 too; then written once, in one encoding, and not again
// while it holds the same (the time of the last access aside).
TEST_F(SettingsFile, AUtf8FileIsReadAsUtf8AndAFileHoldingTheSameIsNotWrittenAgain) {
    const auto s = readLines("lastPath,C:\\\xE3\x83\xA1\xE3\x83\xA2\\\r\n");
    EXPECT_EQ(s.p_driveAndPath, "C:\\メモ\\");
    ASSERT_TRUE(writeSettings(*folder, *codec, name, s, "mabrel9-iv", {2026, 1, 1, 0, 0, 0}));
    const auto file = dir.path() / "mabrel9-iv.ini";
    const std::string written = test::readBytes(file);
    EXPECT_NE(written.find("lastPath,C:\\\x83\x81\x83\x82\\\r\n"), std::string::npos);

    const auto time = std::filesystem::last_write_time(file);
    ASSERT_TRUE(writeSettings(*folder, *codec, name, s, "mabrel9-iv", {2026, 2, 2, 0, 0, 0}));
    EXPECT_EQ(test::readBytes(file), written);
    EXPECT_EQ(std::filesystem::last_write_time(file), time);

    ProcessState changed = s;
    changed.exceptionExtList1Mode = 1;
    ASSERT_TRUE(writeSettings(*folder, *codec, name, changed, "mabrel9-iv", {2026, 3, 3, 0, 0, 0}));
    EXPECT_NE(test::readBytes(file).find("lastAccess,2026-03-03 00:00:00\r\nexceptionExtList1Mode, 1 \r\n"),
              std::string::npos);
}

// A file that is there but cannot be read (another account's, a share gone
// for a moment) is kept as it is: what it holds is not known.
TEST_F(SettingsFile, AFileThatCannotBeReadIsNotWrittenOver) {
    dir.write("mabrel9-iv.ini", "lastPath,C:\\Kept\\\r\n");
    platform::FaultInjectingFileSystem faulty(*fs);
    faulty.failCallsOn(platform::FsOp::ReadFile, "mabrel9-iv.ini", platform::err::PermissionDenied);
    const auto unreadable = faulty.openDirectory(dir.drivePath());
    ProcessState state;
    state.p_driveAndPath = "C:\\Other\\";
    EXPECT_FALSE(writeSettings(*unreadable, *codec, name, state, "mabrel9-iv", {2026, 1, 1, 0, 0, 0}));
    EXPECT_EQ(test::readBytes(dir.path() / "mabrel9-iv.ini"), "lastPath,C:\\Kept\\\r\n");
}

}  // namespace
}  // namespace mabrel::settings
