// The small windows, the message box and the input box on an X server under a
// real window manager: each shows its model and passes on each kind of ending
// (a button, the close box, Escape) and of input (a click on a choice,
// typing); the desktop's style and the window manager's title bar take part:
// Japanese standard buttons without icons, captions shown in full. What the
// models then decide is tested with the models.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <cstdio>
#include <map>

#include "backup/frm_rclick.h"
#include "drives/frm_drive.h"
#include "gui/qt/dialogs.h"
#include "gui/qt/qt_interaction.h"
#include "platform/native.h"
#include "settings/frm_option.h"
#include "support/forwarding_filesystem.h"
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
    const QImage bar = QGuiApplication::primaryScreen()  // the root window's pixels
                           ->grabWindow(0, after("Absolute upper-left X:"), after("Absolute upper-left Y:") - top,
                                        after("Width:"), top)
                           .toImage();
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

// The machine's file system with a drive table of the test's choosing.
class DriveTableFs : public platform::ForwardingFileSystem {
public:
    DriveTableFs() : ForwardingFileSystem(*native_) {}
    unsigned driveType(const std::string& root) override {
        static const std::map<char, unsigned> types{{'A', 2}, {'C', 3}, {'D', 5}, {'N', 4}, {'R', 6}, {'X', 9}};
        const auto it = types.find(root.empty() ? '?' : root[0]);
        return it == types.end() ? 1 : it->second;
    }

private:
    static inline std::unique_ptr<platform::FileSystem> native_ = platform::makeNativeFileSystem();
};

class DesktopDialogs : public ::testing::Test {
protected:
    DesktopDialogs() {
        owner.resize(800, 600);
        owner.show();
        ui.setOwner(&owner);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&owner));
    }

    ProcessState state;
    DriveTableFs fs;
    QtInteraction ui{fs};
    QWidget owner;
    ModalScript script;
};

// Boxes with Japanese buttons without icons; the small windows showing their
// models.
TEST_F(DesktopDialogs, EachBoxAndSmallWindowShowsWhatItIsGivenAndPassesOnWhatWasChosen) {
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

    // The options window's OK stores what was chosen and typed; Escape and
    // the drive chooser's キャンセル, nothing. Typing in the drive chooser is
    // the main window's keyboard test's.
    for (const bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "OK" : "not OK");
        state.exceptionExtList1 = state.exceptionExtList2 = ".exe.dll.";
        state.exceptionExtList2Mode = 0;
        frm_option options(state);
        script.on<OptionDialog>([&](OptionDialog* d) {
            EXPECT_EQ(d->windowTitle().toStdString(), options.caption);
            EXPECT_TRUE(d->option2(frm_option::kExcludeListed)->isChecked());
            EXPECT_EQ(d->text2()->text(), QStringLiteral(".exe.dll."));
            click(d->option2(frm_option::kOnlyListed));
            retype(d->text2(), QStringLiteral("txt, doc"));
            ok ? click(d->okButton()) : QTest::keyClick(d->text2(), Qt::Key_Escape);
        });
        ui.showModal(options);
        EXPECT_EQ(state.p_dialogResult, ok ? 1 : 0);
        EXPECT_EQ(state.exceptionExtList2Mode, ok ? 1 : 0);
        EXPECT_EQ(state.exceptionExtList2, ok ? frm_option::normaliseList("txt, doc") : ".exe.dll.");

        frm_drive chooser(state, ui, "C:\\Docs\\");
        script.on<DriveDialog>([&](DriveDialog* d) {
            EXPECT_EQ(d->windowTitle().toStdString(), chooser.caption);
            for (std::size_t i = 0; i < chooser.Option1.size(); ++i) {
                EXPECT_EQ(d->option(static_cast<int>(i))->text().toStdString(), chooser.Option1[i].caption);
                EXPECT_EQ(d->option(static_cast<int>(i))->isEnabled(), chooser.Option1[i].enabled) << i;
            }
            EXPECT_TRUE(d->option(0)->isChecked());
            EXPECT_EQ(d->text1()->text(), QStringLiteral("C:\\Docs\\"));
            EXPECT_EQ(d->focusWidget(), d->text1());
            click(d->option(4));
            click(ok ? d->okButton() : d->cancelButton());
        });
        ui.showModal(chooser);
        EXPECT_EQ(state.p_chosenPath, ok ? "D:\\" : "");
    }
}

TEST_F(DesktopDialogs, TheContextMenuShowsItsModelItsCaptionInFullInItsTitleBarAndItsCloseBoxReportsNothing) {
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
    menu.Command1[frm_rclick::kRestore].enabled = false;
    int shown = 0;
    script.on<RClickDialog>([&](RClickDialog* d) {
        shown = titleInk(d);
        EXPECT_EQ(d->windowTitle().toStdString(), menu.caption);
        for (std::size_t i = 0; i < menu.Command1.size(); ++i) {
            EXPECT_EQ(d->button(static_cast<int>(i))->text().toStdString(), menu.Command1[i].caption);
            EXPECT_EQ(d->button(static_cast<int>(i))->isEnabled(), menu.Command1[i].enabled) << i;
        }
        click(d->button(frm_rclick::kRestore));  // disabled: no click
        d->close();
    });
    state.p_dialogResult = 7;
    ui.showModal(menu);
    // Less ink where the caption is cut short ("m…").
    EXPECT_GE(shown, whole * 97 / 100) << "of " << whole;
    EXPECT_TRUE(menu.unloaded);
    EXPECT_EQ(state.p_dialogResult, 0);
}

}  // namespace
}  // namespace mabrel::gui::test
