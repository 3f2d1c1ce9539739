// The actions on list rows in the real program under Wine: opens through the
// shell, and the context menu with its input and message boxes. (Escape in
// these small windows: the drive chooser's test.)
#include "support/fixture.h"

namespace mabrel::win32gui::test {
namespace {

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

// The recorder registered for ".mbltest" files in the classes root, which
// Wine's shell reads, as long as the test lives.
class RowActionsTest : public FrontEndTest {
protected:
    void SetUp() override {
        setRegistry(HKEY_CLASSES_ROOT, L".mbltest", nullptr, L"mabrel.testfile");
        setRegistry(HKEY_CLASSES_ROOT, L"mabrel.testfile\\shell\\open\\command", nullptr,
                    L"\"" + fromHost(MABREL_RECORDER).wstring() + L"\" \"%1\"");
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L".mbltest");
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"mabrel.testfile");
    }
};

// A long open cancelled half-way; then a short one by Enter: the window
// minimised and brought back, the program ended with 終 了 and started again,
// and only then the editor saves: the version before the edit is still there.
TEST_F(RowActionsTest, ALongOpenTakesNoInputAndCancelsCleanlyEnterOpensAndTheVersionOutlivesARestart) {
    // Seconds to copy, made at once: a sparse file.
    const fs::path big = file(L"大きな図面.mbltest", "");
    fs::resize_file(big, std::uintmax_t{8} << 30);
    mabrel::test::setModificationTime(big, 2024, 3, 1, 9, 5, 3);
    file(L"下書き.mbltest", "version 1", 2024, 3, 1, 9, 5, 3);
    ASSERT_NO_FATAL_FAILURE(start());
    const int bigRow = list().find(L"大きな図面.mbltest");
    ASSERT_GE(bigRow, 0);

    click(centre(list().itemRect(bigRow, LVIR_LABEL)), 2);
    const HWND progress = waitWindow(ids::kModalWindowClass);
    ASSERT_TRUE(progress) << "no progress window";
    EXPECT_EQ(GetWindow(progress, GW_OWNER), main());
    EXPECT_EQ(textOf(findControl(progress, ids::progressName)), L"大きな図面.mbltest");
    const std::wstring total = L" / 8,589,934,592 バイト";
    std::wstring amount;
    EXPECT_TRUE(waitUntil([&] {
        amount = textOf(findControl(progress, ids::progressText));
        return amount.size() > total.size() && amount.ends_with(total) && amount.front() != L'0';
    }, 3000)) << testing::PrintToString(amount);
    // The main window takes nothing meanwhile, neither now nor once the copy
    // is over: neither "設　　　定" clicked nor F5.
    EXPECT_FALSE(IsWindowEnabled(main()));
    file(L"later.txt", "l");
    const HWND option = control(ids::cmdOption);
    PostMessageW(option, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(option, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    PostMessageW(list().hwnd(), WM_KEYDOWN, VK_F5, 0);
    PostMessageW(list().hwnd(), WM_KEYUP, VK_F5, 0);

    ASSERT_NO_FATAL_FAILURE(press(progress, ids::progressCancel));
    EXPECT_TRUE(waitGone(progress)) << "the progress window stayed";
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(main()) != 0; }));
    EXPECT_TRUE(!waitWindow(L"#32770", nullptr, 500)) << "a message after the cancel";
    EXPECT_TRUE(!waitWindow(ids::kModalWindowClass, nullptr, 500)) << "a window opened after the copy";
    EXPECT_FALSE(fs::exists(record)) << "opened after the cancel";
    EXPECT_TRUE(!fs::exists(backupDir()) || fs::is_empty(backupDir()));
    EXPECT_LT(list().find(L"later.txt"), 0) << "F5 ran after the copy";

    // The row focused but not selected (a Ctrl+click took it out of the
    // selection): Enter selects it first, as a click would, and opens it.
    const int row = list().find(L"下書き.mbltest");
    ASSERT_GE(row, 0);
    const POINT at = centre(list().itemRect(row, LVIR_LABEL));
    click(at);
    click(at, 1, VK_CONTROL);
    ASSERT_TRUE(waitUntil([&] { return !list().selected(row); }));
    pressKey(VK_RETURN);
    ASSERT_TRUE(waitUntil([&] { return fs::exists(record); })) << "the registered application was not started";
    // Shown maximised, given the file (that its copy came first is the core's to check).
    EXPECT_EQ(recorded(), L"show 3\n" + folderForm(folder) + L"下書き.mbltest\n");
    EXPECT_TRUE(waitUntil([&] { return IsIconic(main()) != 0; })) << "the window was not minimised";

    // Away: nothing reloaded yet; back: reloaded.
    file(L"note.txt", "n");
    Sleep(300);
    EXPECT_LT(list().find(L"note.txt"), 0) << "reloaded while away";
    ShowWindow(main(), SW_RESTORE);
    EXPECT_TRUE(waitUntil([&] { return list().find(L"note.txt") >= 0; })) << "no reload when the window came back";

    ASSERT_NO_FATAL_FAILURE(press(main(), ids::cmdExit));
    ASSERT_TRUE(waitExit()) << "終 了 did not end the program";
    ASSERT_NO_FATAL_FAILURE(start());
    file(L"下書き.mbltest", "version 2", 2024, 3, 2, 10, 0, 0);
    pressKey(VK_F5);
    EXPECT_TRUE(waitUntil([&] { return list().find(L"下書き.mbltest", L"2024-03-01 09-05-03", L"*") >= 0; }))
        << "the version before the edit is not listed";
    EXPECT_EQ(mabrel::test::readBytes(backupDir() / L"下書き_2024-03-01 09-05-03.mbltest"), "version 1");
}

TEST_F(RowActionsTest, TheContextMenuAndTheWindowsItOpensPassOnEachButtonAndKey) {
    file(L"report.txt", "current", 2024, 3, 1, 9, 5, 3);
    backup(L"report_2024-02-01 08-00-00.txt", "older");
    backup(L"report_2024-01-01 07-00-00.txt", "oldest");
    ASSERT_NO_FATAL_FAILURE(start());
    auto row = [&](const wchar_t* time) { return list().find(L"report.txt", time); };

    // The menu of one row by Shift+F10, owned by the main window, the focus
    // on キャンセル; wide enough for its caption to read in full in a title
    // bar (in bold, beside the icon and the caption buttons).
    selectRows({row(L"2024-03-01 09-05-03")});
    pressKey(VK_F10, VK_SHIFT);
    HWND menu = waitWindow(ids::kModalWindowClass);
    ASSERT_TRUE(menu) << "no context menu";
    EXPECT_EQ(GetWindow(menu, GW_OWNER), main());
    EXPECT_GE(clientSize(menu).cx, boldCaptionWidth(textOf(menu)) + 4 * GetSystemMetrics(SM_CXSIZE));
    EXPECT_EQ(focusOf(menu), findControl(menu, ids::rclickCommand1));

    // コメント: the input box, its text passed on by OK.
    ASSERT_NO_FATAL_FAILURE(press(menu, ids::rclickCommand1 + 1));
    const HWND input = waitWindow(ids::kModalWindowClass, menu);
    ASSERT_TRUE(input) << "no input box";
    setText(findControl(input, ids::inputText), L"初版の修正");
    ASSERT_NO_FATAL_FAILURE(press(input, ids::inputOk));
    EXPECT_TRUE(waitUntil([&] { return list().text(row(L"2024-03-01 09-05-03"), 4) == L"初版の修正"; }));

    // 復 活 on the older copy, by the right button.
    selectRows({row(L"2024-02-01 08-00-00")});
    menu = contextMenu(row(L"2024-02-01 08-00-00"));
    ASSERT_TRUE(menu);
    ASSERT_NO_FATAL_FAILURE(press(menu, ids::rclickCommand1 + 2));
    EXPECT_TRUE(waitUntil([&] { return row(L"2024-02-01 08-00-00") >= 0 && list().text(row(L"2024-02-01 08-00-00"), 3).empty(); }));
    EXPECT_EQ(mabrel::test::readBytes(folder / "report.txt"), "older");

    // 削 除 on all three rows: the file row refused in a message box of the
    // main window, OK its only button; both copies gone.
    selectRows({0, 1, 2});
    menu = contextMenu(1);
    ASSERT_TRUE(menu);
    ASSERT_NO_FATAL_FAILURE(press(menu, ids::rclickCommand1 + 3));
    const HWND box = waitWindow(L"#32770");
    ASSERT_TRUE(box) << "no message box";
    EXPECT_EQ(messageText(box), L"ｍａｂｒｅｌ９バックアップファイルではありません。");
    EXPECT_EQ(GetWindow(box, GW_OWNER), main());
    EXPECT_FALSE(findControl(box, IDCANCEL) && IsWindowVisible(findControl(box, IDCANCEL)));
    ASSERT_NO_FATAL_FAILURE(press(box, IDOK));
    EXPECT_TRUE(waitUntil([&] { return names() == std::vector<std::wstring>{L"report.txt"}; }));
}

}  // namespace
}  // namespace mabrel::win32gui::test
