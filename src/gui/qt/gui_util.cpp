#include "gui/qt/gui_util.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLibraryInfo>
#include <QLocale>
#include <QKeyEvent>
#include <QPushButton>
#include <QStringList>
#include <QTranslator>
#include <QWidget>
#include <algorithm>

#include "gui/shared/title_bar.h"

namespace mabrel::gui {

Twips Twips::of(const QWidget* widget) {
    if (widget == nullptr) return Twips();
    return Twips(widget->logicalDpiX(), widget->logicalDpiY());
}

QFont designFont(double pointSize, bool bold) {
    QFont font;
    font.setFamilies(QStringList{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                                 QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                                 QStringLiteral("VL PGothic"),
                                 // Characters the IPA faces lack (𠮷, Hangul).
                                 QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

void useJapanese() {
    auto* translator = new QTranslator(qApp);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
    QApplication::setFont(designFont(9));
}

int titleBarWidth(const QString& caption) {
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPointSizeF(std::max(font.pointSizeF(), kTitleBarPoints));
    const QFontMetrics metrics(font);
    return titleBarWidth(metrics.horizontalAdvance(caption), metrics.height());
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
