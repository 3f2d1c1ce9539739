// The actions on list rows in the real program under Wine: an open through
// the shell to an application registered for a file type (by the Enter key),
// a long open cancelled half-way, and restore, delete and comment through the
// context menu (by the right button and by Shift+F10) with its message and
// input boxes.
#include <windows.h>

#include <algorithm>
#include <fstream>

#include "support/fixture.h"
#include "support/input.h"

namespace mabrel::win32gui::test {
namespace {

namespace fs = std::filesystem;

// An application registered for a file type in the Wine prefix (in the
// classes root, which Wine's shell reads), as long as the object lives.
class FileType {
public:
    FileType(const std::wstring& extension, const std::wstring& command) : extension_(extension) {
        set(extension, kProgId);
        set(std::wstring(kProgId) + L"\\shell\\open\\command", command);
    }
    ~FileType() {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, extension_.c_str());
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    }

private:
    static constexpr const wchar_t* kProgId = L"mabrel.testfile";
    static void set(const std::wstring& key, const std::wstring& value) {
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(k);
    }
    std::wstring extension_;
};

std::vector<std::wstring> utf8Lines(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::vector<std::wstring> out;
    std::string line;
    while (std::getline(in, line)) {
        const int n = MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
        std::wstring w(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), w.data(), n);
        out.push_back(w);
    }
    return out;
}

bool readOnly(const fs::path& p) {
    const DWORD a = GetFileAttributesW(p.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY);
}

// How wide a caption is in the system's caption font, bold.
int boldCaptionWidth(const std::wstring& caption) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    metrics.lfCaptionFont.lfWeight = FW_BOLD;
    const HFONT font = CreateFontIndirectW(&metrics.lfCaptionFont);
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    return size.cx;
}

using RowActionsTest = FrontEndTest;

TEST_F(RowActionsTest, EnterOnAFileRowCopiesItFirstOpensItMinimisesAndReloadsWhenTheWindowComesBack) {
    const fs::path log = work.path() / "handler.log";
    const FileType type(L".mbltest", L"\"" + fromHost(MABREL_OPEN_HANDLER).wstring() + L"\" \"%1\" \"" +
                                         log.wstring() + L"\"");
    file(L"下書き.mbltest", "version 1", 2024, 3, 1, 9, 5, 3);
    file(L"note.txt", "n", 2024, 1, 1, 0, 0, 0);
    ASSERT_NO_FATAL_FAILURE(start());
    const int row = list().find(L"下書き.mbltest");
    ASSERT_GE(row, 0);

    // The row focused but not selected (a Ctrl+click took it out of the
    // selection): Enter selects it first, as a click would, and opens it.
    const POINT at = centre(list().itemRect(row, LVIR_LABEL));
    click(at);
    ctrlClick(at);
    ASSERT_TRUE(waitUntil([&] { return !list().rows()[static_cast<std::size_t>(row)].selected; }, 3000));
    pressKey(VK_RETURN);
    ASSERT_TRUE(waitUntil([&] { return fs::exists(log); }, 20000)) << "the registered application was not started";
    // The application got the file, shown maximised, and the copy of the
    // version it opened was there before it started.
    const std::wstring copy = L"下書き_2024-03-01 09-05-03.mbltest";
    EXPECT_EQ(utf8Lines(log), (std::vector<std::wstring>{folderForm(folder) + L"下書き.mbltest", L"show 3", copy}));
    EXPECT_TRUE(readOnly(backupDir() / copy));
    EXPECT_EQ(mabrel::test::readBytes(backupDir() / copy), "version 1");
    EXPECT_TRUE(waitUntil([&] { return IsIconic(app.main()) != 0; }, 5000)) << "the window was not minimised";

    // Away: nothing reloaded yet. Back: the comment file saved, then the
    // changed file's copy listed as the version it was.
    Sleep(300);
    EXPECT_FALSE(fs::exists(commentFile()));
    EXPECT_LT(list().find(copy), 0);
    EXPECT_EQ(list().find(L"下書き.mbltest", L"2024-03-01 09-05-03", L"*"), -1);
    ShowWindow(app.main(), SW_RESTORE);
    EXPECT_TRUE(waitUntil([&] { return list().find(L"下書き.mbltest", L"2024-03-01 09-05-03", L"*") >= 0; }))
        << "no reload when the window came back";
    EXPECT_FALSE(IsIconic(app.main()));
    const auto rows = list().rows();
    ASSERT_EQ(rows.size(), 3u);
    const auto changed = std::find_if(rows.begin(), rows.end(), [](const ListRow& r) {
        return r.cells[0] == L"下書き.mbltest" && r.cells[3].empty();
    });
    ASSERT_NE(changed, rows.end());
    EXPECT_NE(changed->cells[1], L"2024-03-01 09-05-03") << "the file row shows the time before the change";
    EXPECT_FALSE(fs::exists(commentFile())) << "written though nothing was commented";
    EXPECT_EQ(status(), L"サブフォルダ数：0、ファイル数：2、バックアップファイル数：1");
}

// Opened, the program ended with 終 了 and started again, and only then the
// editor saves: the version before the edit is still there.
TEST_F(RowActionsTest, TheVersionBeforeAnEditOutlivesTheProgramEndedAndStartedAgain) {
    const fs::path log = work.path() / "handler.log";
    const FileType type(L".mbltest", L"\"" + fromHost(MABREL_OPEN_HANDLER).wstring() + L"\" \"%1\" \"" +
                                         log.wstring() + L"\" later");
    const fs::path report = file(L"報告.mbltest", "version 1", 2024, 3, 1, 9, 5, 3);
    const fs::path copy = backupDir() / L"報告_2024-03-01 09-05-03.mbltest";
    ASSERT_NO_FATAL_FAILURE(start());
    doubleClick(centre(list().itemRect(list().find(L"報告.mbltest"), LVIR_LABEL)));
    ASSERT_TRUE(waitUntil([&] { return fs::exists(log); }, 20000)) << "the registered application was not started";
    ASSERT_TRUE(waitUntil([&] { return IsIconic(app.main()) != 0; }, 5000)) << "the window was not minimised";
    ShowWindow(app.main(), SW_RESTORE);
    ASSERT_TRUE(waitUntil([&] { return IsIconic(app.main()) == 0; }, 5000));
    Sleep(300);  // the reload on return
    ASSERT_NO_FATAL_FAILURE(press(app.main(), ids::cmdExit));
    ASSERT_TRUE(app.waitExit()) << "終 了 did not end the program";
    ASSERT_TRUE(fs::exists(copy));

    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_TRUE(fs::exists(copy)) << "the start removed the copy";
    std::ofstream(report, std::ios::binary | std::ios::trunc) << "version 2";
    mabrel::test::setModificationTime(report, 2024, 3, 2, 10, 0, 0);
    pressKey(VK_F5);
    EXPECT_TRUE(waitUntil([&] { return list().find(L"報告.mbltest", L"2024-03-01 09-05-03", L"*") >= 0; }))
        << "the version before the edit is not listed";
    EXPECT_EQ(mabrel::test::readBytes(copy), "version 1");
}

TEST_F(RowActionsTest, ALongOpenShowsItsProgressAndCancelledHalfWayOpensNothingAndLeavesNothing) {
    const fs::path log = work.path() / "handler.log";
    const FileType type(L".mbltest", L"\"" + fromHost(MABREL_OPEN_HANDLER).wstring() + L"\" \"%1\" \"" +
                                         log.wstring() + L"\"");
    // Seconds to copy, made at once: a sparse file.
    const fs::path big = file(L"大きな図面.mbltest", "", 2024, 3, 1, 9, 5, 3);
    fs::resize_file(big, std::uintmax_t{8} << 30);
    mabrel::test::setModificationTime(big, 2024, 3, 1, 9, 5, 3);
    ASSERT_NO_FATAL_FAILURE(start());
    const int row = list().find(L"大きな図面.mbltest");
    ASSERT_GE(row, 0);

    doubleClick(centre(list().itemRect(row, LVIR_LABEL)));
    const HWND progress = app.waitWindow(ids::kModalWindowClass);
    ASSERT_TRUE(progress) << "no progress window";
    EXPECT_EQ(textOf(progress), L" mabrel9-iv コピー中");
    EXPECT_EQ(GetWindow(progress, GW_OWNER), app.main());
    EXPECT_EQ(textOf(findControl(progress, ids::progressName)), L"大きな図面.mbltest");
    const std::wstring total = L" / 8,589,934,592 バイト";
    std::wstring amount;
    EXPECT_TRUE(waitUntil([&] {
        amount = textOf(findControl(progress, ids::progressText));
        return amount.size() > total.size() && amount.ends_with(total) && amount.front() != L'0';
    }, 3000)) << testing::PrintToString(amount);
    // The main window takes nothing meanwhile, neither now nor once the copy
    // is over: neither "設　　　定" clicked nor F5.
    EXPECT_FALSE(IsWindowEnabled(app.main()));
    file(L"later.txt", "l", 2024, 1, 1, 0, 0, 0);
    const HWND option = app.control(ids::cmdOption);
    PostMessageW(option, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(option, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    PostMessageW(list().hwnd(), WM_KEYDOWN, VK_F5, 0);
    PostMessageW(list().hwnd(), WM_KEYUP, VK_F5, 0);

    ASSERT_NO_FATAL_FAILURE(press(progress, ids::progressCancel));
    EXPECT_TRUE(waitGone(progress, 5000)) << "the progress window stayed";
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(app.main()) != 0; }, 3000));
    // Nothing opened, no message, no copy or part of one left.
    EXPECT_TRUE(app.noWindowFor(L"#32770", 500));
    EXPECT_TRUE(app.noWindowFor(ids::kModalWindowClass, 500)) << "a window opened after the copy";
    EXPECT_FALSE(fs::exists(log));
    EXPECT_FALSE(IsIconic(app.main()));
    EXPECT_TRUE(backupNames().empty());
    EXPECT_LT(list().find(L"later.txt"), 0) << "F5 ran after the copy";
    std::vector<std::wstring> inFolder;
    for (const auto& e : fs::directory_iterator(folder)) inFolder.push_back(e.path().filename().wstring());
    std::sort(inFolder.begin(), inFolder.end());
    EXPECT_EQ(inFolder, (std::vector<std::wstring>{L"_mabre-l94", L"later.txt", L"大きな図面.mbltest"}));
}

TEST_F(RowActionsTest, TheContextMenuCommentsRestoresAndDeletes) {
    file(L"report.txt", "current", 2024, 3, 1, 9, 5, 3);
    backup(L"report_2024-02-01 08-00-00.txt", "older");
    backup(L"report_2024-01-01 07-00-00.txt", "oldest");
    ASSERT_NO_FATAL_FAILURE(start());
    const std::wstring current = L"2024-03-01 09-05-03", older = L"2024-02-01 08-00-00", oldest = L"2024-01-01 07-00-00";
    auto row = [&](const std::wstring& time) { return list().find(L"report.txt", time); };

    // The menu of one row by Shift+F10: every button but 比 較 available, the focus on
    // キャンセル; as wide as designed or wider, so that its caption reads in
    // full in a title bar (in bold, beside the icon and the caption buttons).
    selectRows({row(current)});
    pressKey(VK_F10, VK_SHIFT);
    HWND menu = app.waitWindow(ids::kModalWindowClass);
    ASSERT_TRUE(menu) << "no context menu";
    EXPECT_EQ(textOf(menu), L" mabrel9-iv メニュー");
    EXPECT_EQ(GetWindow(menu, GW_OWNER), app.main());
    EXPECT_GE(clientSize(menu).cx, px(2295));
    EXPECT_GE(clientSize(menu).cx, boldCaptionWidth(L" mabrel9-iv メニュー") + 4 * GetSystemMetrics(SM_CXSIZE));
    EXPECT_NEAR(clientSize(menu).cy, px(3090), 1);
    const wchar_t* captions[] = {L"キャンセル", L"コメント", L"復 活", L"削 除", L"比 較"};
    const int tops[] = {1890, 90, 690, 1290, 2490};
    for (int i = 0; i < 5; ++i) {
        const HWND b = findControl(menu, ids::rclickCommand1 + i);
        ASSERT_TRUE(b) << "no Command1(" << i << ")";
        EXPECT_EQ(textOf(b), captions[i]);
        // 比 較 needs a kept version or a second row.
        EXPECT_EQ(IsWindowEnabled(b) != 0, i != 4) << i;
        const RECT r = rectInParent(b);
        EXPECT_NEAR(r.top, px(tops[i]), 1);
        EXPECT_NEAR(r.left, px(90), 1);
        EXPECT_NEAR(r.right - r.left, px(2115), 1);
    }
    EXPECT_EQ(focusOf(menu), findControl(menu, ids::rclickCommand1));

    // コメント: a comma is refused and offered again for correction.
    ASSERT_NO_FATAL_FAILURE(press(menu, ids::rclickCommand1 + 1));
    HWND input = app.waitWindow(ids::kModalWindowClass, menu);
    ASSERT_TRUE(input) << "no input box";
    EXPECT_EQ(textOf(input), L"コメントをつける");
    EXPECT_EQ(textOf(findControl(input, ids::inputPrompt)), L"現在のコメント: ");
    EXPECT_EQ(textOf(findControl(input, ids::inputText)), L"");
    EXPECT_EQ(textOf(findControl(input, ids::inputCancel)), L"キャンセル");
    setText(findControl(input, ids::inputText), L"初版,改");
    ASSERT_NO_FATAL_FAILURE(press(input, ids::inputOk));
    HWND box = messageBox();
    ASSERT_TRUE(box);
    const MessageBoxView refusal = readMessageBox(box);
    EXPECT_EQ(refusal.text, L"コメントの中に「,」「\"」文字を含むことはできません。");
    EXPECT_EQ(refusal.buttons, std::vector<int>{IDOK});
    EXPECT_FALSE(refusal.icon);
    ASSERT_NO_FATAL_FAILURE(press(box, IDOK));
    ASSERT_TRUE(waitGone(box));
    input = app.waitWindow(ids::kModalWindowClass);
    ASSERT_TRUE(input) << "the input box did not come back";
    EXPECT_EQ(textOf(findControl(input, ids::inputPrompt)), L"現在のコメント: 初版,改");
    EXPECT_EQ(textOf(findControl(input, ids::inputText)), L"初版,改");
    setText(findControl(input, ids::inputText), L"初版の修正");
    ASSERT_NO_FATAL_FAILURE(press(input, ids::inputOk));
    EXPECT_TRUE(waitUntil([&] { return list().text(row(current), 4) == L"初版の修正"; }));
    EXPECT_TRUE(waitUntil([&] {
        return fs::exists(commentFile()) &&
               mabrel::test::readBytes(commentFile()) == "\r\n" + ansi(L"report.txt_2024-03-01 09-05-03,初版の修正\r\n");
    })) << "the comment file was not written after the comment";

    // 復 活 on the older copy: the present version is copied first, the
    // restored file is writable, and the comment stays with its version.
    selectRows({row(older)});
    menu = contextMenu(row(older));
    ASSERT_TRUE(menu);
    ASSERT_NO_FATAL_FAILURE(press(menu, ids::rclickCommand1 + 2));
    EXPECT_TRUE(waitRows({{L"report.txt", oldest, L"*"}, {L"report.txt", older, L""}, {L"report.txt", current, L"*"}}))
        << "after the restore";
    EXPECT_EQ(mabrel::test::readBytes(folder / "report.txt"), "older");
    EXPECT_FALSE(readOnly(folder / "report.txt"));
    // The restored copy, the file's version now, is kept unlisted: an edit may follow.
    EXPECT_EQ(backupNames(), (std::vector<std::wstring>{L"report_2024-01-01 07-00-00.txt",
                                                        L"report_2024-02-01 08-00-00.txt",
                                                        L"report_2024-03-01 09-05-03.txt"}));
    EXPECT_EQ(mabrel::test::readBytes(backupDir() / "report_2024-03-01 09-05-03.txt"), "current");
    EXPECT_EQ(list().text(row(current), 4), L"初版の修正");

    // 削 除 on all three rows: only 削 除 and キャンセル offered; the file
    // row refused once; both copies gone, the file untouched.
    selectRows({0, 1, 2});
    menu = contextMenu(row(older));
    ASSERT_TRUE(menu);
    EXPECT_FALSE(IsWindowEnabled(findControl(menu, ids::rclickCommand1 + 1)));
    EXPECT_FALSE(IsWindowEnabled(findControl(menu, ids::rclickCommand1 + 2)));
    EXPECT_TRUE(IsWindowEnabled(findControl(menu, ids::rclickCommand1 + 3)));
    ASSERT_NO_FATAL_FAILURE(press(menu, ids::rclickCommand1 + 3));
    box = messageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(readMessageBox(box).text, L"ｍａｂｒｅｌ９バックアップファイルではありません。");
    EXPECT_EQ(readMessageBox(box).owner, app.main());
    ASSERT_NO_FATAL_FAILURE(press(box, IDOK));
    EXPECT_TRUE(waitRows({{L"report.txt", older, L""}}));
    EXPECT_TRUE(app.noWindowFor(L"#32770", 500)) << "more than one refusal";
    EXPECT_EQ(backupNames(), std::vector<std::wstring>{L"report_2024-02-01 08-00-00.txt"});
    EXPECT_TRUE(fs::is_directory(backupDir()));
    EXPECT_EQ(mabrel::test::readBytes(folder / "report.txt"), "older");
    EXPECT_EQ(status(), L"サブフォルダ数：0、ファイル数：1、バックアップファイル数：0");

    // Escape closes the menu by Shift+F10, キャンセル the one by the right
    // button: nothing happens.
    click(centre(list().itemRect(0, LVIR_LABEL)));
    pressKey(VK_F10, VK_SHIFT);
    menu = app.waitWindow(ids::kModalWindowClass);
    ASSERT_TRUE(menu) << "no context menu by Shift+F10";
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitGone(menu));
    menu = contextMenu(0);
    ASSERT_TRUE(menu);
    ASSERT_NO_FATAL_FAILURE(press(menu, ids::rclickCommand1));
    EXPECT_TRUE(waitGone(menu));
    EXPECT_TRUE(app.noWindowFor(L"#32770", 300));
    EXPECT_EQ(list().count(), 1);
}

}  // namespace
}  // namespace mabrel::win32gui::test
