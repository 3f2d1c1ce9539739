// Twips (1440 to the inch) and pixels at a resolution in dots per inch: the
// one conversion every front end lays its windows out with.
#pragma once

#include <cmath>

#include "app/controls.h"

namespace mabrel::gui {

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

class TwipScale {
public:
    constexpr TwipScale(double dpiX = 96.0, double dpiY = 96.0) : dpiX_(dpiX), dpiY_(dpiY) {}

    int toPxX(int twips) const { return scale(twips, dpiX_, 1440.0); }
    int toPxY(int twips) const { return scale(twips, dpiY_, 1440.0); }
    int fromPxX(int px) const { return scale(px, 1440.0, dpiX_); }
    int fromPxY(int px) const { return scale(px, 1440.0, dpiY_); }

    // Edges are converted, not sizes, so that neighbours that touch in twips
    // still touch in pixels.
    PixelRect toPixels(const Geometry& g) const {
        const int left = toPxX(g.left);
        const int top = toPxY(g.top);
        return {left, top, toPxX(g.left + g.width) - left, toPxY(g.top + g.height) - top};
    }

private:
    static int scale(double value, double numerator, double denominator) {
        return static_cast<int>(std::lround(value * numerator / denominator));
    }
    double dpiX_;
    double dpiY_;
};

}  // namespace mabrel::gui
