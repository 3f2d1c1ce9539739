// Small bridges between the toolkit-free windows and Qt: text, twips and the
// fonts the windows were designed with.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <string>

#include "app/controls.h"

class QWidget;

namespace mabrel::gui {

inline QString toQ(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }
inline std::string fromQ(const QString& text) { return text.toUtf8().toStdString(); }

// Twips (1440 to the inch) and pixels at a logical resolution in dots per inch.
class Twips {
public:
    Twips(double dpiX = 96.0, double dpiY = 96.0) : dpiX_(dpiX), dpiY_(dpiY) {}
    // The resolution of the screen the widget is on.
    static Twips of(const QWidget* widget);

    int toPxX(int twips) const;
    int toPxY(int twips) const;
    int fromPxX(int px) const;
    int fromPxY(int px) const;
    QRect toPx(const Geometry& g) const;

private:
    double dpiX_;
    double dpiY_;
};

// "ＭＳ Ｐゴシック" where it exists, otherwise a face with the same metrics
// (IPA P Gothic on Linux).
QFont designFont(double pointSize, bool bold = false);

}  // namespace mabrel::gui
