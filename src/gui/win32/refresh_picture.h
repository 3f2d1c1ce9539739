// The refresh button's picture, decoded from the GIF in the executable's
// resources with GDI+ and scaled to the monitor's resolution.
#pragma once

#include "gui/win32/gui_util.h"

namespace mabrel::win32gui {

// A 32-bit bitmap of the picture at dpi (176 x 50 at 96 dots per inch) that
// keeps its transparency (straight alpha, as an image list takes it), so
// that it sits on whatever face the button has; null when it cannot be made.
HBITMAP makeRefreshPicture(UINT dpi);

}  // namespace mabrel::win32gui
