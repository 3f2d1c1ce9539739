// The main window of the real program under Wine: started on a file of a
// folder, laid out as the window's size changes, showing files, copies,
// icons and comments, and passing on header clicks, dragged dividers and the
// keys that reload and go up. Which rows, in which order, is the core's.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <set>

#include "support/fixture.h"
#include "support/input.h"

namespace mabrel::win32gui::test {
namespace {

namespace fs = std::filesystem;

class MainWindowTest : public FrontEndTest {
protected:
    RECT at(int id) const { return rectInParent(app.control(id)); }

    // The controls that follow the window's size, against its client area.
    void expectFollowsTheSize() const {
        const SIZE client = clientSize(app.main());
        SCOPED_TRACE("client " + std::to_string(client.cx) + " x " + std::to_string(client.cy));
        const int margin = px(80);
        const RECT status = at(ids::StatusBar1), files = at(ids::lvwFiles), tree = at(ids::tvwFolders);
        EXPECT_EQ(status.right - status.left, client.cx);
        EXPECT_EQ(status.bottom, client.cy);
        EXPECT_NEAR(at(ids::cmdHelp).right, client.cx - margin, 2);
        EXPECT_NEAR(files.right, client.cx - margin, 2);
        EXPECT_NEAR(files.bottom, status.top - margin, 2);
        EXPECT_NEAR(tree.bottom, status.top - margin, 2);
        EXPECT_GT(files.right - files.left, 0);
    }
    void resizeTo(int width, int height) const {
        SetWindowPos(app.main(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        // A size message is handled before anything sent afterwards.
        send(app.main(), WM_NULL);
    }
    SIZE outer() const {
        const RECT r = screenRect(app.main());
        return SIZE{r.right - r.left, r.bottom - r.top};
    }
};

TEST_F(MainWindowTest, StartedOnAFileShowsItsRowMaximisedWithTheFocusOnExitAndFollowsItsSizeDownToTheMinimum) {
    // More rows than the list shows at once: the one started on is far down.
    for (int i = 100; i < 220; ++i) file(L"row" + std::to_wstring(i) + L".txt", "r", 2024, 1, 1, 0, 0, 0);
    ASSERT_NO_FATAL_FAILURE(app.start(L"\"" + (folder / L"row210.txt").wstring() + L"\""));

    // The file's row is the selection, scrolled into view.
    const ListView l = list();
    const int row = l.find(L"row210.txt");
    ASSERT_GE(row, 0);
    const auto rows = l.rows();
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) EXPECT_EQ(rows[i].selected, i == row) << "row " << i;
    const RECT shown = l.itemRect(row);
    EXPECT_GE(shown.top, l.headerRect(0).bottom);
    EXPECT_LE(shown.bottom, screenRect(l.hwnd()).bottom);

    // Maximised over the work area of its monitor (less what a window
    // manager's own frame may take), titled by the folder.
    EXPECT_TRUE(IsZoomed(app.main()));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(app.main(), MONITOR_DEFAULTTONEAREST), &monitor);
    EXPECT_GE(outer().cx, (monitor.rcWork.right - monitor.rcWork.left) * 9 / 10);
    EXPECT_GE(outer().cy, (monitor.rcWork.bottom - monitor.rcWork.top) * 9 / 10);
    std::wstring caption = L" " + folderForm(folder);
    CharUpperW(caption.data());
    EXPECT_EQ(textOf(app.main()), caption);
    // 終 了 has the focus, and its focus frame shows before any key is used.
    EXPECT_EQ(focusOf(app.main()), app.control(ids::cmdExit));
    EXPECT_EQ(send(app.control(ids::cmdExit), WM_QUERYUISTATE).value_or(UISF_HIDEFOCUS) & UISF_HIDEFOCUS, 0);
    ASSERT_NO_FATAL_FAILURE(expectFollowsTheSize());

    // The Tab key walks the controls that take the focus in tab order.
    SetForegroundWindow(app.main());
    ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == app.main(); }, 3000));
    for (int id : {ids::cmdUpdate, ids::txtFolderComment, ids::lvwFiles, ids::tvwFolders, ids::cmdHelp,
                   ids::cmdOption, ids::cmdExit}) {
        pressKey(VK_TAB);
        EXPECT_TRUE(waitUntil([&] { return focusOf(app.main()) == app.control(id); }, 2000)) << "Tab did not reach control " << id;
    }

    // A normal window of its own size; too narrow and too low, it is held
    // at the minimum with everything still inside.
    ShowWindow(app.main(), SW_RESTORE);
    ASSERT_TRUE(waitUntil([&] { return !IsZoomed(app.main()); }, 3000));
    resizeTo(700, 520);
    EXPECT_EQ(outer().cx, 700);
    EXPECT_EQ(outer().cy, 520);
    ASSERT_NO_FATAL_FAILURE(expectFollowsTheSize());
    resizeTo(200, 100);
    EXPECT_GT(outer().cx, 200);
    EXPECT_GT(outer().cy, 100);
    ASSERT_NO_FATAL_FAILURE(expectFollowsTheSize());
}

// Whether a rectangle of the screen shows a picture rather than a flat colour.
bool showsPicture(const RECT& r) {
    const HDC screen = GetDC(nullptr);
    std::set<COLORREF> colours;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) colours.insert(GetPixel(screen, x, y));
    }
    ReleaseDC(nullptr, screen);
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

    // The tree: the folder over its sub-folder; its whole path can be seen,
    // the tree scrolling sideways.
    const HWND treeWindow = app.control(ids::tvwFolders);
    const TreeNode tree = readTree(treeWindow);
    EXPECT_EQ(tree.text, folderForm(folder));
    EXPECT_TRUE(tree.expanded);
    EXPECT_TRUE(tree.selected);
    ASSERT_EQ(tree.children.size(), 1u);
    EXPECT_EQ(tree.children[0].text, L"下位");
    const LONG treeStyle = GetWindowLongW(treeWindow, GWL_STYLE);
    EXPECT_TRUE(treeStyle & TVS_HASLINES);
    EXPECT_FALSE(treeStyle & TVS_HASBUTTONS);
    ASSERT_GT(rootTextRect(treeWindow).right, clientSize(treeWindow).cx) << "the path fits the tree anyway";
    for (int i = 0; i < 20; ++i) send(treeWindow, WM_HSCROLL, SB_PAGERIGHT);
    // (The text's rectangle keeps a margin of two pixels around it.)
    EXPECT_LE(rootTextRect(treeWindow).right - 2, clientSize(treeWindow).cx);

    // The list: every cell, an icon drawn on each row, each column's header
    // and alignment; the folder comment and the counts.
    const ListView l = list();
    EXPECT_EQ(GetWindowLongW(l.hwnd(), GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_EQ(l.extendedStyle() & (LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES),
              static_cast<DWORD>(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES));
    const auto columns = l.columns();
    ASSERT_EQ(columns.size(), 6u);
    const struct {
        const wchar_t* header;
        int format;
    } heads[] = {{L"ファイル名", LVCFMT_LEFT}, {L"更新日", LVCFMT_CENTER}, {L"サイズ", LVCFMT_RIGHT},
                 {L"BU", LVCFMT_CENTER},      {L"コメント", LVCFMT_LEFT},  {L"key", LVCFMT_LEFT}};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(columns[i].header, heads[i].header) << i;
        EXPECT_EQ(columns[i].format, heads[i].format) << i;
    }
    const std::array<std::wstring, 6> expected[] = {
        {L"gone.doc", L"2023-12-24 18-30-00", L"12345678", L"*", L"", L"gone.doc_2023-12-24 18-30-00"},
        {L"report.txt", L"2024-02-01 08-00-00", L"9", L"*", L"前の版", L"report.txt_2024-02-01 08-00-00"},
        {L"report.txt", L"2024-03-01 09-05-03", L"10", L"", L"今の版", L"report.txt_2024-03-01 09-05-03"},
        {L"説明.txt", L"2024-01-15 12-00-00", L"100", L"", L"", L"説明.txt_2024-01-15 12-00-00"},
    };
    const auto rows = l.rows();
    ASSERT_EQ(rows.size(), 4u);
    // In row-key order, whichever way round.
    const bool ascending = rows.front().cells[0] == L"gone.doc";
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rows[i].cells, expected[ascending ? i : 3 - i]) << "row " << i;
        EXPECT_TRUE(waitUntil([&] { return showsPicture(l.itemRect(static_cast<int>(i), LVIR_ICON)); }, 3000)) << "row " << i;
    }
    EXPECT_EQ(textOf(app.control(ids::txtFolderComment)), L"フォルダのメモ, 一行で");
    EXPECT_EQ(status(), L"サブフォルダ数：1、ファイル数：2、バックアップファイル数：2");

    // 更新日, サイズ and BU as wide as their widest cell and their header
    // with the room a cell leaves on either side; the key hidden.
    const auto expectFitted = [&](const char* when) {
        SCOPED_TRACE(when);
        const auto c = l.columns();
        for (std::size_t column : {1u, 2u, 3u}) {
            int widest = l.stringWidth(heads[column].header);
            for (const auto& r : l.rows()) widest = std::max(widest, l.stringWidth(r.cells[column]));
            EXPECT_GE(c[column].width, widest + 12 * dpi() / 96) << column;
        }
        EXPECT_EQ(c[5].width, 0);
    };
    expectFitted("after the load");

    // A click on サイズ sorts by it (the key right-aligned), a second the other way.
    const auto sizes = [&] {
        std::vector<std::wstring> out;
        for (int i = 0; i < l.count(); ++i) out.push_back(l.text(i, 2));
        return out;
    };
    l.reveal(2);
    click(centre(l.headerRect(2)));
    EXPECT_TRUE(waitUntil([&] { return sizes() == std::vector<std::wstring>{L"9", L"10", L"100", L"12345678"}; }, 3000));
    EXPECT_EQ(l.text(0, 5), std::wstring(11, L' ') + L"9_report.txt");
    click(centre(l.headerRect(2)));
    EXPECT_TRUE(waitUntil([&] { return sizes() == std::vector<std::wstring>{L"12345678", L"100", L"10", L"9"}; }, 3000));
    expectFitted("after a sort");

    // サイズ dragged wider: the width stays through a reload (F5), a sort
    // and a move to the parent folder (Backspace).
    const RECT size = l.headerRect(2);
    const int y = centre(size).y;
    drag(POINT{size.right - 1, y}, POINT{size.right + 60, y});
    int dragged = 0;
    EXPECT_TRUE(waitUntil([&] { return (dragged = l.columns()[2].width) >= size.right - size.left + 50; }, 3000))
        << "the divider did not move";
    click(centre(l.itemRect(0, LVIR_LABEL)));
    file(L"新しい.txt", "n", 2024, 5, 1, 0, 0, 0);
    pressKey(VK_F5);
    EXPECT_TRUE(waitUntil([&] { return l.find(L"新しい.txt") >= 0; })) << "F5 did not reload";
    EXPECT_EQ(l.columns()[2].width, dragged);
    l.reveal(1);
    click(centre(l.headerRect(1)));
    EXPECT_TRUE(waitUntil([&] { return l.text(0, 0) == L"gone.doc" || l.text(0, 0) == L"新しい.txt"; }, 3000));
    EXPECT_EQ(l.columns()[2].width, dragged);
    click(centre(l.itemRect(0, LVIR_LABEL)));
    pressKey(VK_BACK);
    EXPECT_TRUE(waitUntil([&] { return readTree(treeWindow).text == folderForm(folder.parent_path()); }))
        << "Backspace did not go to the parent folder";
    EXPECT_EQ(l.columns()[2].width, dragged);
}

}  // namespace
}  // namespace mabrel::win32gui::test
