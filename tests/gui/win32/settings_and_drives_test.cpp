// The options window and the drive chooser of the real program under Wine,
// and what the ways it ends leave on disk: the settings file beside the
// program and the comment file in the folder.
#include <windows.h>

#include <fstream>
#include <regex>

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

    // The settings file: eight lines, each ended by CR LF, in the ANSI code page.
    void expectSettings(const fs::path& lastPath, const std::string& list1Mode, const std::string& list1) const {
        ASSERT_TRUE(fs::exists(app.settingsFile()));
        const std::string bytes = mabrel::test::readBytes(app.settingsFile());
        std::vector<std::string> lines;
        for (std::size_t at = 0; at < bytes.size();) {
            const auto end = bytes.find("\r\n", at);
            ASSERT_NE(end, std::string::npos) << "a line without CR LF at the end: " << bytes;
            lines.push_back(bytes.substr(at, end - at));
            at = end + 2;
        }
        ASSERT_EQ(lines.size(), 8u) << bytes;
        for (const auto& line : lines) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        EXPECT_EQ(lines[0], "[mabrel9-iv]");
        EXPECT_EQ(lines[1], "version, 4 . 0 . 9 ");
        EXPECT_EQ(lines[2], "lastPath," + ansi(folderForm(lastPath)));
        EXPECT_TRUE(std::regex_match(lines[3], std::regex(R"(lastAccess,\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << lines[3];
        EXPECT_EQ(lines[4], "exceptionExtList1Mode," + list1Mode);
        EXPECT_EQ(lines[5], "exceptionExtList1," + list1);
        EXPECT_EQ(lines[6], "exceptionExtList2Mode, 0 ");
        EXPECT_EQ(lines[7], "exceptionExtList2," + kDefaultList);
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
    EXPECT_NEAR(clientSize(options).cx, px(4680), 1);
    EXPECT_NEAR(clientSize(options).cy, px(3720), 1);
    EXPECT_EQ(textOf(in(options, ids::optionFrame1)), L"「表示する」ファイルの設定");
    EXPECT_EQ(textOf(in(options, ids::optionFrame2)), L"「開く」ファイルの設定");
    EXPECT_EQ(textOf(in(options, ids::optionOption1)), L"下記の拡張子のファイルだけを表示する。");
    EXPECT_EQ(textOf(in(options, ids::optionOption1 + 1)), L"下記の拡張子のファイルは表示しない。");
    EXPECT_EQ(textOf(in(options, ids::optionOption2)), L"下記の拡張子のファイルだけを開く。");
    EXPECT_EQ(textOf(in(options, ids::optionOption2 + 1)), L"下記の拡張子のファイルは開かない。");
    EXPECT_EQ(textOf(in(options, ids::optionCommand1)), L"Ｏ Ｋ");
    EXPECT_EQ(textOf(in(options, ids::optionCommand2)), L"キャンセル");
    const RECT text2 = rectInParent(in(options, ids::optionText2));
    EXPECT_NEAR(text2.left, px(180), 1);
    EXPECT_NEAR(text2.top, px(2490), 1);
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
    ASSERT_NO_FATAL_FAILURE(expectSettings(folder, " 1 ", ".txt."));
    EXPECT_TRUE(mabrel::test::readBytes(commentFile()) == ansi(longComment + L"7") + "\r\n")
        << "the comment file does not hold the whole comment as typed";
}

std::wstring driveLabel(wchar_t letter) {
    const wchar_t root[] = {letter, L':', L'\\', 0};
    switch (GetDriveTypeW(root)) {
    case DRIVE_REMOVABLE: return L"REMOVABLE (FDD)";
    case DRIVE_FIXED: return L"HDD";
    case DRIVE_REMOTE: return L"NETWORK";
    case DRIVE_CDROM: return L"CD-ROM";
    case DRIVE_RAMDISK: return L"RAMDISK";
    default: return L"N/A";
    }
}

TEST_F(SettingsAndDrivesTest, TheDriveChooserMovesToATypedFolderAndADriveAndLogOffWritesSettingsAndComments) {
    file(L"a.txt", "a", 2024, 1, 1, 0, 0, 0);
    fs::create_directories(folder / L"下位");
    std::ofstream(folder / L"下位" / L"inner.txt") << "i";
    const bool driveCommentsBefore = fs::exists(L"C:\\_mabre.l94");
    ASSERT_NO_FATAL_FAILURE(start());

    HWND drives = openDrives();
    ASSERT_TRUE(drives) << "no drive chooser";
    EXPECT_EQ(textOf(drives), L" ドライブリスト");
    EXPECT_EQ(GetWindow(drives, GW_OWNER), app.main());
    EXPECT_NEAR(clientSize(drives).cx, px(5280), 1);
    EXPECT_NEAR(clientSize(drives).cy, px(5550), 1);
    EXPECT_EQ(textOf(in(drives, ids::driveText1)), folderForm(folder));
    EXPECT_EQ(focusOf(drives), in(drives, ids::driveText1));
    EXPECT_EQ(textOf(in(drives, ids::driveOption1)), L"その他");
    EXPECT_TRUE(isChecked(in(drives, ids::driveOption1)));
    // Wine's drives: C: the prefix's fixed disk, Z: the host's root.
    for (int i = 1; i <= 26; ++i) {
        const auto letter = static_cast<wchar_t>(L'A' + i - 1);
        SCOPED_TRACE(std::string(1, static_cast<char>(letter)) + ":");
        const HWND b = in(drives, ids::driveOption1 + i);
        ASSERT_TRUE(b);
        const std::wstring label = driveLabel(letter);
        EXPECT_EQ(textOf(b), std::wstring(1, letter) + L":\\ (" + label + L")");
        EXPECT_EQ(IsWindowEnabled(b) != 0, label != L"N/A");
        const RECT r = rectInParent(b);
        EXPECT_NEAR(r.left, px(i <= 13 ? 90 : 2670), 1);
        EXPECT_NEAR(r.top, px(90 + 330 * ((i - 1) % 13)), 1);
    }
    EXPECT_EQ(textOf(in(drives, ids::driveOption1 + 3)), L"C:\\ (HDD)");
    EXPECT_TRUE(IsWindowEnabled(in(drives, ids::driveOption1 + 26)));

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

    // A drive clicked, then a path typed: the typed path wins. The folder
    // left is recorded before the move.
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
    ASSERT_NO_FATAL_FAILURE(expectSettings(folder, " 0 ", kDefaultList));
    EXPECT_FALSE(fs::exists(commentFile())) << "written though nothing was commented";

    // A drive button and OK: its root.
    drives = openDrives();
    ASSERT_TRUE(drives);
    ASSERT_NO_FATAL_FAILURE(press(drives, ids::driveOption1 + 3));
    EXPECT_TRUE(waitUntil([&] { return isChecked(in(drives, ids::driveOption1 + 3)); }, 2000));
    ASSERT_NO_FATAL_FAILURE(press(drives, ids::driveCommand1));
    EXPECT_TRUE(waitUntil([&] { return root() == L"C:\\"; })) << "not moved to C:\\";
    EXPECT_EQ(textOf(app.main()), L" C:\\");

    // Back by the typed path, then log-off ends the program.
    drives = openDrives();
    ASSERT_TRUE(drives);
    EXPECT_EQ(textOf(in(drives, ids::driveText1)), L"C:\\");
    setText(in(drives, ids::driveText1), folder.wstring());
    ASSERT_NO_FATAL_FAILURE(press(drives, ids::driveCommand1));
    EXPECT_TRUE(waitUntil([&] { return root() == folderForm(folder); }));
    if (!driveCommentsBefore) fs::remove(L"C:\\_mabre.l94");
    setText(app.control(ids::txtFolderComment), L"ログオフ前のメモ");
    EXPECT_EQ(send(app.main(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF).value_or(0), TRUE);
    send(app.main(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    ASSERT_TRUE(app.waitExit()) << "the program did not end at log-off";
    ASSERT_NO_FATAL_FAILURE(expectSettings(folder, " 0 ", kDefaultList));
    EXPECT_EQ(mabrel::test::readBytes(commentFile()), ansi(L"ログオフ前のメモ") + "\r\n");
}

}  // namespace
}  // namespace mabrel::win32gui::test
