// The options window and the drive chooser of the real program under Wine,
// and what the ways it ends leave on disk: the settings file beside the
// program and the comment file in the folder.
#include "support/fixture.h"

namespace mabrel::win32gui::test {
namespace {

class SettingsAndDrivesTest : public FrontEndTest {
protected:
    HWND openDrives() const {
        click(centre(screenRect(control(ids::lblFolderList))));
        return waitWindow(ids::kModalWindowClass);
    }
    // The settings file beside the program, written on the folder left (what else it holds is the core's).
    void expectSettings(const fs::path& lastPath) const {
        const std::string bytes = mabrel::test::readBytes(settingsFile());
        EXPECT_NE(bytes.find("\r\nlastPath," + ansi(folderForm(lastPath)) + "\r\n"), std::string::npos) << bytes;
    }
};

TEST_F(SettingsAndDrivesTest, TheOptionsWindowSetsTheDisplayFilterAndClosingWritesSettingsAndAnyLongComment) {
    // Longer than an edit box takes by default (32,767 characters).
    std::wstring longComment;
    for (int i = 0; i < 4000; ++i) longComment += L"長い注記 " + std::to_wstring(100000 + i).substr(1);
    comments({longComment});
    for (const wchar_t* name : {L"a.txt", L"b.doc", L"noext", L"tool.exe"}) file(name, "MZ");
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(names(), (std::vector<std::wstring>{L"a.txt", L"b.doc"}));

    // OK: only .txt files (and names without a dot) are shown.
    press(main(), ids::cmdOption);
    const HWND options = waitWindow(ids::kModalWindowClass);
    ASSERT_TRUE(options) << "no options window";
    EXPECT_EQ(GetWindow(options, GW_OWNER), main());
    ASSERT_NO_FATAL_FAILURE(press(options, ids::optionOption1));
    EXPECT_TRUE(waitUntil([&] { return isChecked(findControl(options, ids::optionOption1)); }));
    setText(findControl(options, ids::optionText1), L" txt, ");
    ASSERT_NO_FATAL_FAILURE(press(options, ids::optionCommand1));
    ASSERT_TRUE(waitGone(options));
    EXPECT_TRUE(waitUntil([&] { return names() == std::vector<std::wstring>{L"a.txt", L"noext"}; }))
        << "the list was not reloaded with the new filter";

    // A character typed at the end of the long folder comment, then closed
    // through the title bar's way: settings and the whole comment written.
    const HWND comment = control(ids::txtFolderComment);
    EXPECT_EQ(send(comment, WM_GETTEXTLENGTH).value_or(0), 40000);
    click(centre(screenRect(comment)));
    pressKey(VK_END);
    pressKey('7');
    EXPECT_TRUE(waitUntil([&] { return send(comment, WM_GETTEXTLENGTH).value_or(0) == 40001; }))
        << "the character was not taken";
    EXPECT_FALSE(fs::exists(settingsFile()));
    PostMessageW(main(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(waitExit()) << "the program did not end after WM_CLOSE";
    expectSettings(folder);
    EXPECT_TRUE(mabrel::test::readBytes(folder / L"_mabre.l94") == ansi(longComment + L"7") + "\r\n")
        << "the comment file does not hold the whole comment as typed";
}

TEST_F(SettingsAndDrivesTest, ASecondInstanceEndsTheDriveChooserPassesOnClicksTypingAndEscapeAndLogOffWritesAll) {
    fs::create_directories(folder / L"下位");
    file(L"下位\\inner.txt", "i");
    ASSERT_NO_FATAL_FAILURE(start());

    // A second instance ends at once, having written nothing (looked at below).
    const PROCESS_INFORMATION second = launch(L"");
    const bool ended = WaitForSingleObject(second.hProcess, 20000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(second.hProcess, 1);
    CloseHandle(second.hProcess);
    CloseHandle(second.hThread);
    EXPECT_TRUE(ended) << "a second instance kept running";

    // Escape after a drive was clicked: nothing saved, nothing reloaded.
    HWND drives = openDrives();
    ASSERT_TRUE(drives) << "no drive chooser";
    EXPECT_EQ(GetWindow(drives, GW_OWNER), main());
    EXPECT_EQ(textOf(findControl(drives, ids::driveText1)), folderForm(folder));
    EXPECT_EQ(focusOf(drives), findControl(drives, ids::driveText1));
    ASSERT_NO_FATAL_FAILURE(press(drives, ids::driveOption1 + 26));
    EXPECT_TRUE(waitUntil([&] { return isChecked(findControl(drives, ids::driveOption1 + 26)); }));
    pressKey(VK_ESCAPE);
    ASSERT_TRUE(waitGone(drives)) << "Escape did not close the chooser";
    Sleep(300);
    EXPECT_EQ(textOf(main()), captionFor(folder));
    EXPECT_FALSE(fs::exists(settingsFile()));

    // A path typed, then OK: there.
    drives = openDrives();
    ASSERT_TRUE(drives);
    setText(findControl(drives, ids::driveText1), (folder / L"下位").wstring());
    ASSERT_NO_FATAL_FAILURE(press(drives, ids::driveCommand1));
    EXPECT_TRUE(waitUntil([&] { return textOf(main()) == captionFor(folder / L"下位"); })) << "not moved to the typed folder";
    EXPECT_TRUE(waitUntil([&] { return names() == std::vector<std::wstring>{L"inner.txt"}; }));

    // Log-off ends the program, writing the settings and the typed comment.
    setText(control(ids::txtFolderComment), L"ログオフ前のメモ");
    EXPECT_EQ(send(main(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF).value_or(0), TRUE);
    send(main(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    ASSERT_TRUE(waitExit()) << "the program did not end at log-off";
    expectSettings(folder / L"下位");
    EXPECT_EQ(mabrel::test::readBytes(folder / L"下位" / L"_mabre.l94"), ansi(L"ログオフ前のメモ") + "\r\n");
}

}  // namespace
}  // namespace mabrel::win32gui::test
