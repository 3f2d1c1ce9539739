// The message box, input box and small windows on an X server under a real
// window manager, where the desktop's style and the window manager's title
// bar take part: Japanese standard buttons without icons, and captions the
// title bar shows in full.
#include <gtest/gtest.h>

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <map>

#include "backup/frm_rclick.h"
#include "gui/qt/dialogs.h"
#include "gui/qt/qt_interaction.h"
#include "platform/native.h"
#include "support/modal_script.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {
namespace {

// Its buttons' texts, sorted, and whether any has an icon.
std::pair<QStringList, bool> buttonsOf(QWidget* box) {
    QStringList texts;
    bool icons = false;
    for (QPushButton* b : box->findChildren<QPushButton*>()) {
        texts << b->text();
        icons = icons || !b->icon().isNull();
    }
    texts.sort();
    return {texts, icons};
}

// How many pixels the window manager draws over the window's title bar
// background (text, icon, buttons), once it has framed and painted it. The
// background is each row's commonest colour; the frame's edges are left out.
int titleInk(QWidget* w) {
    const QString id = QString::number(w->winId());
    int top = 0;
    EXPECT_TRUE(x::waitUntil([&] {
        // "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom"
        const std::string extents = x::run({"xprop", "-id", id, "_NET_FRAME_EXTENTS"});
        int left = 0, right = 0, bottom = 0;
        const auto at = extents.find("= ");
        return at != std::string::npos &&
               std::sscanf(extents.c_str() + at + 2, "%d, %d, %d, %d", &left, &right, &top, &bottom) == 4 && top > 0;
    })) << "the window manager framed no title bar";
    x::settle(400);
    const std::string info = x::run({"xwininfo", "-id", id});
    const auto after = [&](const std::string& key) { return std::atoi(info.c_str() + info.find(key) + key.size()); };
    static QTemporaryDir shots;
    const QString file = shots.filePath(QStringLiteral("bar-%1.png").arg(id));
    x::run({"import", "-window", "root", "-crop",
            QStringLiteral("%1x%2+%3+%4")
                .arg(after("Width:"))
                .arg(top)
                .arg(after("Absolute upper-left X:"))
                .arg(after("Absolute upper-left Y:") - top),
            "+repage", file});
    const QImage bar(file);
    int ink = 0;
    for (int y = 0; y < bar.height(); ++y) {
        std::map<QRgb, int> colours;
        for (int x = 4; x < bar.width() - 4; ++x) ++colours[bar.pixel(x, y)];
        const QRgb back = std::max_element(colours.begin(), colours.end(), [](auto& a, auto& b) {
                              return a.second < b.second;
                          })->first;
        for (int x = 4; x < bar.width() - 4; ++x) {
            const QRgb p = bar.pixel(x, y);
            ink +=
                std::abs(qRed(p) - qRed(back)) + std::abs(qGreen(p) - qGreen(back)) + std::abs(qBlue(p) - qBlue(back)) >
                96;
        }
    }
    return ink;
}

class DesktopDialogs : public ::testing::Test {
protected:
    DesktopDialogs() {
        owner.resize(800, 600);
        owner.show();
        ui.setOwner(&owner);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&owner));
    }

    ProcessState state;
    std::unique_ptr<platform::FileSystem> fs = platform::makeNativeFileSystem();
    QtInteraction ui{*fs};
    QWidget owner;
    ModalScript script;
};

TEST_F(DesktopDialogs, MessageAndInputBoxesHaveJapaneseButtonsWithoutIcons) {
    script.on<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), QStringLiteral("mabrel9-iv"));
        EXPECT_EQ(box->text(), QStringLiteral("ｍａｂｒｅｌ９バックアップファイルではありません。"));
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(buttonsOf(box), std::make_pair(QStringList{QStringLiteral("OK")}, false));
        click(box->button(QMessageBox::Ok));
    });
    ui.messageBox("ｍａｂｒｅｌ９バックアップファイルではありません。");

    script.on<QInputDialog>([](QInputDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("コメントをつける"));
        EXPECT_EQ(d->labelText(), QStringLiteral("現在のコメント: 初版"));
        EXPECT_EQ(buttonsOf(d), std::make_pair(QStringList{QStringLiteral("OK"), QStringLiteral("キャンセル")}, false));
        retype(d->findChild<QLineEdit*>(), QStringLiteral("第二版"));
        QTest::keyClick(d->findChild<QLineEdit*>(), Qt::Key_Return);
    });
    EXPECT_EQ(ui.inputBox("現在のコメント: 初版", "コメントをつける", "初版"), std::optional<std::string>("第二版"));
    script.on<QInputDialog>([](QInputDialog* d) {
        for (QPushButton* b : d->findChildren<QPushButton*>()) {
            if (b->text() == QStringLiteral("キャンセル")) click(b);
        }
    });
    EXPECT_EQ(ui.inputBox("p", "t", "kept"), std::nullopt);
}

TEST_F(DesktopDialogs, TheContextMenusCaptionShowsInFullInItsTitleBar) {
    // What the window manager draws for the caption on the same window made
    // wide enough for any title bar: nothing of it is cut there.
    frm_rclick wide(state);
    RClickDialog reference(wide, &owner);
    reference.setFixedWidth(900);
    reference.show();
    reference.activateWindow();
    ASSERT_TRUE(x::waitUntil([&] { return reference.isActiveWindow(); }));
    const int whole = titleInk(&reference);
    reference.close();
    ASSERT_GT(whole, 0);

    frm_rclick menu(state);
    int shown = 0;
    script.on<RClickDialog>([&](RClickDialog* d) {
        shown = titleInk(d);
        click(d->button(frm_rclick::kCancel));
    });
    ui.showModal(menu);
    // Less ink where the caption is cut short ("m…").
    EXPECT_GE(shown, whole * 97 / 100) << "of " << whole;
}

}  // namespace
}  // namespace mabrel::gui::test
