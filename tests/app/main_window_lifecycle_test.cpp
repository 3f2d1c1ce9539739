// The main window's life: start-up, the settings, the options and the two
// ways it ends.
#include <gtest/gtest.h>

#include "app/window_fixture.h"
#include "settings/frm_option.h"
#include "settings/settings_file.h"

namespace mabrel::test {
namespace {

using Lifecycle = WindowTest;

// Which folder is chosen is the start folder test's; here the window reads
// the settings first (the filter shows only listed types), shows that folder
// maximised with the file's row (not its earlier version's) selected, and
// writes nothing.
TEST_F(Lifecycle, StartsOnTheFolderOfTheCommandLineWithItsFileSelectedAfterReadingTheSettings) {
    file("With Space/b.txt", "b", 2024, 3, 1, 9, 0, 0);
    work.write("With Space/c.doc", "not listed in the remembered filter");
    file("With Space/_mabre-l94/b_2023-01-01 00-00-00.txt", "old", 2023, 1, 1, 0, 0, 0);
    const std::string remembered = "[mabrel9-iv]\r\nlastPath," + root + "\r\nexceptionExtList1Mode, 1 \r\n"
                                   "exceptionExtList1,.txt.\r\n";
    exeDir.write("mabrel9-iv.ini", remembered);
    process.commandLineText = "\"" + root + "With Space\\b.txt\"";
    ASSERT_TRUE(window().Form_Load());
    EXPECT_EQ(ui.windowStates.front(), WindowState::Maximized);
    EXPECT_EQ(window().tvwFolders.node(1).text, root + "With Space\\");
    EXPECT_EQ(std::make_pair(state.exceptionExtList1Mode, state.exceptionExtList1),
              std::make_pair(std::int16_t{1}, std::string(".txt.")));
    EXPECT_EQ(rowOf("c.doc"), -1);
    const int selected = window().lvwFiles.selectedItem;
    ASSERT_GE(selected, 0);
    EXPECT_EQ(selected, rowOf("b.txt"));
    EXPECT_TRUE(window().lvwFiles.rows[static_cast<std::size_t>(selected)].selected);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(process.claims, std::vector<std::string>{"mabrel9-iv"});
    EXPECT_EQ(readBytes(settingsFile()), remembered);
}

TEST_F(Lifecycle, ClosingTheWindowWritesBothFilesExitAlsoEndsTheProgramAndAnUnwritableSettingsFileIsNotReported) {
    work.write("a.txt", "a");
    startIn(root);
    window().txtFolderComment.text = "folder note";
    window().Form_Unload();
    EXPECT_EQ(ui.endProgramCalls, 0);
    EXPECT_EQ(settingsLine(1), "[mabrel9-iv]");
    EXPECT_EQ(settingsLine(3), "lastPath," + root);
    EXPECT_EQ(settingsLine(4), "lastAccess,2026-12-05 09:00:00");
    EXPECT_EQ(commentBytes(), "folder note\r\n");

    window().txtFolderComment.text = "";
    window().cmdExit_Click();
    EXPECT_EQ(ui.endProgramCalls, 1);
    EXPECT_EQ(commentBytes(), "\r\n");

    // A settings file that cannot be written is not reported; the comments are still saved.
    std::filesystem::remove(settingsFile());
    exeDir.mkdir("mabrel9-iv.ini");
    window().txtFolderComment.text = "kept";
    window().cmdExit_Click();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(commentBytes(), "kept\r\n");
}

TEST_F(Lifecycle, SettingsGoToTheSettingsFolderMadeWhenMissingTheFileBesideTheProgramIsReadUntilThen) {
    work.mkdir("Remembered");
    work.mkdir("Elsewhere");
    const std::string beside = "lastPath," + root + "Remembered\r\nexceptionExtList1,.txt.\r\n";
    exeDir.write("mabrel9-iv.ini", beside);
    process.settingsDir = root + "config\\mabrel9-iv";  // neither folder exists
    ASSERT_TRUE(window().Form_Load());
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
    window().Form_Unload();
    EXPECT_EQ(settingsLine(6), "exceptionExtList1,.txt.");
}

}  // namespace
}  // namespace mabrel::test
