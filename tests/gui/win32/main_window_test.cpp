// The main window of the real program under Wine: start-up (on a file of a
// folder too), the layout at two sizes and at the minimum, a folder with
// files, backup copies, icons and comments, sorting by the column headers,
// columns as wide as what they show, and the keys that reload and go up.
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

    // The controls that follow the window's size, checked against its client area.
    void expectLayout() const {
        SCOPED_TRACE("client " + std::to_string(clientSize(app.main()).cx) + " x " +
                     std::to_string(clientSize(app.main()).cy));
        const SIZE client = clientSize(app.main());
        const int w = client.cx;
        const int margin = px(80);
        const RECT status = at(ids::StatusBar1);
        EXPECT_EQ(status.left, 0);
        EXPECT_EQ(status.right, w);
        EXPECT_EQ(status.bottom, client.cy);
        EXPECT_NEAR(status.bottom - status.top, px(270), 2);
        const int t = status.top;

        const RECT help = at(ids::cmdHelp), option = at(ids::cmdOption), exit = at(ids::cmdExit);
        const RECT update = at(ids::cmdUpdate);
        EXPECT_NEAR(help.right, w - margin, 2);
        EXPECT_EQ(option.left, help.left);
        EXPECT_NEAR(exit.right, help.left - margin, 2);
        EXPECT_NEAR(exit.right - exit.left, px(1070), 2);
        EXPECT_NEAR(update.left, px(90), 1);
        EXPECT_NEAR(update.right, exit.left - margin, 2);
        EXPECT_NEAR(at(ids::txtFolderComment).right, w - margin, 2);

        const RECT tree = at(ids::tvwFolders), files = at(ids::lvwFiles);
        EXPECT_NEAR(tree.bottom, t - margin, 2);
        EXPECT_NEAR(files.bottom, t - margin, 2);
        EXPECT_NEAR(files.right, w - margin, 2);
        // What does not follow the window stays where it was put.
        EXPECT_NEAR(tree.left, px(60), 1);
        EXPECT_NEAR(tree.right - tree.left, px(2325), 2);
        EXPECT_NEAR(files.left, px(2490), 1);
        EXPECT_NEAR(files.top, px(2010), 1);
        const RECT label = at(ids::lblFolderList);
        EXPECT_NEAR(label.left, px(90), 1);
        EXPECT_NEAR(label.top, px(1080), 1);
        EXPECT_NEAR(label.right - label.left, px(2295), 2);
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

TEST_F(MainWindowTest, StartedOnAFileShowsItsRowMaximisedWithTheFocusOnExitAndLaysOutAtTwoSizesAndTheMinimum) {
    file(L"report.txt", "x", 2024, 3, 1, 9, 5, 3);
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
    const RECT header = l.headerRect(0);
    const RECT listRect = screenRect(l.hwnd());
    EXPECT_GE(shown.top, header.bottom);
    EXPECT_LE(shown.bottom, listRect.bottom);

    // Maximised: the work area of its monitor (less what a window manager's
    // own frame may take).
    EXPECT_TRUE(IsZoomed(app.main()));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(app.main(), MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT window = screenRect(app.main());
    EXPECT_GE(window.right - window.left, (monitor.rcWork.right - monitor.rcWork.left) * 9 / 10);
    EXPECT_GE(window.bottom - window.top, (monitor.rcWork.bottom - monitor.rcWork.top) * 9 / 10);
    std::wstring caption = L" " + folderForm(folder);
    CharUpperW(caption.data());
    EXPECT_EQ(textOf(app.main()), caption);
    EXPECT_EQ(textOf(app.control(ids::cmdExit)), L"終 了");
    EXPECT_EQ(textOf(app.control(ids::cmdHelp)), L"操作説明");
    EXPECT_EQ(textOf(app.control(ids::cmdOption)), L"設　　　定");
    EXPECT_EQ(textOf(app.control(ids::lblFolderList)), L"フォルダーリスト");
    EXPECT_EQ(textOf(app.control(ids::lblStatus)), L"フォルダーコメント");
    EXPECT_EQ(textOf(app.control(ids::Label3)), L"ファイルリスト");
    EXPECT_EQ(focusOf(app.main()), app.control(ids::cmdExit));
    // Its focus frame shows before any key is used.
    EXPECT_EQ(send(app.control(ids::cmdExit), WM_QUERYUISTATE).value_or(UISF_HIDEFOCUS) & UISF_HIDEFOCUS, 0);
    ASSERT_NO_FATAL_FAILURE(expectLayout());

    // The Tab key walks the controls that take the focus in tab order.
    SetForegroundWindow(app.main());
    ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == app.main(); }, 3000));
    const int order[] = {ids::cmdUpdate, ids::txtFolderComment, ids::lvwFiles, ids::tvwFolders,
                         ids::cmdHelp,   ids::cmdOption,        ids::cmdExit};
    for (int id : order) {
        pressKey(VK_TAB);
        EXPECT_TRUE(waitUntil([&] { return focusOf(app.main()) == app.control(id); }, 2000)) << "Tab did not reach control " << id;
    }

    // A normal window of its own size.
    ShowWindow(app.main(), SW_RESTORE);
    ASSERT_TRUE(waitUntil([&] { return !IsZoomed(app.main()); }, 3000));
    resizeTo(700, 520);
    EXPECT_EQ(outer().cx, 700);
    EXPECT_EQ(outer().cy, 520);
    ASSERT_NO_FATAL_FAILURE(expectLayout());

    // Too narrow: the width goes back to the minimum, the height stays.
    resizeTo(200, 500);
    EXPECT_NEAR(outer().cx, px(5745), 1);
    EXPECT_EQ(outer().cy, 500);
    // Too low as well: both at the minimum, everything still laid out inside.
    resizeTo(200, 100);
    EXPECT_NEAR(outer().cx, px(5745), 1);
    EXPECT_NEAR(outer().cy, px(3660), 1);
    ASSERT_NO_FATAL_FAILURE(expectLayout());
    const RECT files = at(ids::lvwFiles);
    EXPECT_GT(files.right - files.left, 0);
    EXPECT_GT(files.bottom - files.top, 0);
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

TEST_F(MainWindowTest, ListsFilesBackupsIconsAndCommentsSortsByTheHeadersAndKeepsWidthsThePersonDrags) {
    file(L"report.txt", std::string(10, 'r'), 2024, 3, 1, 9, 5, 3);
    file(L"説明.txt", std::string(100, 's'), 2024, 1, 15, 12, 0, 0);
    file(L"tool.exe", "MZ", 2024, 1, 1, 0, 0, 0);            // hidden by the display filter
    file(L"my_mabre_notes.txt", "n", 2024, 1, 1, 0, 0, 0);  // hidden by its name
    fs::create_directories(folder / L"下位");
    fs::create_directories(folder / L".git");
    fs::create_directories(folder / L"Old_MABRE");
    backup(L"report_2024-02-01 08-00-00.txt", std::string(9, 'o'));
    backup(L"report_2024-03-01 09-05-03.txt", std::string(10, 'r'));  // the version report.txt has
    backup(L"gone_2023-12-24 18-30-00.doc", std::string(12345678, 'g'));
    comments({L"フォルダのメモ, 一行で", L"report.txt_2024-03-01 09-05-03,今の版",
              L"report.txt_2024-02-01 08-00-00, 前の版", L"missing.txt_2020-01-01 00-00-00,消える"});
    ASSERT_NO_FATAL_FAILURE(start());

    const HWND treeWindow = app.control(ids::tvwFolders);
    const TreeNode tree = readTree(treeWindow);
    EXPECT_EQ(tree.text, folderForm(folder));
    // The whole path of the folder can be seen: the tree scrolls sideways.
    ASSERT_GT(rootTextRect(treeWindow).right, clientSize(treeWindow).cx) << "the path fits the tree anyway";
    EXPECT_TRUE(GetWindowLongW(treeWindow, GWL_STYLE) & WS_HSCROLL);
    for (int i = 0; i < 20; ++i) send(treeWindow, WM_HSCROLL, SB_PAGERIGHT);
    // (The text's rectangle keeps a margin of two pixels around it.)
    EXPECT_LE(rootTextRect(treeWindow).right - 2, clientSize(treeWindow).cx);
    EXPECT_TRUE(tree.expanded);
    EXPECT_TRUE(tree.selected);
    ASSERT_EQ(tree.children.size(), 1u);
    EXPECT_EQ(tree.children[0].text, L"下位");
    const LONG treeStyle = GetWindowLongW(app.control(ids::tvwFolders), GWL_STYLE);
    EXPECT_TRUE(treeStyle & TVS_HASLINES);
    EXPECT_FALSE(treeStyle & TVS_HASBUTTONS);

    const ListView l = list();
    EXPECT_EQ(GetWindowLongW(l.hwnd(), GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_EQ(l.extendedStyle() & (LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES),
              static_cast<DWORD>(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES));
    const auto columns = l.columns();
    ASSERT_EQ(columns.size(), 6u);
    const wchar_t* headers[] = {L"ファイル名", L"更新日", L"サイズ", L"BU", L"コメント", L"key"};
    const int formats[] = {LVCFMT_LEFT, LVCFMT_CENTER, LVCFMT_RIGHT, LVCFMT_CENTER, LVCFMT_LEFT, LVCFMT_LEFT};
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE("column " + std::to_string(i + 1));
        EXPECT_EQ(columns[i].header, headers[i]);
        EXPECT_EQ(columns[i].format, formats[i]);
    }
    // 更新日, サイズ and BU as wide as their widest cell and their header
    // with the room a cell leaves on either side, and at least as designed;
    // the others as designed, the key hidden.
    const auto needed = [&](std::size_t column, int designed) {
        int widest = l.stringWidth(headers[column]);
        for (const auto& r : l.rows()) widest = std::max(widest, l.stringWidth(r.cells[column]));
        return std::max(px(designed), widest + 12 * dpi() / 96);
    };
    const auto expectWidths = [&](const char* when) {
        SCOPED_TRACE(when);
        const auto c = l.columns();
        ASSERT_EQ(c.size(), 6u);
        EXPECT_NEAR(c[0].width, px(2000), 1);
        EXPECT_GE(c[1].width, needed(1, 1600));
        EXPECT_GE(c[2].width, needed(2, 700));
        EXPECT_GE(c[3].width, needed(3, 200));
        EXPECT_NEAR(c[4].width, px(10000), 1);
        EXPECT_EQ(c[5].width, 0);
    };
    expectWidths("after the load");

    // The copy of the version report.txt has, taken just now, is no row;
    // the others are rows.
    EXPECT_EQ(backupNames(), (std::vector<std::wstring>{L"gone_2023-12-24 18-30-00.doc",
                                                        L"report_2024-02-01 08-00-00.txt",
                                                        L"report_2024-03-01 09-05-03.txt"}));
    const auto rows = l.rows();
    ASSERT_EQ(rows.size(), 4u);
    const std::array<std::wstring, 6> expected[] = {
        {L"gone.doc", L"2023-12-24 18-30-00", L"12345678", L"*", L"", L"gone.doc_2023-12-24 18-30-00"},
        {L"report.txt", L"2024-02-01 08-00-00", L"9", L"*", L"前の版", L"report.txt_2024-02-01 08-00-00"},
        {L"report.txt", L"2024-03-01 09-05-03", L"10", L"", L"今の版", L"report.txt_2024-03-01 09-05-03"},
        {L"説明.txt", L"2024-01-15 12-00-00", L"100", L"", L"", L"説明.txt_2024-01-15 12-00-00"},
    };
    // In row-key order, whichever way round.
    const bool ascending = rows.front().cells[0] == L"gone.doc";
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rows[i].cells, expected[ascending ? i : 3 - i]) << "row " << i;
        EXPECT_GE(rows[i].image, 0) << "row " << i << " has no icon";
    }
    EXPECT_EQ(textOf(app.control(ids::txtFolderComment)), L"フォルダのメモ, 一行で");
    EXPECT_EQ(status(), L"サブフォルダ数：1、ファイル数：2、バックアップファイル数：2");
    // The icons are drawn.
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(waitUntil([&] { return showsPicture(l.itemRect(i, LVIR_ICON)); }, 3000)) << "row " << i;
    }

    // サイズ: ascending by size (the key right-aligned), then the other way.
    l.reveal(2);
    click(centre(l.headerRect(2)));
    EXPECT_TRUE(waitUntil([&] { return l.text(0, 2) == L"9"; }, 3000));
    auto sizes = [&] {
        std::vector<std::wstring> out;
        for (int i = 0; i < l.count(); ++i) out.push_back(l.text(i, 2));
        return out;
    };
    EXPECT_EQ(sizes(), (std::vector<std::wstring>{L"9", L"10", L"100", L"12345678"}));
    expectWidths("after a sort");
    EXPECT_EQ(l.text(0, 5), std::wstring(11, L' ') + L"9_report.txt");
    click(centre(l.headerRect(2)));
    EXPECT_TRUE(waitUntil([&] {
        return sizes() == std::vector<std::wstring>{L"12345678", L"100", L"10", L"9"};
    }, 3000));
    // ファイル名 after another column: ascending by name and time; again: descending.
    l.reveal(0);
    click(centre(l.headerRect(0)));
    const std::vector<std::wstring> byName{L"gone.doc", L"report.txt", L"report.txt", L"説明.txt"};
    EXPECT_TRUE(waitUntil([&] { return names() == byName && l.text(1, 1) == L"2024-02-01 08-00-00"; }, 3000));
    EXPECT_EQ(l.text(1, 5), L"report.txt_2024-02-01 08-00-00");
    click(centre(l.headerRect(0)));
    EXPECT_TRUE(waitUntil([&] { return names() == std::vector<std::wstring>(byName.rbegin(), byName.rend()); }, 3000));

    // サイズ dragged wider: the width stays through a reload (F5), a sort
    // and a move to the parent folder (Backspace).
    l.reveal(2);
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
    expectWidths("after a sort by time");
    click(centre(l.itemRect(0, LVIR_LABEL)));
    pressKey(VK_BACK);
    EXPECT_TRUE(waitUntil([&] { return readTree(treeWindow).text == folderForm(folder.parent_path()); }))
        << "Backspace did not go to the parent folder";
    EXPECT_EQ(l.columns()[2].width, dragged);
}

}  // namespace
}  // namespace mabrel::win32gui::test
