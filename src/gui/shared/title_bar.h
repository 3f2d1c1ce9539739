// How wide a small window must be for its caption to read in full in a title
// bar. Window managers draw the caption bold, often larger than the program's
// text (11 points in GNOME's), beside the window's icon and up to three
// buttons, each about as wide as the bar is high. Each front end measures the
// caption in such a face; the room around it is reckoned here once.
#pragma once

#include <cmath>

namespace mabrel::gui {

// The least caption size, in points, a window manager is taken to draw.
inline constexpr double kTitleBarPoints = 11.0;

// `textWidth` and `textHeight`: the caption measured bold at kTitleBarPoints
// or more, in pixels; `pixelsPerDip`: the screen's pixels per 1/96 inch.
inline int titleBarWidth(int textWidth, int textHeight, double pixelsPerDip = 1.0) {
    const auto px = [pixelsPerDip](int dips) { return static_cast<int>(std::lround(dips * pixelsPerDip)); };
    const int bar = textHeight + px(8);
    return textWidth + 4 * bar + px(16);
}

}  // namespace mabrel::gui
