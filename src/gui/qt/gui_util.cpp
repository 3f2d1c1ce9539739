#include "gui/qt/gui_util.h"

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

}  // namespace mabrel::gui
