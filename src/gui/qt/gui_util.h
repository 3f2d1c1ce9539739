// Small bridges between the toolkit-free windows and Qt: text, twips and the
// fonts the windows were designed with.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <string>

#include "app/controls.h"
#include "gui/shared/twips.h"

class QKeyEvent;
class QWidget;

namespace mabrel::gui {

inline QString toQ(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }
inline std::string fromQ(const QString& text) { return text.toUtf8().toStdString(); }

// The shared conversion, with Qt's rectangle and the widget's screen.
class Twips : public TwipScale {
public:
    using TwipScale::TwipScale;
    // The resolution of the screen the widget is on.
    static Twips of(const QWidget* widget);
    QRect toPx(const Geometry& g) const {
        const PixelRect r = toPixels(g);
        return QRect(r.left, r.top, r.width, r.height);
    }
};

// "ＭＳ Ｐゴシック" where it exists, otherwise a face with the same metrics
// (IPA P Gothic on Linux).
QFont designFont(double pointSize, bool bold = false);

// Qt's own texts (standard buttons, a text box's menu) in Japanese, and the
// design's face for every window, menu and tip that sets no font itself.
void useJapanese();

// The width a small window needs for its caption to be read in full in a
// window manager's title bar, beside its icon and buttons.
int titleBarWidth(const QString& caption);

// Enter presses the button of `window` that has the focus, as on Windows; no
// button is a window's default. True when the key was taken so.
bool pressFocusedButton(QWidget* window, QKeyEvent* event);

}  // namespace mabrel::gui
