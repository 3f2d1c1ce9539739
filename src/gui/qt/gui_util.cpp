#include "gui/qt/gui_util.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

namespace mabrel::gui {

Twips Twips::of(const QWidget* widget) {
    if (widget == nullptr) return Twips();
    return Twips(widget->logicalDpiX(), widget->logicalDpiY());
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

bool pressFocusedButton(QWidget* window, QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) return false;
    if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    auto* button = qobject_cast<QPushButton*>(window->focusWidget());
    if (button == nullptr || button->window() != window || !button->isEnabled() || !button->isVisible()) return false;
    if (!event->isAutoRepeat()) button->click();  // a key held down presses once
    return true;
}

}  // namespace mabrel::gui
