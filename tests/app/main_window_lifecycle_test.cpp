// The main window's life: start-up from the command line, the remembered
// folder or the current directory; the buttons; the two ways it ends.
#include <gtest/gtest.h>

#include "app/window_fixture.h"
#include "settings/frm_option.h"
#include "settings/settings_file.h"

#ifndef _WIN32
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "platform/posix/syscalls.h"
#endif

namespace mabrel::test {
namespace {

using Lifecycle = WindowTest;

#ifndef _WIN32
// Opening or reading the settings file fails as a flaky disk or a share
// without permission makes it fail.
namespace failing {
int error = 0;
int settingsFd = -1;
int openat(int dir, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, int) : 0;
    va_end(ap);
    const bool settings = std::strcmp(path, "mabrel9-iv.ini") == 0 && !(flags & (O_WRONLY | O_RDWR));
    if (settings && error == EACCES) {
        errno = EACCES;
        return -1;
    }
    const int fd = platform::posix::realSyscalls().openat(dir, path, flags, mode);
    if (settings) settingsFd = fd;
    return fd;
}
ssize_t read(int fd, void* buffer, size_t count) {
    if (fd == settingsFd && error == EIO) {
        errno = EIO;
        return -1;
    }
    return platform::posix::realSyscalls().read(fd, buffer, count);
}
}  // namespace failing

TEST_F(Lifecycle, ASettingsFileThatCouldNotBeReadIsNeverWrittenOver) {
    const std::string stored =
        "[mabrel9-iv]\r\nlastPath," + root + "\r\nexceptionExtList1Mode, 1 \r\nexceptionExtList1,.txt.doc.\r\n";
    for (const int error : {EACCES, EIO}) {
        SCOPED_TRACE(std::strerror(error));
        exeDir.write("mabrel9-iv.ini", stored);
        failing::error = error;
        auto& table = platform::posix::sys();
        table.openat = failing::openat;
        table.read = failing::read;
        startIn(root);
        table = platform::posix::realSyscalls();
        window().cmdExit_Click();
        EXPECT_EQ(readBytes(settingsFile()), stored);
        window().tvwFolders_NodeClick(1);  // leaving the folder writes the settings too
        EXPECT_EQ(readBytes(settingsFile()), stored);
        state = ProcessState{};
        nextRun();
    }
}
#endif

TEST_F(Lifecycle, WithoutCommandLineOrSettingsTheCurrentDirectoryIsShownWithDefaultFilters) {
    work.write("a.txt", "a");
    work.write("tool.exe", "x");
    ASSERT_TRUE(window().Form_Load());

    EXPECT_EQ(process.claims, std::vector<std::string>{"mabrel9-iv"});
    ASSERT_FALSE(ui.windowStates.empty());
    EXPECT_EQ(ui.windowStates.front(), WindowState::Maximized);
    EXPECT_EQ(state.p_driveAndPath, root);
    EXPECT_EQ(state.exceptionExtList1, settings::kDefaultExtList);
    EXPECT_EQ(state.exceptionExtList2, settings::kDefaultExtList);
    EXPECT_EQ(window().tvwFolders.node(1).text, root);
    EXPECT_GE(rowOf("a.txt"), 0);
    EXPECT_EQ(rowOf("tool.exe"), -1);  // hidden by the default display filter
    EXPECT_TRUE(ui.messages.empty());
    // Start-up reads the settings file but writes nothing.
    EXPECT_FALSE(std::filesystem::exists(settingsFile()));
}

TEST_F(Lifecycle, TheRememberedFolderIsShownWhenTheCommandLineIsEmpty) {
    work.mkdir("Remembered");
    exeDir.write("mabrel9-iv.ini", "[mabrel9-iv]\r\nlastPath," + root + "Remembered\\\r\nexceptionExtList1Mode, 1 \r\n"
                                   "exceptionExtList1,.txt.\r\n");
    ASSERT_TRUE(window().Form_Load());
    EXPECT_EQ(state.p_driveAndPath, root + "Remembered\\");
    EXPECT_EQ(state.exceptionExtList1Mode, 1);
    EXPECT_EQ(state.exceptionExtList1, ".txt.");
    EXPECT_EQ(window().lvwFiles.selectedItem, -1);
}

TEST_F(Lifecycle, AQuotedCommandLineNamingAFileShowsItsFolderWithItsRowSelected) {
    work.mkdir("Remembered");
    work.write("With Space/a.txt", "a");
    setModificationTime(work.write("With Space/b.txt", "b"), 2024, 3, 1, 9, 0, 0);
    // An earlier version of b.txt: a row of the same name that is not the file's.
    setModificationTime(work.write("With Space/_mabre-l94/b_2023-01-01 00-00-00.txt", "old"), 2023, 1, 1, 0, 0, 0);
    exeDir.write("mabrel9-iv.ini", "lastPath," + root + "Remembered\\\r\n");
    process.commandLineText = "\"" + root + "With Space\\b.txt\"";
    ASSERT_TRUE(window().Form_Load());
    EXPECT_EQ(state.p_driveAndPath, root + "With Space\\");
    const int b = rowOf("b.txt");
    ASSERT_GE(b, 0);
    EXPECT_EQ(window().lvwFiles.selectedItem, b);
    EXPECT_EQ(window().lvwFiles.selectedCount(), 1);
    EXPECT_TRUE(window().lvwFiles.rows[static_cast<std::size_t>(b)].selected);
}

TEST_F(Lifecycle, ASecondInstanceEndsHavingReadAndWrittenNothing) {
    const std::string settings = "lastPath," + root + "\r\n";
    exeDir.write("mabrel9-iv.ini", settings);
    process.anotherInstanceRuns = true;
    process.commandLineText = root;

    EXPECT_FALSE(window().Form_Load());
    EXPECT_TRUE(state.p_driveAndPath.empty());  // the settings were not read
    EXPECT_TRUE(ui.windowStates.empty());
    EXPECT_EQ(window().tvwFolders.count(), 0);
    EXPECT_EQ(readBytes(settingsFile()), settings);
    EXPECT_FALSE(std::filesystem::exists(work.path() / "_mabre.l94"));
}

TEST_F(Lifecycle, ClosingTheWindowWritesBothFilesExitAlsoEndsTheProgram) {
    work.write("a.txt", "a");
    startIn(root);
    window().txtFolderComment.text = "folder note";
    window().Form_Unload();
    EXPECT_EQ(ui.endProgramCalls, 0);
    EXPECT_EQ(settingsLine(1), "[mabrel9-iv]");
    EXPECT_EQ(settingsLine(3), "lastPath," + root);
    EXPECT_EQ(settingsLine(4), "lastAccess,2026-12-05 09:00:00");
    EXPECT_EQ(readBytes(work.path() / "_mabre.l94"), "folder note\r\n");

    process.clock = {2027, 1, 2, 3, 4, 5};
    window().txtFolderComment.text = "";
    window().cmdExit_Click();
    EXPECT_EQ(ui.endProgramCalls, 1);
    // Holding the same settings: the time of the last access alone is not written.
    EXPECT_EQ(settingsLine(4), "lastAccess,2026-12-05 09:00:00");
    EXPECT_EQ(readBytes(work.path() / "_mabre.l94"), "\r\n");
}

TEST_F(Lifecycle, SettingsGoToTheSettingsFolderMadeWhenMissingTheFileBesideTheProgramIsReadUntilThen) {
    work.mkdir("Remembered");
    work.mkdir("Elsewhere");
    const std::string beside = "lastPath," + root + "Remembered\r\nexceptionExtList1,.txt.\r\n";
    exeDir.write("mabrel9-iv.ini", beside);
    process.settingsDir = root + "config\\mabrel9-iv";  // neither folder exists
    ASSERT_TRUE(window().Form_Load());
    EXPECT_EQ(state.p_driveAndPath, root + "Remembered\\");
    EXPECT_EQ(state.exceptionExtList1, ".txt.");
    window().Form_Unload();
    const auto written = platform::splitLines(readBytes(work.path() / "config/mabrel9-iv/mabrel9-iv.ini"));
    ASSERT_EQ(written.size(), 8u);
    EXPECT_EQ(written[2], "lastPath," + root + "Remembered\\");
    EXPECT_EQ(readBytes(settingsFile()), beside);

    // From now on the program's own file: the one beside it is not read again.
    exeDir.write("mabrel9-iv.ini", "lastPath," + root + "Elsewhere\\\r\n");
    nextRun();
    ASSERT_TRUE(window().Form_Load());
    EXPECT_EQ(state.p_driveAndPath, root + "Remembered\\");
}

TEST_F(Lifecycle, AnUnwritableSettingsFileIsNotReportedAndTheCommentsAreStillSaved) {
    exeDir.mkdir("mabrel9-iv.ini");  // a folder where the file should be
    startIn(root);
    window().txtFolderComment.text = "kept";
    window().cmdExit_Click();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(readBytes(work.path() / "_mabre.l94"), "kept\r\n");
    EXPECT_EQ(ui.endProgramCalls, 1);
}

TEST_F(Lifecycle, RefreshSavesTypedCommentsFirstThenListsNewFiles) {
    setModificationTime(work.write("a.txt", "a"), 2020, 1, 2, 3, 4, 5);
    startIn(root);
    window().lvwFiles.rows.at(static_cast<std::size_t>(rowOf("a.txt"))).cells[4] = "typed";
    window().txtFolderComment.text = "folder";
    work.write("new.txt", "n");

    window().cmdUpdate_Click();
    EXPECT_GE(rowOf("new.txt"), 0);
    ASSERT_GE(rowOf("a.txt"), 0);
    EXPECT_EQ(window().lvwFiles.rows[static_cast<std::size_t>(rowOf("a.txt"))].cells[4], "typed");
    EXPECT_EQ(window().txtFolderComment.text, "folder");
    EXPECT_EQ(state.p_driveAndPath, root);
}

TEST_F(Lifecycle, HelpHandsThePageBesideTheExecutableToTheShell) {
    startIn(root);
    window().cmdHelp_Click();
    ASSERT_EQ(ui.shellRequests.size(), 1u);
    const auto& r = ui.shellRequests[0];
    EXPECT_EQ(r.owner, "frm_mabrel94");
    EXPECT_EQ(r.operation, "open");
    EXPECT_EQ(r.file, exeDir.drivePath() + "mabrel9-iv.html");
    EXPECT_EQ(r.parameters, "");
    EXPECT_EQ(r.directory, "");
    EXPECT_EQ(r.showCommand, 3);
    EXPECT_TRUE(ui.messages.empty());  // the page does not exist: not reported
}

TEST_F(Lifecycle, OptionsOkReloadsWithTheNewFilterCancelChangesNothing) {
    work.write("a.txt", "a");
    work.write("b.doc", "b");
    startIn(root);
    const int before = loads();

    ui.optionScripts.push_back([](frm_option& w) { w.Command2_Click(); });
    window().cmdOption_Click();
    ui.optionScripts.push_back([](frm_option&) {});  // closed through the title bar
    state.p_dialogResult = 3;  // left over from the context menu
    window().cmdOption_Click();
    EXPECT_EQ(loads(), before);
    EXPECT_EQ(state.exceptionExtList1, settings::kDefaultExtList);
    EXPECT_GE(rowOf("a.txt"), 0);

    ui.optionScripts.push_back([](frm_option& w) {
        w.Text1.text = "txt";
        w.Command1_Click();
    });
    window().cmdOption_Click();
    EXPECT_EQ(loads(), before + 1);
    EXPECT_EQ(rowOf("a.txt"), -1);
    EXPECT_GE(rowOf("b.doc"), 0);
    // The options reach the settings file only with its next write.
    EXPECT_FALSE(std::filesystem::exists(settingsFile()));
    EXPECT_FALSE(std::filesystem::exists(work.path() / "_mabre.l94"));
}

}  // namespace
}  // namespace mabrel::test
