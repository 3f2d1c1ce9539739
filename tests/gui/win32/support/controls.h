// What the controls of another process show, read the way any program can:
// window messages (with structures placed in that process where the message
// needs one) and the window manager's own records (rectangles, styles).
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <string>
#include <vector>

#include "support/remote.h"

namespace mabrel::win32gui::test {

// WM_GETTEXT: the text a control holds now (an edit box's typed text too).
std::wstring textOf(HWND window);
// WM_SETTEXT, as typing would leave it (an edit box reports the change).
void setText(HWND window, const std::wstring& text);
// Screen rectangle of a window.
RECT screenRect(HWND window);
// A child's rectangle in its parent's client coordinates.
RECT rectInParent(HWND child);
SIZE clientSize(HWND window);
POINT centre(const RECT& r);
bool isChecked(HWND button);
// The window with the keyboard focus in the thread that owns `window`.
HWND focusOf(HWND window);

struct ListColumn {
    std::wstring header;
    int width = 0;   // pixels
    int format = 0;  // LVCFMT_LEFT, LVCFMT_RIGHT or LVCFMT_CENTER
};

struct ListRow {
    std::array<std::wstring, 6> cells;
    int image = -1;
    bool selected = false;
};

class ListView {
public:
    explicit ListView(HWND list);
    HWND hwnd() const { return list_; }

    int count() const;
    std::vector<ListColumn> columns() const;
    std::wstring text(int item, int column) const;
    std::vector<ListRow> rows() const;
    DWORD extendedStyle() const;
    // Screen rectangles of a row (LVIR_BOUNDS, LVIR_ICON, ...) and of a header.
    RECT itemRect(int item, int part = LVIR_BOUNDS) const;
    RECT headerRect(int column) const;
    // Scrolls the list sideways, as its scroll bar would, until a header is in view.
    void reveal(int column) const;
    // LVM_GETSTRINGWIDTHW: how wide a text is in the list's font, without
    // the room a cell gives it on either side.
    int stringWidth(const std::wstring& text) const;
    // Index of the first row whose cells match (empty strings match anything).
    int find(const std::wstring& name, const std::wstring& modified = {}, const std::wstring& bu = {}) const;

private:
    HWND list_;
    ProcessHandle process_;
    RemoteBuffer buffer_;
};

struct TreeNode {
    std::wstring text;
    bool selected = false;
    bool expanded = false;
    std::vector<TreeNode> children;
};

// The first root node of a tree view with its children (two levels).
TreeNode readTree(HWND tree);
// Where the first root node's text is, in the tree's client coordinates.
RECT rootTextRect(HWND tree);

// The text of a status bar's part (its simple text in simple mode).
std::wstring statusText(HWND statusBar, int part = 0);

// Top-level windows of a process: visible, of a window class, in z-order.
std::vector<HWND> topLevelWindows(DWORD pid, const std::wstring& windowClass);
std::wstring classOf(HWND window);
// A control by its ID among all descendants (a frame's option buttons too).
HWND findControl(HWND root, int id);
// Visible children of a window of a class (e.g. L"Button").
std::vector<HWND> visibleChildren(HWND parent, const std::wstring& windowClass);

}  // namespace mabrel::win32gui::test
