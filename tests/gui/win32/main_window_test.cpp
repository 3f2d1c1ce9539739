// The main window of the real program under Wine: how it lays out, renders
// its rows and passes on clicks, drags and keys. Which rows is the core's.
#include <algorithm>
#include <set>

#include "support/fixture.h"

namespace mabrel::win32gui::test {
namespace {

class MainWindowTest : public FrontEndTest {
protected:
    // The controls that follow the window's size stay inside its client area.
    void expectInside() const {
        const SIZE client = clientSize(main());
        SCOPED_TRACE("client " + std::to_string(client.cx) + " x " + std::to_string(client.cy));
        const RECT status = rectInParent(control(ids::StatusBar1));
        EXPECT_EQ(status.right - status.left, client.cx);
        EXPECT_EQ(status.bottom, client.cy);
        for (int id : {ids::cmdHelp, ids::lvwFiles, ids::tvwFolders}) {
            const RECT r = rectInParent(control(id));
            EXPECT_LE(r.right, client.cx) << id;
            EXPECT_LE(r.bottom, status.top) << id;
        }
    }
    SIZE outer() const {
        const RECT r = screenRect(main());
        return SIZE{r.right - r.left, r.bottom - r.top};
    }
};

TEST_F(MainWindowTest, StartedOnAFileShowsItsRowMaximisedWithTheFocusOnExitAndFollowsItsSizeDownToTheMinimum) {
    // More rows than the list shows at once: the one started on is far down.
    for (int i = 100; i < 220; ++i) file(L"row" + std::to_wstring(i) + L".txt", "r");
    ASSERT_NO_FATAL_FAILURE(start(L"\"" + (folder / L"row210.txt").wstring() + L"\""));
    const ListView l = list();
    const int row = l.find(L"row210.txt");
    ASSERT_GE(row, 0);
    for (int i = 0; i < l.count(); ++i) EXPECT_EQ(l.selected(i), i == row) << "row " << i;
    EXPECT_GE(l.itemRect(row).top, l.headerRect(0).bottom);
    EXPECT_LE(l.itemRect(row).bottom, screenRect(l.hwnd()).bottom);

    // Maximised over the work area (less what a window manager's frame may
    // take), titled by the folder; 終 了 has the focus, its frame shown.
    EXPECT_TRUE(IsZoomed(main()));
    EXPECT_GE(outer().cx, GetSystemMetrics(SM_CXMAXIMIZED) * 9 / 10);
    EXPECT_GE(outer().cy, GetSystemMetrics(SM_CYMAXIMIZED) * 9 / 10);
    EXPECT_EQ(textOf(main()), captionFor(folder));
    EXPECT_EQ(focusOf(main()), control(ids::cmdExit));
    EXPECT_EQ(send(control(ids::cmdExit), WM_QUERYUISTATE).value_or(UISF_HIDEFOCUS) & UISF_HIDEFOCUS, 0);
    ASSERT_NO_FATAL_FAILURE(expectInside());
    const int maximisedList = clientSize(l.hwnd()).cx;

    // The Tab key walks the controls that take the focus in tab order.
    SetForegroundWindow(main());
    ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == main(); }));
    for (int id : {ids::cmdUpdate, ids::txtFolderComment, ids::lvwFiles, ids::tvwFolders, ids::cmdHelp,
                   ids::cmdOption, ids::cmdExit}) {
        pressKey(VK_TAB);
        EXPECT_TRUE(waitUntil([&] { return focusOf(main()) == control(id); })) << "Tab missed " << id;
    }

    // Restored and made too small: held at the minimum, everything laid out anew inside it.
    ShowWindow(main(), SW_RESTORE);
    ASSERT_TRUE(waitUntil([&] { return !IsZoomed(main()); }));
    SetWindowPos(main(), nullptr, 0, 0, 200, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    send(main(), WM_NULL);  // handled after the size message
    EXPECT_GT(outer().cx, 200);
    EXPECT_GT(outer().cy, 100);
    ASSERT_NO_FATAL_FAILURE(expectInside());
    EXPECT_LT(clientSize(l.hwnd()).cx, maximisedList);
}

// Whether a rectangle of the screen shows a picture rather than a flat colour.
bool showsPicture(const RECT& r) {
    std::set<COLORREF> colours;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) colours.insert(pixelAt(POINT{x, y}));
    }
    return colours.size() >= 3;
}

TEST_F(MainWindowTest, ShowsFilesCopiesIconsAndCommentsSortsByAHeaderAndKeepsWidthsThePersonDrags) {
    file(L"report.txt", std::string(10, 'r'), 2024, 3, 1, 9, 5, 3);
    file(L"説明.txt", std::string(100, 's'), 2024, 1, 15, 12, 0, 0);
    fs::create_directories(folder / L"下位");
    backup(L"report_2024-02-01 08-00-00.txt", std::string(9, 'o'));
    backup(L"gone_2023-12-24 18-30-00.doc", std::string(12345678, 'g'));
    comments({L"フォルダのメモ, 一行で", L"report.txt_2024-03-01 09-05-03,今の版", L"report.txt_2024-02-01 08-00-00, 前の版"});
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(sendOrFail(control(ids::tvwFolders), TVM_GETCOUNT), 2);  // the folder over its sub-folder

    // Every cell and an icon drawn on each row (in row-key order, whichever
    // way round); the folder comment and the counts.
    const ListView l = list();
    const Cells expected[] = {
        {L"gone.doc", L"2023-12-24 18-30-00", L"12345678", L"*", L"", L"gone.doc_2023-12-24 18-30-00"},
        {L"report.txt", L"2024-02-01 08-00-00", L"9", L"*", L"前の版", L"report.txt_2024-02-01 08-00-00"},
        {L"report.txt", L"2024-03-01 09-05-03", L"10", L"", L"今の版", L"report.txt_2024-03-01 09-05-03"},
        {L"説明.txt", L"2024-01-15 12-00-00", L"100", L"", L"", L"説明.txt_2024-01-15 12-00-00"},
    };
    const auto rows = l.rows();
    ASSERT_EQ(rows.size(), 4u);
    const bool ascending = rows.front()[0] == L"gone.doc";
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rows[i], expected[ascending ? i : 3 - i]) << "row " << i;
        EXPECT_TRUE(waitUntil([&] { return showsPicture(l.itemRect(static_cast<int>(i), LVIR_ICON)); })) << i;
    }
    EXPECT_EQ(textOf(control(ids::txtFolderComment)), L"フォルダのメモ, 一行で");
    EXPECT_EQ(textOf(control(ids::StatusBar1)), L"サブフォルダ数：1、ファイル数：2、バックアップファイル数：2");

    // 更新日, サイズ and BU as wide as their widest cell and header, with a
    // cell's margins (12 pixels at 96 dpi, more above); the key hidden.
    for (int column : {1, 2, 3}) {
        int widest = l.stringWidth(std::array{L"更新日", L"サイズ", L"BU"}[static_cast<std::size_t>(column - 1)]);
        for (const auto& r : l.rows()) widest = std::max(widest, l.stringWidth(r[static_cast<std::size_t>(column)]));
        EXPECT_GE(l.width(column), widest + 12) << column;
    }
    EXPECT_EQ(l.width(5), 0);

    // A click on サイズ sorts by it, one way or the other.
    click(centre(l.headerRect(2)));
    EXPECT_TRUE(waitUntil([&] { return std::set{l.text(0, 2), l.text(3, 2)} == std::set<std::wstring>{L"9", L"12345678"}; }));

    // サイズ dragged wider: the width stays through a reload (F5) and a move
    // to the parent folder (Backspace).
    const RECT size = l.headerRect(2);
    drag(POINT{size.right - 1, centre(size).y}, POINT{size.right + 60, centre(size).y});
    int dragged = 0;
    EXPECT_TRUE(waitUntil([&] { return (dragged = l.width(2)) >= size.right - size.left + 50; })) << "not dragged";
    click(centre(l.itemRect(0, LVIR_LABEL)));
    file(L"新しい.txt", "n");
    pressKey(VK_F5);
    EXPECT_TRUE(waitUntil([&] { return l.find(L"新しい.txt") >= 0; })) << "F5 did not reload";
    EXPECT_EQ(l.width(2), dragged);
    pressKey(VK_BACK);
    EXPECT_TRUE(waitUntil([&] { return textOf(main()) == captionFor(folder.parent_path()); }))
        << "Backspace did not go to the parent folder";
    EXPECT_EQ(l.width(2), dragged);
}

}  // namespace
}  // namespace mabrel::win32gui::test
