// Comparing versions in the real program under Wine: the compare window, on
// texts and on Excel workbooks, and files that are no text handed to the
// WinMerge the registry names.
#include "support/fixture.h"

namespace mabrel::win32gui::test {
namespace {

using CompareTest = FrontEndTest;

TEST_F(CompareTest, TextIsShownSideBySideWalkedByAltDownAndOtherFilesGoToTheRegisteredWinMergeOlderLeft) {
    backup(L"議事録_2024-03-01 09-05-03.txt", "議事録\r\n出席：山田、佐藤\r\n\r\n在庫は適正。\r\n次回は21日。\r\n以上\r\n");
    file(L"議事録.txt", "議事録\r\n出席：山田、佐藤、田中\r\n\r\n次回は28日。\r\n以上\r\n", 2024, 3, 2, 10, 0, 0);
    backup(L"図面_2024-03-01 09-05-03.dwg", std::string("AC1032\0\1", 8));
    file(L"図面.dwg", std::string("AC1032\0\2", 8), 2024, 3, 2, 10, 0, 0);
    ASSERT_NO_FATAL_FAILURE(start());
    const int kept = list().find(L"議事録.txt", L"2024-03-01 09-05-03", L"*");
    ASSERT_GE(kept, 0);
    selectRows({kept});
    pressKey('D', VK_CONTROL);
    const HWND w = waitWindow(ids::kCompareWindowClass);
    ASSERT_TRUE(w) << "no compare window";
    EXPECT_EQ(GetWindow(w, GW_OWNER), main());
    EXPECT_FALSE(IsWindowEnabled(main()));
    const HWND status = findControl(w, ids::compareStatus);
    ASSERT_TRUE(waitUntil([&] { return textOf(status) == L"変更 2 か所（1 番目）"; })) << textOf(status);
    EXPECT_EQ(textOf(findControl(w, ids::compareOlder)), L"議事録.txt　2024-03-01 09-05-03（バックアップ）\nUTF-8・CRLF");

    // Texts of both sides; a removed line shown red on the left.
    const ListView rows(findControl(w, ids::compareRows));
    const ListView olderRows(findControl(w, ids::compareOlderRows));
    ASSERT_EQ(rows.count(), 6);
    EXPECT_EQ(rows.text(1, 0), L"出席：山田、佐藤、田中");
    EXPECT_TRUE(rows.selected(1));
    const RECT removed = olderRows.itemRect(3);
    // The row, or the one above or below it: metacity's frame can shift the
    // picture from where Wine places the window (those two are not red).
    const LONG x = std::min(removed.right, screenRect(olderRows.hwnd()).right) - 30, h = removed.bottom - removed.top;
    EXPECT_TRUE(waitUntil([&] {
        for (LONG y = removed.top - h; y <= removed.bottom + h; y += 3) {
            if (pixelAt(POINT{x, y}) == RGB(0xFF, 0xE4, 0xE4)) return true;
        }
        return false;
    }));

    pressKey(VK_DOWN, VK_MENU);
    EXPECT_TRUE(waitUntil([&] { return textOf(status) == L"変更 2 か所（2 番目）" && rows.selected(3); }))
        << textOf(status);
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitGone(w));
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(main()) && GetForegroundWindow() == main(); }));

    // The present drawing selected first, the kept one added: 比 較 in the
    // menu hands both to WinMerge, the older on the left, each argument whole.
    const wchar_t* key = L"Software\\Thingamahoochie\\WinMerge";  // where WinMerge's installer registers it
    setRegistry(HKEY_CURRENT_USER, key, L"Executable", fromHost(MABREL_RECORDER).wstring());
    const int keptDrawing = list().find(L"図面.dwg", L"2024-03-01 09-05-03", L"*");
    selectRows({list().find(L"図面.dwg", L"2024-03-02 10-00-00", L""), keptDrawing});
    const HWND menu = contextMenu(keptDrawing);
    ASSERT_TRUE(menu);
    ASSERT_NO_FATAL_FAILURE(press(menu, ids::rclickCommand1 + 4));
    const bool started = waitUntil([&] { return fs::exists(record); });
    RegDeleteTreeW(HKEY_CURRENT_USER, key);
    ASSERT_TRUE(started) << "WinMerge was not started";
    const std::wstring args = recorded();
    EXPECT_EQ(args.substr(args.find(L'\n') + 1),  // after the show command
              L"/e\n/u\n/wl\n/wr\n/dl\n図面.dwg　2024-03-01 09-05-03（バックアップ）\n/dr\n図面.dwg　2024-03-02 10-00-00（現在のファイル）\n" +
                  folderForm(backupDir()) + L"図面_2024-03-01 09-05-03.dwg\n" + folderForm(folder) + L"図面.dwg\n");
    EXPECT_TRUE(!waitWindow(ids::kCompareWindowClass, nullptr, 500));
}

TEST_F(CompareTest, EachSideIsInViewUnderItsHeadingAJumpReachesAChangeDeepInALongLineFindAndCopy) {
    std::string line;
    for (int k = 0; k < 100000; ++k) line += k % 3 == 0 ? "字" : "x";
    const std::size_t at = 17000 / 3 * 5 + 4;  // character 17,000
    backup(L"long_2024-03-01 09-05-03.txt", "first line\r\nsecond line\r\n" + line + "\r\nlast\r\n");
    file(L"long.txt", "first line\r\nsecond line\r\n" + line.substr(0, at) + "y" + line.substr(at + 1) + "\r\nlast needle\r\n",
         2024, 3, 2, 10, 0, 0);
    ASSERT_NO_FATAL_FAILURE(start());
    selectRows({list().find(L"long.txt", L"2024-03-01 09-05-03", L"*")});
    const RECT mainRect = screenRect(main());
    pressKey('D', VK_CONTROL);
    const HWND w = waitWindow(ids::kCompareWindowClass);
    ASSERT_TRUE(w) << "no compare window";
    const HWND status = findControl(w, ids::compareStatus);
    ASSERT_TRUE(waitUntil([&] { return textOf(status) == L"変更 1 か所（1 番目）"; }, 30000)) << textOf(status);
    EXPECT_EQ(textOf(w), L"long.txt の比較 — mabrel9-iv");
    const RECT placed = screenRect(w);
    EXPECT_LE(std::abs((placed.right - placed.left) - (mainRect.right - mainRect.left)), 8);  // a frame's width at most

    // Each side under its heading, whole in the window.
    RECT client{};
    GetClientRect(w, &client);
    for (const auto& [list, heading] : {std::pair{ids::compareOlderRows, ids::compareOlder}, std::pair{ids::compareRows, ids::compareNewer}}) {
        const RECT r = rectInParent(findControl(w, list));
        EXPECT_LE(std::abs(r.left - rectInParent(findControl(w, heading)).left), 2);
        EXPECT_TRUE(r.left >= 0 && r.right <= client.right && r.bottom <= client.bottom) << list;
    }
    // The change 17,000 characters into its line is in view, its mark drawn.
    // (Wine keeps a window's scrollbars from other processes: the picture tells.)
    const ListView newer(findControl(w, ids::compareRows));
    ASSERT_TRUE(newer.selected(2));
    const RECT changed = newer.itemRect(2);
    const RECT view = screenRect(newer.hwnd());
    // Along the row, and a row above and below it (metacity's frame can
    // shift the picture from where Wine places the window).
    const auto markInView = [&] {
        for (LONG y = changed.top - (changed.bottom - changed.top); y <= changed.bottom + (changed.bottom - changed.top); y += 3) {
            for (LONG x = view.left + 2; x < view.right - 2; x += 2) {
                if (pixelAt(POINT{x, y}) == RGB(0xA6, 0xE3, 0xA6)) return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(waitUntil(markInView, 5000)) << "the changed character is not in view";

    // Ctrl+F finds a word.
    pressKey('F', VK_CONTROL);
    const HWND findBox = findControl(w, ids::compareFind);
    ASSERT_TRUE(waitUntil([&] { return focusOf(w) == findBox; }, 5000));
    setText(findBox, L"needle");
    pressKey(VK_RETURN);
    EXPECT_TRUE(waitUntil([&] { return newer.selected(3) && !newer.selected(2); }, 5000));

    // Two lines chosen with the mouse and Shift+Down, copied.
    SendMessageW(newer.hwnd(), LVM_ENSUREVISIBLE, 0, FALSE);
    const RECT first = newer.itemRect(0);
    click(POINT{view.left + 80, centre(first).y});
    pressKey(VK_DOWN, VK_SHIFT);
    ASSERT_TRUE(waitUntil([&] { return newer.selected(0) && newer.selected(1); }, 5000));
    pressKey('C', VK_CONTROL);
    std::wstring copied;
    EXPECT_TRUE(waitUntil([&] {
        if (!OpenClipboard(nullptr)) return false;
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            copied = static_cast<const wchar_t*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
        return copied == L"first line\r\nsecond line\r\n";
    }, 5000)) << ansi(copied);
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitGone(w));
}

TEST_F(CompareTest, AnExcelPairShowsItsCellsAndAnInsertedRowAsLinesAdded) {
    const auto sample = [](const char* name) { return mabrel::test::readBytes(std::string(MABREL_OFFICE_SAMPLES) + "/" + name); };
    backup(L"見積_2024-03-01 09-05-03.xlsx", sample("quote_v1.xlsx"));
    file(L"見積.xlsx", sample("quote_v2.xlsx"), 2024, 3, 2, 10, 0, 0);
    ASSERT_NO_FATAL_FAILURE(start());
    const int kept = list().find(L"見積.xlsx", L"2024-03-01 09-05-03", L"*");
    ASSERT_GE(kept, 0);
    selectRows({kept});
    pressKey('D', VK_CONTROL);
    const HWND w = waitWindow(ids::kCompareWindowClass);
    ASSERT_TRUE(w) << "no compare window";
    const HWND status = findControl(w, ids::compareStatus);
    ASSERT_TRUE(waitUntil([&] { return textOf(status) == L"変更 3 か所（1 番目）"; }, 30000)) << textOf(status);
    EXPECT_EQ(textOf(findControl(w, ids::compareNewer)), L"見積.xlsx　2024-03-02 10-00-00（現在のファイル）\nExcel ブック（セルごとに一行）");
    const ListView rows(findControl(w, ids::compareRows));
    const ListView olderRows(findControl(w, ids::compareOlderRows));
    EXPECT_EQ(olderRows.text(0, 0), L"■ シート「見積書」");
    // The first change selected: the inserted row's cells, added.
    int first = -1;
    for (int r = 0; r < rows.count() && first < 0; ++r) first = rows.selected(r) ? r : -1;
    ASSERT_GE(first, 0);
    EXPECT_EQ(olderRows.text(first, 0), L"");
    EXPECT_EQ(rows.text(first, 0), L"A4: バナナ");
    EXPECT_EQ(rows.text(first + 3, 0), L"A5: みかん");
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitGone(w));
    EXPECT_EQ(mabrel::test::readBytes(folder / L"見積.xlsx"), sample("quote_v2.xlsx"));
}

}  // namespace
}  // namespace mabrel::win32gui::test
