// Comparing versions in the real program under Wine: the compare window, and
// files that are no text handed to the WinMerge the registry names.
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
    ASSERT_EQ(rows.count(), 6);
    EXPECT_EQ(rows.text(1, 3), L"出席：山田、佐藤、田中");
    EXPECT_TRUE(rows.selected(1));
    const RECT removed = rows.itemRect(3);
    const POINT left{removed.left + (removed.right - removed.left) * 3 / 8, centre(removed).y};
    EXPECT_TRUE(waitUntil([&] { return pixelAt(left) == RGB(0xFF, 0xE4, 0xE4); })) << std::hex << pixelAt(left);

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

}  // namespace
}  // namespace mabrel::win32gui::test
