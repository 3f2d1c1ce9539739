// The compare window on Windows (class kCompareWindowClass, the controls of
// control_ids.h): a sizeable window owned by the main window, modal to it,
// with the model's rows in a virtual list of four columns (line number and
// text of each side) that it draws itself, each side coloured by what
// happened to its line and the changed characters marked; the titles, the
// count of changes, the progress of a long comparison, and the buttons
// (Alt+Up, Alt+Down, Escape). It stays hidden until the model asks to be seen.
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
    void drawCell(HDC dc, int row, int column);
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
    HWND list_ = nullptr;
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
