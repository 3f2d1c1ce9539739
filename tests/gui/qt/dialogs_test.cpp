// The three small windows as the person meets them: real dialogs, driven by
// mouse and keyboard, checked against what the window models then hold.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <map>

#include "backup/frm_rclick.h"
#include "drives/frm_drive.h"
#include "gui/qt/dialogs.h"
#include "gui/qt/gui_util.h"
#include "gui/qt/qt_interaction.h"
#include "platform/forwarding_filesystem.h"
#include "platform/native.h"
#include "settings/frm_option.h"
#include "support/modal_script.h"
#include "support/typing.h"

namespace mabrel::gui::test {
namespace {

const std::string kDefaultList = ".bin.com.dic.dll.exe.fon.fnt.ocx.sys.vxd.";

// The machine's file system with a drive table of the test's choosing.
class DriveTableFs : public platform::ForwardingFileSystem {
public:
    explicit DriveTableFs(std::map<char, unsigned> types)
        : ForwardingFileSystem(*native_), types_(std::move(types)) {}
    unsigned driveType(const std::string& root) override {
        auto it = types_.find(root.empty() ? '?' : root[0]);
        return it == types_.end() ? 1 : it->second;
    }

private:
    static inline std::unique_ptr<platform::FileSystem> native_ = platform::makeNativeFileSystem();
    std::map<char, unsigned> types_;
};

class Dialogs : public ::testing::Test {
protected:
    Dialogs() { state.exceptionExtList1 = state.exceptionExtList2 = kDefaultList; }

    QRect px(const Geometry& g) const { return Twips().toPx(g); }

    ProcessState state;
    DriveTableFs fs{{{'A', 2}, {'C', 3}, {'D', 5}, {'N', 4}, {'R', 6}, {'X', 9}}};
    QtInteraction ui{fs};
    ModalScript script;
};

// --- Context menu ------------------------------------------------------------

TEST_F(Dialogs, ContextMenuShowsItsFiveButtonsWhereDesignedEnterOnOpeningCancelsAndTheTitleBarGivesNothing) {
    frm_rclick menu(state);
    menu.Command1[frm_rclick::kComment].enabled = false;  // two rows selected
    menu.Command1[frm_rclick::kRestore].enabled = false;
    state.p_dialogResult = 7;
    script.on<RClickDialog>([&](RClickDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral(" mabrel9-iv メニュー"));
        // 2295 x 3090 twips, wider where the caption needs it.
        EXPECT_EQ(d->height(), 206);
        EXPECT_GE(d->width(), 153);
        EXPECT_FALSE(d->windowFlags() & Qt::WindowMinimizeButtonHint);
        EXPECT_FALSE(d->windowFlags() & Qt::WindowMaximizeButtonHint);
        const char* captions[] = {"キャンセル", "コメント", "復 活", "削 除", "比 較"};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(d->button(i)->text(), QString::fromUtf8(captions[i]));
            EXPECT_EQ(d->button(i)->geometry(), px(menu.Command1[static_cast<std::size_t>(i)].geometry));
        }
        EXPECT_TRUE(d->button(0)->isEnabled());
        EXPECT_FALSE(d->button(1)->isEnabled());
        EXPECT_FALSE(d->button(2)->isEnabled());
        EXPECT_TRUE(d->button(3)->isEnabled());
        // Disabled buttons take no click.
        click(d->button(2));
        EXPECT_TRUE(d->isVisible());
        // The tab order starts at "キャンセル", then "削 除".
        EXPECT_EQ(d->focusWidget(), d->button(0));
        QTest::keyClick(d->focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(d->focusWidget(), d->button(3));
        QTest::keyClick(d->focusWidget(), Qt::Key_Backtab);
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
    });
    ui.showModal(menu);
    EXPECT_TRUE(script.done());
    EXPECT_TRUE(menu.unloaded);
    EXPECT_EQ(state.p_dialogResult, frm_rclick::kCancel);

    // Closed by its title bar it reports nothing. (Its other buttons act
    // through the main window's tests.)
    frm_rclick closed(state);
    script.on<RClickDialog>([](RClickDialog* d) { d->close(); });
    ui.showModal(closed);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(state.p_dialogResult, 0);
    EXPECT_TRUE(script.unexpected.empty());
}

// --- Options ---------------------------------------------------------------------

TEST_F(Dialogs, OptionsOpenOnTheStoredFiltersAndOkStoresTheTypedListsNormalised) {
    frm_option options(state);
    script.on<OptionDialog>([&](OptionDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral(" オプション"));
        EXPECT_EQ(d->size(), QSize(312, 248));  // 4680 x 3720 twips
        // Mode 0: the lower option of each frame.
        EXPECT_FALSE(d->option1(0)->isChecked());
        EXPECT_TRUE(d->option1(1)->isChecked());
        EXPECT_TRUE(d->option2(1)->isChecked());
        EXPECT_EQ(d->text1()->text(), QString::fromStdString(kDefaultList));
        EXPECT_EQ(d->text2()->text(), QString::fromStdString(kDefaultList));
        EXPECT_EQ(d->option1(0)->text(), QStringLiteral("下記の拡張子のファイルだけを表示する。"));
        // Options lie inside their frames; the text boxes on the window.
        EXPECT_EQ(d->option1(0)->parentWidget()->geometry(), px(options.Frame1.geometry));
        EXPECT_EQ(d->option1(1)->geometry(), px(options.Option1[1].geometry));
        EXPECT_EQ(d->text2()->geometry(), px(options.Text2.geometry));
        EXPECT_EQ(d->okButton()->text(), QStringLiteral("Ｏ Ｋ"));

        click(d->option1(0));
        EXPECT_FALSE(d->option1(1)->isChecked());
        retype(d->text1(), QStringLiteral("txt, doc"));
        retype(d->text2(), QString());
        click(d->okButton());
    });
    ui.showModal(options);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(state.p_dialogResult, 1);
    EXPECT_EQ(state.exceptionExtList1Mode, 1);
    EXPECT_EQ(state.exceptionExtList1, ".txtdoc.");
    EXPECT_EQ(state.exceptionExtList2Mode, 0);
    EXPECT_EQ(state.exceptionExtList2, ".");
}

TEST_F(Dialogs, OptionsCancelTitleBarAndEscapeChangeNothing) {
    for (int way = 0; way < 3; ++way) {
        frm_option options(state);
        script.on<OptionDialog>([way](OptionDialog* d) {
            click(d->option2(0));
            retype(d->text2(), QStringLiteral(".txt."));
            if (way == 0) click(d->cancelButton());
            if (way == 1) d->close();
            if (way == 2) QTest::keyClick(d->text2(), Qt::Key_Escape);
        });
        ui.showModal(options);
        EXPECT_TRUE(script.done());
        EXPECT_EQ(state.p_dialogResult, 0);
        EXPECT_EQ(state.exceptionExtList2Mode, 0);
        EXPECT_EQ(state.exceptionExtList2, kDefaultList);
    }
}

// --- Drive chooser -----------------------------------------------------------------

TEST_F(Dialogs, DriveChooserLabelsEachDriveByTypeAndOffersOnlyDrivesThatExist) {
    frm_drive chooser(state, ui, "C:\\Docs\\");
    script.on<DriveDialog>([&](DriveDialog* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral(" ドライブリスト"));
        EXPECT_EQ(d->size(), QSize(352, 370));  // 5280 x 5550 twips
        EXPECT_EQ(d->option(1)->text(), QStringLiteral("A:\\ (REMOVABLE (FDD))"));
        EXPECT_EQ(d->option(2)->text(), QStringLiteral("B:\\ (N/A)"));
        EXPECT_EQ(d->option(3)->text(), QStringLiteral("C:\\ (HDD)"));
        EXPECT_EQ(d->option(4)->text(), QStringLiteral("D:\\ (CD-ROM)"));
        EXPECT_EQ(d->option(14)->text(), QStringLiteral("N:\\ (NETWORK)"));
        EXPECT_EQ(d->option(18)->text(), QStringLiteral("R:\\ (RAMDISK)"));
        EXPECT_EQ(d->option(24)->text(), QStringLiteral("X:\\ (N/A)"));  // a code above 6
        EXPECT_FALSE(d->option(2)->isEnabled());
        EXPECT_FALSE(d->option(24)->isEnabled());
        EXPECT_TRUE(d->option(3)->isEnabled());
        // A to M on the left, N to Z on the right.
        EXPECT_EQ(d->option(13)->geometry(), px(chooser.Option1[13].geometry));
        EXPECT_EQ(d->option(14)->geometry().left(), px(chooser.Option1[14].geometry).left());
        // Opens on "その他" with the folder shown, the typing place first.
        EXPECT_TRUE(d->option(0)->isChecked());
        EXPECT_EQ(d->text1()->text(), QStringLiteral("C:\\Docs\\"));
        EXPECT_EQ(d->focusWidget(), d->text1());
        click(d->option(2));  // unavailable: nothing changes
        EXPECT_TRUE(d->option(0)->isChecked());
        click(d->option(4));
        EXPECT_TRUE(d->option(4)->isChecked());
        click(d->okButton());
    });
    ui.showModal(chooser);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(state.p_chosenPath, "D:\\");
}

TEST_F(Dialogs, DriveChooserOkReturnsATypedPathWithASeparatorCancelOrEscapeNothingTheTitleBarAClickedDrive) {
    {
        // Typing selects "その他" over a clicked drive.
        frm_drive chooser(state, ui, "C:\\Docs\\");
        script.on<DriveDialog>([](DriveDialog* d) {
            click(d->option(3));
            retype(d->text1(), QStringLiteral("C:\\temp"));
            EXPECT_TRUE(d->option(0)->isChecked());
            EXPECT_FALSE(d->option(3)->isChecked());
            click(d->okButton());
        });
        ui.showModal(chooser);
        EXPECT_EQ(state.p_chosenPath, "C:\\temp\\");
    }
    {
        frm_drive chooser(state, ui, "C:\\Docs\\");
        script.on<DriveDialog>([](DriveDialog* d) {
            click(d->option(3));
            click(d->cancelButton());
        });
        ui.showModal(chooser);
        EXPECT_EQ(state.p_chosenPath, "");
    }
    // The close box leaves the drive clicked; Escape is キャンセル.
    for (bool escape : {false, true}) {
        frm_drive chooser(state, ui, "C:\\Docs\\");
        script.on<DriveDialog>([escape](DriveDialog* d) {
            click(d->option(escape ? 4 : 1));
            if (escape) {
                QTest::keyClick(d->option(4), Qt::Key_Escape);
            } else {
                d->close();
            }
        });
        ui.showModal(chooser);
        EXPECT_EQ(state.p_chosenPath, escape ? "" : "A:\\");
    }
    EXPECT_TRUE(script.done());
}

}  // namespace
}  // namespace mabrel::gui::test
