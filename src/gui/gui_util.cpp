#include "gui/gui_util.h"

#include <QStringList>
#include <QWidget>
#include <cmath>

namespace mabrel::gui {

namespace {

int scale(double value, double numerator, double denominator) {
    return static_cast<int>(std::lround(value * numerator / denominator));
}

}  // namespace

Twips Twips::of(const QWidget* widget) {
    if (widget == nullptr) return Twips();
    return Twips(widget->logicalDpiX(), widget->logicalDpiY());
}

int Twips::toPxX(int twips) const { return scale(twips, dpiX_, 1440.0); }
int Twips::toPxY(int twips) const { return scale(twips, dpiY_, 1440.0); }
int Twips::fromPxX(int px) const { return scale(px, 1440.0, dpiX_); }
int Twips::fromPxY(int px) const { return scale(px, 1440.0, dpiY_); }

QRect Twips::toPx(const Geometry& g) const {
    // Edges are converted, not sizes, so that neighbours that touch in twips
    // still touch in pixels.
    const int left = toPxX(g.left);
    const int top = toPxY(g.top);
    return QRect(left, top, toPxX(g.left + g.width) - left, toPxY(g.top + g.height) - top);
}

QFont designFont(double pointSize, bool bold) {
    QFont font;
    font.setFamilies(QStringList{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                                 QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                                 QStringLiteral("VL PGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

}  // namespace mabrel::gui
