// The small windows, message box and input box on an X server under a real
// window manager, where the desktop's style and the window manager's title
// bar take part: Japanese standard buttons without icons, and captions the
// title bar shows in full.
#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <tuple>

#include "backup/frm_rclick.h"
#include "gui/qt/dialogs.h"
#include "gui/qt/gui_util.h"
#include "gui/qt/qt_interaction.h"
#include "platform/native.h"
#include "support/modal_script.h"
#include "support/typing.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {
namespace {

class DesktopDialogs : public ::testing::Test {
protected:
    DesktopDialogs() {
        owner.resize(800, 600);
        owner.show();
        ui.setOwner(&owner);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&owner));
    }

    static QStringList buttonTexts(QWidget* box) {
        QStringList texts;
        for (QPushButton* b : box->findChildren<QPushButton*>()) texts << b->text();
        texts.sort();
        return texts;
    }
    static bool anyButtonIcon(QWidget* box) {
        for (QPushButton* b : box->findChildren<QPushButton*>()) {
            if (!b->icon().isNull()) return true;
        }
        return false;
    }

    // The window manager's title bar of a window once it has framed and
    // painted it, as the X server shows it.
    static QImage titleBar(QWidget* w) {
        const QString id = QString::number(w->winId());
        const auto numberAfter = [](const std::string& text, const std::string& key) {
            const auto at = text.find(key);
            return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + key.size());
        };
        int top = 0;
        std::string extents;
        EXPECT_TRUE(x::waitUntil([&] {
            // "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom"
            extents = x::run(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")});
            int left = 0, right = 0, bottom = 0;
            const auto at = extents.find("= ");
            return at != std::string::npos &&
                   std::sscanf(extents.c_str() + at + 2, "%d, %d, %d, %d", &left, &right, &top, &bottom) == 4 &&
                   top > 0;
        })) << "the window manager framed no title bar";
        x::settle(400);
        const std::string info = x::run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
        const int x = numberAfter(info, "Absolute upper-left X:"), y = numberAfter(info, "Absolute upper-left Y:");
        const QString file = shots.filePath(QStringLiteral("bar-%1.png").arg(id));
        x::run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"),
                                          QStringLiteral("%1x%2+%3+%4").arg(numberAfter(info, "Width:")).arg(top).arg(x).arg(y - top),
                                          QStringLiteral("+repage"), file});
        return QImage(file);
    }
    // The pixels drawn over a title bar's background (text, icon, buttons).
    // The background is each row's commonest colour; the frame's edges are
    // left out.
    static int ink(const QImage& bar) {
        int count = 0;
        for (int y = 0; y < bar.height(); ++y) {
            std::map<QRgb, int> colours;
            for (int x = 4; x < bar.width() - 4; ++x) ++colours[bar.pixel(x, y)];
            QRgb background = 0;
            int most = 0;
            for (const auto& [colour, n] : colours) {
                if (n > most) std::tie(background, most) = std::tie(colour, n);
            }
            for (int x = 4; x < bar.width() - 4; ++x) {
                const QRgb p = bar.pixel(x, y);
                const int distance = std::abs(qRed(p) - qRed(background)) + std::abs(qGreen(p) - qGreen(background)) +
                                     std::abs(qBlue(p) - qBlue(background));
                count += distance > 96 ? 1 : 0;
            }
        }
        return count;
    }

    static inline QTemporaryDir shots;
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
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        EXPECT_EQ(buttonTexts(box), QStringList{QStringLiteral("OK")});
        EXPECT_FALSE(anyButtonIcon(box));
        click(box->button(QMessageBox::Ok));
    });
    ui.messageBox("ｍａｂｒｅｌ９バックアップファイルではありません。");

    script.on<QInputDialog>([](QInputDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("コメントをつける"));
        EXPECT_EQ(d->labelText(), QStringLiteral("現在のコメント: 初版"));
        EXPECT_EQ(d->textValue(), QStringLiteral("初版"));
        EXPECT_EQ(buttonTexts(d), (QStringList{QStringLiteral("OK"), QStringLiteral("キャンセル")}));
        EXPECT_FALSE(anyButtonIcon(d));
        auto* edit = d->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        retype(edit, QStringLiteral("第二版"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_EQ(ui.inputBox("現在のコメント: 初版", "コメントをつける", "初版"), std::optional<std::string>("第二版"));
    script.on<QInputDialog>([](QInputDialog* d) {
        for (QPushButton* b : d->findChildren<QPushButton*>()) {
            if (b->text() == QStringLiteral("キャンセル")) click(b);
        }
    });
    EXPECT_EQ(ui.inputBox("p", "t", "kept"), std::nullopt);
    EXPECT_TRUE(script.done());
    EXPECT_TRUE(script.unexpected.empty());
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
    const int whole = ink(titleBar(&reference));
    reference.close();
    ASSERT_GT(whole, 0);

    frm_rclick menu(state);
    int shown = 0;
    script.on<RClickDialog>([&](RClickDialog* d) {
        shown = ink(titleBar(d));
        // The buttons keep their places in the wider window.
        EXPECT_EQ(d->button(frm_rclick::kCancel)->geometry(),
                  Twips::of(&owner).toPx(menu.Command1[frm_rclick::kCancel].geometry));
        click(d->button(frm_rclick::kCancel));
    });
    ui.showModal(menu);
    EXPECT_TRUE(script.done());
    // Less ink where the caption is cut short ("m…").
    EXPECT_GE(shown, whole * 97 / 100) << "of " << whole;
}

}  // namespace
}  // namespace mabrel::gui::test
