// Small bridges between the toolkit-free windows and Win32: text, the
// monitor's resolution, twips, fonts and child controls placed in twips.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "app/controls.h"
#include "gui/shared/twips.h"
#include "platform/win32/wide.h"

namespace mabrel::win32gui {

using platform::win32::narrow;
using platform::win32::widen;

// Messages the windows post to themselves.
inline constexpr UINT kDeferredEvent = WM_APP + 1;

// The resolution of the monitor a window is on; the system's where Windows
// knows no per-monitor resolution.
UINT dpiOf(HWND window);
inline gui::TwipScale scaleFor(UINT dpi) { return gui::TwipScale(dpi, dpi); }

// Outer size of a window whose client area is clientWidth x clientHeight pixels.
SIZE outerSize(DWORD style, DWORD exStyle, int clientWidth, int clientHeight, UINT dpi);

// A window's text as UTF-8, and set only when it differs (a set text moves
// the caret of an edit box).
std::string windowText(HWND window);
void setWindowTextIfChanged(HWND window, const std::string& utf8);

enum class FontKind { Normal, Comment, BoldPicture, Lines };
// "ＭＳ Ｐゴシック" where it exists, otherwise a face with its metrics or the
// system's Japanese UI face:
// 9 points, 9.75 points for the folder comment, 9.75 bold for the refresh
// button; the compare window's lines in "ＭＳ ゴシック" (or a face whose
// characters line up as its do), 10 points. Made once per kind and
// resolution, kept while the program runs.
HFONT designFont(FontKind kind, UINT dpi);
// The face the windows are drawn in.
std::wstring designFace();

// Child controls laid out in twips; laid out again when the resolution changes.
class ControlLayout {
public:
    struct Placed {
        HWND window;
        Geometry geometry;
        FontKind font;
    };

    HWND add(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style, DWORD exStyle,
             const Geometry& geometry, int id, FontKind font, UINT dpi);
    void setGeometry(HWND window, const Geometry& geometry);
    // Moves every control to its geometry at dpi, with the fonts of dpi.
    void apply(UINT dpi) const;
    const std::vector<Placed>& controls() const { return controls_; }

private:
    std::vector<Placed> controls_;
};

// Whether the control is a push button (not a radio button, frame or check box).
bool isPushButton(HWND control);
bool hasClass(HWND control, const wchar_t* className);

}  // namespace mabrel::win32gui
