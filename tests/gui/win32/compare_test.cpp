// Comparing versions in the real program under Wine: the compare window,
// opened by Ctrl+D over a kept version, with the two versions side by side
// in their colours, walked with Alt+Down and closed with Escape; files that
// are no text handed to the WinMerge the registry names, older on the left.
#include <windows.h>

#include <fstream>

#include "support/fixture.h"
#include "support/input.h"

namespace mabrel::win32gui::test {
namespace {

namespace fs = std::filesystem;

// A compare tool registered as WinMerge's installer registers it, for the
// user, as long as the object lives.
class RegisteredWinMerge {
public:
    explicit RegisteredWinMerge(const std::wstring& executable) {
        HKEY k = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(k, L"Executable", 0, REG_SZ, reinterpret_cast<const BYTE*>(executable.c_str()),
                       static_cast<DWORD>((executable.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(k);
    }
    ~RegisteredWinMerge() { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }

private:
    static constexpr const wchar_t* kKey = L"Software\\Thingamahoochie\\WinMerge";
};

std::wstring utf8(const std::string& bytes) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), w.data(), n);
    return w;
}

// What the screen shows at a point.
COLORREF pixelAt(POINT at) {
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    return c;
}

using CompareTest = FrontEndTest;

TEST_F(CompareTest, CtrlDOverAKeptVersionShowsBothSideBySideAndAltDownWalksTheChanges) {
    backup(L"議事録_2024-03-01 09-05-03.txt", "議事録\r\n出席：山田、佐藤\r\n\r\n在庫は適正。\r\n次回は21日。\r\n以上\r\n");
    file(L"議事録.txt", "議事録\r\n出席：山田、佐藤、田中\r\n\r\n次回は28日。\r\n以上\r\n", 2024, 3, 2, 10, 0, 0);
    ASSERT_NO_FATAL_FAILURE(start());
    const int kept = list().find(L"議事録.txt", L"2024-03-01 09-05-03", L"*");
    ASSERT_GE(kept, 0);
    selectRows({kept});
    pressKey('D', VK_CONTROL);
    const HWND w = app.waitWindow(ids::kCompareWindowClass);
    ASSERT_TRUE(w) << "no compare window";
    EXPECT_EQ(textOf(w), L" mabrel9-iv 比較");
    EXPECT_EQ(GetWindow(w, GW_OWNER), app.main());
    EXPECT_FALSE(IsWindowEnabled(app.main()));
    const HWND status = findControl(w, ids::compareStatus);
    ASSERT_TRUE(waitUntil([&] { return textOf(status) == L"変更 2 か所（1 番目）"; })) << textOf(status);
    EXPECT_EQ(textOf(findControl(w, ids::compareOlder)), L"議事録.txt　2024-03-01 09-05-03（バックアップ）\nUTF-8・CRLF");
    EXPECT_EQ(textOf(findControl(w, ids::compareNewer)), L"議事録.txt　2024-03-02 10-00-00（現在のファイル）\nUTF-8・CRLF");

    // Rows: line numbers and texts of both sides; a removed line has no right side.
    const ListView rows(findControl(w, ids::compareRows));
    ASSERT_EQ(rows.count(), 6);
    EXPECT_EQ(rows.text(1, 1), L"出席：山田、佐藤");
    EXPECT_EQ(rows.text(1, 3), L"出席：山田、佐藤、田中");
    EXPECT_EQ(rows.text(3, 0), L"4");
    EXPECT_EQ(rows.text(3, 1), L"在庫は適正。");
    EXPECT_EQ(rows.text(3, 2), L"");
    EXPECT_EQ(rows.text(4, 0), L"5");
    EXPECT_EQ(rows.text(4, 2), L"4");
    EXPECT_TRUE(rows.rows()[1].selected);
    // Each side in its colour: the removed line red on the left, grey where
    // the right has none; a line both keep white.
    const RECT removed = rows.itemRect(3);
    const RECT same = rows.itemRect(5);
    const LONG width = removed.right - removed.left;
    const auto at = [&](const RECT& r, LONG eighths) { return POINT{r.left + width * eighths / 8, (r.top + r.bottom) / 2}; };
    EXPECT_TRUE(waitUntil([&] { return pixelAt(at(removed, 3)) == RGB(0xFF, 0xE4, 0xE4); }, 3000))
        << std::hex << pixelAt(at(removed, 3));
    EXPECT_EQ(pixelAt(at(removed, 7)), RGB(0xED, 0xED, 0xED));
    EXPECT_EQ(pixelAt(at(same, 7)), RGB(0xFF, 0xFF, 0xFF));

    pressKey(VK_DOWN, VK_MENU);
    EXPECT_TRUE(waitUntil([&] { return textOf(status) == L"変更 2 か所（2 番目）" && rows.rows()[3].selected; }, 3000))
        << textOf(status);
    EXPECT_FALSE(IsWindowEnabled(findControl(w, ids::compareNext)));
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitGone(w));
    EXPECT_TRUE(waitUntil([&] { return IsWindowEnabled(app.main()) && GetForegroundWindow() == app.main(); }, 5000));
}

TEST_F(CompareTest, FilesThatAreNoTextGoToTheRegisteredWinMergeOlderLeftOrAMessageNamesIt) {
    backup(L"図面_2024-03-01 09-05-03.dwg", std::string("AC1032\0\1", 8));
    file(L"図面.dwg", std::string("AC1032\0\2", 8), 2024, 3, 2, 10, 0, 0);
    const fs::path log = work.path() / "compare.log";
    SetEnvironmentVariableW(L"MABREL_COMPARE_LOG", log.wstring().c_str());
    ASSERT_NO_FATAL_FAILURE(start());
    const int kept = list().find(L"図面.dwg", L"2024-03-01 09-05-03", L"*");
    const int present = list().find(L"図面.dwg", L"2024-03-02 10-00-00", L"");
    {
        const RegisteredWinMerge winMerge(fromHost(MABREL_COMPARE_TOOL).wstring());
        // The present file selected first, the kept version added: 比 較 in the menu.
        selectRows({present, kept});
        const HWND menu = contextMenu(kept);
        ASSERT_TRUE(menu);
        ASSERT_NO_FATAL_FAILURE(press(menu, ids::rclickCommand1 + 4));
        ASSERT_TRUE(waitUntil([&] { return fs::exists(log); }, 20000)) << "WinMerge was not started";
    }
    std::ifstream in(log, std::ios::binary);
    const std::wstring args = utf8(std::string(std::istreambuf_iterator<char>(in), {}));
    EXPECT_EQ(args, L"/e\n/u\n/wl\n/wr\n/dl\n図面.dwg　2024-03-01 09-05-03（バックアップ）\n/dr\n"
                    L"図面.dwg　2024-03-02 10-00-00（現在のファイル）\n" +
                        folderForm(folder) + L"_mabre-l94\\図面_2024-03-01 09-05-03.dwg\n" + folderForm(folder) +
                        L"図面.dwg\n");
    EXPECT_TRUE(app.noWindowFor(ids::kCompareWindowClass, 500));

    // None registered: the message names WinMerge.
    pressKey('D', VK_CONTROL);
    const HWND box = messageBox();
    ASSERT_TRUE(box);
    EXPECT_NE(readMessageBox(box).text.find(L"比較ツール（WinMerge）がインストールされていません"), std::wstring::npos)
        << readMessageBox(box).text;
    ASSERT_NO_FATAL_FAILURE(press(box, IDOK));
    EXPECT_EQ(mabrel::test::readBytes(folder / L"図面.dwg"), std::string("AC1032\0\2", 8));
}

}  // namespace
}  // namespace mabrel::win32gui::test
