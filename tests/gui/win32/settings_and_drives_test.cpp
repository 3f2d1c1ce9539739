// The options window and the drive chooser of the real program under Wine,
// and what the ways it ends leave on disk: the settings file beside the
// program and the comment file in the folder.
#include <windows.h>

#include <fstream>

#include "support/fixture.h"
#include "support/input.h"

namespace mabrel::win32gui::test {
namespace {

namespace fs = std::filesystem;

const std::string kDefaultList = ".bin.com.dic.dll.exe.fon.fnt.ocx.sys.vxd.";

class SettingsAndDrivesTest : public FrontEndTest {
protected:
    HWND in(HWND window, int id) const {
        const HWND c = findControl(window, id);
        EXPECT_TRUE(c) << "no control " << id;
        return c;
    }
    HWND openOptions() const {
        press(app.main(), ids::cmdOption);
        return app.waitWindow(ids::kModalWindowClass);
    }
    HWND openDrives() const {
        click(centre(screenRect(app.control(ids::lblFolderList))));
        return app.waitWindow(ids::kModalWindowClass);
    }
    std::wstring root() const { return readTree(app.control(ids::tvwFolders)).text; }

    // The settings file beside the program: written, on the folder left,
    // with the display filter's mode.
    void expectSettings(const fs::path& lastPath, const std::string& list1Mode) const {
        ASSERT_TRUE(fs::exists(app.settingsFile()));
        const std::string bytes = mabrel::test::readBytes(app.settingsFile());
        EXPECT_NE(bytes.find("\r\nlastPath," + ansi(folderForm(lastPath)) + "\r\n"), std::string::npos) << bytes;
        EXPECT_NE(bytes.find("\r\nexceptionExtList1Mode," + list1Mode + "\r\n"), std::string::npos) << bytes;
    }
};

TEST_F(SettingsAndDrivesTest, TheOptionsWindowSetsTheDisplayFilterAndClosingWritesSettingsAndAnyLongComment) {
    // Longer than an edit box takes by default (32,767 characters).
    std::wstring longComment;
    for (int i = 0; i < 4000; ++i) longComment += L"長い注記 " + std::to_wstring(100000 + i).substr(1);
    ASSERT_EQ(longComment.size(), 40000u);
    comments({longComment});
    file(L"a.txt", "a", 2024, 1, 1, 0, 0, 0);
    file(L"b.doc", "b", 2024, 1, 1, 0, 0, 0);
    file(L"noext", "n", 2024, 1, 1, 0, 0, 0);
    file(L"tool.exe", "MZ", 2024, 1, 1, 0, 0, 0);
    ASSERT_NO_FATAL_FAILURE(start());
    const std::vector<std::wstring> before{L"a.txt", L"b.doc"};
    ASSERT_EQ(names(), before);

    HWND options = openOptions();
    ASSERT_TRUE(options) << "no options window";
    EXPECT_EQ(textOf(options), L" オプション");
    EXPECT_EQ(GetWindow(options, GW_OWNER), app.main());
    // The defaults: the lower option of each frame, the default list in both.
    auto expectDefaults = [&](HWND w) {
        EXPECT_FALSE(isChecked(in(w, ids::optionOption1)));
        EXPECT_TRUE(isChecked(in(w, ids::optionOption1 + 1)));
        EXPECT_FALSE(isChecked(in(w, ids::optionOption2)));
        EXPECT_TRUE(isChecked(in(w, ids::optionOption2 + 1)));
        EXPECT_EQ(textOf(in(w, ids::optionText1)), fromAnsi(kDefaultList));
        EXPECT_EQ(textOf(in(w, ids::optionText2)), fromAnsi(kDefaultList));
    };
    expectDefaults(options);

    // Cancel after changes: nothing kept, no reload.
    ASSERT_NO_FATAL_FAILURE(press(options, ids::optionOption1));
    setText(in(options, ids::optionText1), L"xyz");
    ASSERT_NO_FATAL_FAILURE(press(options, ids::optionCommand2));
    ASSERT_TRUE(waitGone(options));
    EXPECT_EQ(names(), before);

    // OK: only .txt files (and names without a dot) are shown.
    options = openOptions();
    ASSERT_TRUE(options);
    expectDefaults(options);
    ASSERT_NO_FATAL_FAILURE(press(options, ids::optionOption1));
    EXPECT_TRUE(waitUntil([&] { return isChecked(in(options, ids::optionOption1)); }, 2000));
    EXPECT_FALSE(isChecked(in(options, ids::optionOption1 + 1)));
    setText(in(options, ids::optionText1), L" txt, ");
    ASSERT_NO_FATAL_FAILURE(press(options, ids::optionCommand1));
    ASSERT_TRUE(waitGone(options));
    EXPECT_TRUE(waitUntil([&] { return names() == std::vector<std::wstring>{L"a.txt", L"noext"}; }))
        << "the list was not reloaded with the new filter";

    // A character typed at the end of the long folder comment, then closed
    // through the title bar's way: settings and the whole comment written.
    const HWND comment = app.control(ids::txtFolderComment);
    EXPECT_EQ(send(comment, WM_GETTEXTLENGTH).value_or(0), 40000);
    click(centre(screenRect(comment)));
    pressKey(VK_END);
    pressKey('7');
    EXPECT_TRUE(waitUntil([&] { return send(comment, WM_GETTEXTLENGTH).value_or(0) == 40001; }, 3000))
        << "the character was not taken";
    EXPECT_FALSE(fs::exists(app.settingsFile()));
    PostMessageW(app.main(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(app.waitExit()) << "the program did not end after WM_CLOSE";
    ASSERT_NO_FATAL_FAILURE(expectSettings(folder, " 1 "));
    EXPECT_TRUE(mabrel::test::readBytes(commentFile()) == ansi(longComment + L"7") + "\r\n")
        << "the comment file does not hold the whole comment as typed";
}

TEST_F(SettingsAndDrivesTest, TheDriveChooserPassesOnClicksTypingAndEscapeAndLogOffWritesSettingsAndComments) {
    file(L"a.txt", "a", 2024, 1, 1, 0, 0, 0);
    fs::create_directories(folder / L"下位");
    std::ofstream(folder / L"下位" / L"inner.txt") << "i";
    ASSERT_NO_FATAL_FAILURE(start());

    HWND drives = openDrives();
    ASSERT_TRUE(drives) << "no drive chooser";
    EXPECT_EQ(textOf(drives), L" ドライブリスト");
    EXPECT_EQ(GetWindow(drives, GW_OWNER), app.main());
    EXPECT_EQ(textOf(in(drives, ids::driveText1)), folderForm(folder));
    EXPECT_EQ(focusOf(drives), in(drives, ids::driveText1));
    EXPECT_TRUE(isChecked(in(drives, ids::driveOption1)));
    // Each drive by its letter and type; those that are none cannot be chosen.
    for (int i = 1; i <= 26; ++i) {
        const std::wstring label = textOf(in(drives, ids::driveOption1 + i));
        EXPECT_EQ(label.substr(0, 4), std::wstring(1, static_cast<wchar_t>(L'A' + i - 1)) + L":\\ ") << i;
        EXPECT_EQ(IsWindowEnabled(in(drives, ids::driveOption1 + i)) != 0, !label.ends_with(L"(N/A)")) << i;
    }
    EXPECT_EQ(textOf(in(drives, ids::driveOption1 + 3)), L"C:\\ (HDD)");

    // Cancel, and Escape after a drive was clicked: nothing saved, nothing
    // reloaded.
    ASSERT_NO_FATAL_FAILURE(press(drives, ids::driveCommand2));
    ASSERT_TRUE(waitGone(drives));
    drives = openDrives();
    ASSERT_TRUE(drives);
    ASSERT_NO_FATAL_FAILURE(press(drives, ids::driveOption1 + 26));
    EXPECT_TRUE(waitUntil([&] { return isChecked(in(drives, ids::driveOption1 + 26)); }, 2000));
    pressKey(VK_ESCAPE);
    ASSERT_TRUE(waitGone(drives)) << "Escape did not close the chooser";
    Sleep(300);
    EXPECT_EQ(root(), folderForm(folder));
    EXPECT_FALSE(fs::exists(app.settingsFile()));
    EXPECT_FALSE(fs::exists(commentFile()));

    // A drive clicked, then a path typed: the typed path wins.
    drives = openDrives();
    ASSERT_TRUE(drives);
    ASSERT_NO_FATAL_FAILURE(press(drives, ids::driveOption1 + 26));
    EXPECT_TRUE(waitUntil([&] { return isChecked(in(drives, ids::driveOption1 + 26)); }, 2000));
    setText(in(drives, ids::driveText1), (folder / L"下位").wstring());
    EXPECT_TRUE(isChecked(in(drives, ids::driveOption1)));
    EXPECT_FALSE(isChecked(in(drives, ids::driveOption1 + 26)));
    ASSERT_NO_FATAL_FAILURE(press(drives, ids::driveCommand1));
    EXPECT_TRUE(waitUntil([&] { return root() == folderForm(folder / L"下位"); })) << "not moved to the typed folder";
    EXPECT_TRUE(waitUntil([&] { return names() == std::vector<std::wstring>{L"inner.txt"}; }));

    // Log-off ends the program, writing the settings and the typed comment.
    setText(app.control(ids::txtFolderComment), L"ログオフ前のメモ");
    EXPECT_EQ(send(app.main(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF).value_or(0), TRUE);
    send(app.main(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    ASSERT_TRUE(app.waitExit()) << "the program did not end at log-off";
    ASSERT_NO_FATAL_FAILURE(expectSettings(folder / L"下位", " 0 "));
    EXPECT_EQ(mabrel::test::readBytes(folder / L"下位" / L"_mabre.l94"), ansi(L"ログオフ前のメモ") + "\r\n");
}

}  // namespace
}  // namespace mabrel::win32gui::test
