// The compare window on Windows (class kCompareWindowClass, the controls of
// control_ids.h): a sizeable window owned by the main window, modal to it,
// opened over it. Each side of the model's rows is a virtual list of its
// own that it draws itself, scrolling sideways by itself (a scrollbar each
// rather than wrapped lines, as in the Qt window), the line numbers drawn at
// its left edge wherever it is scrolled; both lists scroll up and down as
// one. Each side is coloured by what happened to its line, the changed
// characters marked; beside them a strip shows where the changes lie. The
// titles, the count of changes, the options, a find box (Ctrl+F, F3), the
// progress of a long comparison, and the buttons (Alt+Up, Alt+Down,
// Escape); Ctrl+C copies the lines chosen. It stays hidden until the model
// asks to be seen.
#pragma once

#include "gui/win32/gui_util.h"

#include <commctrl.h>

#include <string>

#include "backup/frm_compare.h"

namespace mabrel::win32gui {

class Win32Interaction;

class CompareWindow {
public:
    CompareWindow(Win32Interaction& ui, frm_compare& model);
    ~CompareWindow();
    CompareWindow(const CompareWindow&) = delete;
    CompareWindow& operator=(const CompareWindow&) = delete;

    // Returns once the model has unloaded.
    void run();

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT customDraw(NMLVCUSTOMDRAW& draw);
    void drawRow(HWND list, HDC dc, int row);
    void drawStrip(const DRAWITEMSTRUCT& item);
    void scrollToPlace();
    void syncVertical(HWND moved);
    void copySelection(HWND list);
    void findNext();
    bool preTranslate(const MSG& msg);
    void tick();
    void render();
    void layOut();
    void fitColumns();
    void closeByPerson();

    Win32Interaction& ui_;
    frm_compare& model_;
    HWND window_ = nullptr;
    HWND older_ = nullptr;
    HWND newer_ = nullptr;
    HWND list_ = nullptr;       // the newer side
    HWND olderList_ = nullptr;
    HWND strip_ = nullptr;
    HWND ignoreWhitespace_ = nullptr;
    HWND ignoreLineEnds_ = nullptr;
    HWND find_ = nullptr;
    int numbersWidth_ = 0;      // the line numbers' box at each list's left
    // Sideways each list is scrolled by a scrollbar of its own, its text
    // drawn from an offset: a list's own columns stop far short of a 100 KB line.
    HWND bars_[2] = {nullptr, nullptr};  // older, newer
    int offset_[2] = {0, 0};
    int contentWidth_[2] = {0, 0};
    void setOffset(int side, int offset);
    void scrolled(HWND bar, int code);
    int lastTop_ = 0;
    HWND status_ = nullptr;
    HWND progress_ = nullptr;
    HWND previous_ = nullptr;
    HWND next_ = nullptr;
    HWND close_ = nullptr;
    UINT dpi_ = 96;
    ControlLayout layout_;
    ULONGLONG started_ = 0;
    int shownScrollRequests_ = 0;
    const backup::TextComparison* shown_ = nullptr;
    // A cell's text handed to the list (it keeps only the pointer).
    std::wstring cellText_;
};

}  // namespace mabrel::win32gui
