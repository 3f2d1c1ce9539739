// The refresh button's picture, decoded from the GIF in the executable's
// resources with GDI+ and scaled to the monitor's resolution.
#pragma once

#include "gui/win32/gui_util.h"

namespace mabrel::win32gui {

// A bitmap of the picture at dpi (176 x 50 at 96 dots per inch) on the
// background colour; null when it cannot be made.
HBITMAP makeRefreshPicture(UINT dpi, COLORREF background);

}  // namespace mabrel::win32gui
