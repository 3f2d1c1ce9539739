// The three small windows as the person meets them: real dialogs showing
// their models, driven by mouse and keyboard, each way of ending them passed
// on to the model. What the models then decide is tested with the models.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>
#include <map>

#include "backup/frm_rclick.h"
#include "drives/frm_drive.h"
#include "gui/qt/dialogs.h"
#include "gui/qt/gui_util.h"
#include "gui/qt/qt_interaction.h"
#include "support/forwarding_filesystem.h"
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

TEST_F(Dialogs, TheContextMenuShowsItsButtonsAsTheModelHoldsThemAndEachReportsItself) {
    frm_rclick menu(state);
    menu.Command1[frm_rclick::kComment].enabled = false;  // two rows selected
    menu.Command1[frm_rclick::kRestore].enabled = false;
    script.on<RClickDialog>([&](RClickDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromStdString(menu.caption));
        EXPECT_FALSE(d->windowFlags() & Qt::WindowMinimizeButtonHint);
        for (std::size_t i = 0; i < menu.Command1.size(); ++i) {
            QPushButton* b = d->button(static_cast<int>(i));
            EXPECT_EQ(b->text(), QString::fromStdString(menu.Command1[i].caption)) << i;
            EXPECT_EQ(b->geometry(), px(menu.Command1[i].geometry)) << i;
            EXPECT_EQ(b->isEnabled(), menu.Command1[i].enabled) << i;
        }
        click(d->button(frm_rclick::kRestore));  // disabled: no click
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->focusWidget(), d->button(frm_rclick::kCancel));
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
    });
    state.p_dialogResult = 7;
    ui.showModal(menu);
    EXPECT_TRUE(menu.unloaded);
    EXPECT_EQ(state.p_dialogResult, frm_rclick::kCancel);

    // Each button reports its index; the title bar reports nothing.
    for (const int button : {frm_rclick::kComment, frm_rclick::kRestore, frm_rclick::kDelete, frm_rclick::kCompare, -1}) {
        frm_rclick shown(state);
        script.on<RClickDialog>([button](RClickDialog* d) {
            if (button < 0) {
                d->close();
            } else {
                click(d->button(button));
            }
        });
        ui.showModal(shown);
        EXPECT_EQ(state.p_dialogResult, std::max(button, 0)) << button;
    }
    EXPECT_TRUE(script.done());
    EXPECT_TRUE(script.unexpected.empty());
}

TEST_F(Dialogs, TheOptionsWindowShowsItsModelOkStoresWhatWasChosenAndTypedEveryOtherWayNothing) {
    frm_option options(state);
    script.on<OptionDialog>([&](OptionDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromStdString(options.caption));
        EXPECT_TRUE(d->option1(frm_option::kExcludeListed)->isChecked());
        EXPECT_TRUE(d->option2(frm_option::kExcludeListed)->isChecked());
        EXPECT_EQ(d->text1()->text(), QString::fromStdString(kDefaultList));
        EXPECT_EQ(d->text2()->text(), QString::fromStdString(kDefaultList));
        // Options inside their frames, the text boxes on the window.
        EXPECT_EQ(d->option1(0)->parentWidget()->geometry(), px(options.Frame1.geometry));
        EXPECT_EQ(d->option1(1)->geometry(), px(options.Option1[1].geometry));
        EXPECT_EQ(d->text2()->geometry(), px(options.Text2.geometry));

        click(d->option1(frm_option::kOnlyListed));
        EXPECT_FALSE(d->option1(frm_option::kExcludeListed)->isChecked());
        retype(d->text1(), QStringLiteral("txt, doc"));
        retype(d->text2(), QString());
        click(d->okButton());
    });
    ui.showModal(options);
    EXPECT_EQ(state.p_dialogResult, 1);
    EXPECT_EQ(state.exceptionExtList1Mode, 1);
    EXPECT_EQ(state.exceptionExtList1, frm_option::normaliseList("txt, doc"));
    EXPECT_EQ(state.exceptionExtList2, frm_option::normaliseList(""));

    const std::function<void(OptionDialog*)> ends[] = {
        [](OptionDialog* d) { click(d->cancelButton()); },
        [](OptionDialog* d) { d->close(); },
        [](OptionDialog* d) { QTest::keyClick(d->text2(), Qt::Key_Escape); },
    };
    for (const auto& end : ends) {
        const ProcessState before = state;
        frm_option again(state);
        script.on<OptionDialog>([&](OptionDialog* d) {
            click(d->option2(frm_option::kOnlyListed));
            retype(d->text2(), QStringLiteral(".txt."));
            end(d);
        });
        ui.showModal(again);
        EXPECT_EQ(state.p_dialogResult, 0);
        EXPECT_EQ(state.exceptionExtList2Mode, before.exceptionExtList2Mode);
        EXPECT_EQ(state.exceptionExtList2, before.exceptionExtList2);
    }
    EXPECT_TRUE(script.done());
}

TEST_F(Dialogs, TheDriveChooserShowsItsModelAndPassesOnClicksTypingAndEachWayOfEnding) {
    frm_drive chooser(state, ui, "C:\\Docs\\");
    script.on<DriveDialog>([&](DriveDialog* d) {
        EXPECT_EQ(d->windowTitle(), QString::fromStdString(chooser.caption));
        for (std::size_t i = 0; i < chooser.Option1.size(); ++i) {
            QRadioButton* option = d->option(static_cast<int>(i));
            EXPECT_EQ(option->text(), QString::fromStdString(chooser.Option1[i].caption)) << i;
            EXPECT_EQ(option->isEnabled(), chooser.Option1[i].enabled) << i;
            EXPECT_EQ(option->geometry(), px(chooser.Option1[i].geometry)) << i;
        }
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
    EXPECT_EQ(state.p_chosenPath, "D:\\");

    const struct {
        std::function<void(DriveDialog*)> act;
        std::string chosen;
    } ways[] = {
        // Typing selects "その他" over a clicked drive.
        {[](DriveDialog* d) {
             click(d->option(3));
             retype(d->text1(), QStringLiteral("C:\\temp"));
             EXPECT_TRUE(d->option(0)->isChecked());
             click(d->okButton());
         },
         "C:\\temp\\"},
        {[](DriveDialog* d) {
             click(d->option(3));
             click(d->cancelButton());
         },
         ""},
        // The close box leaves the drive clicked; Escape is キャンセル.
        {[](DriveDialog* d) {
             click(d->option(1));
             d->close();
         },
         "A:\\"},
        {[](DriveDialog* d) {
             click(d->option(4));
             QTest::keyClick(d->option(4), Qt::Key_Escape);
         },
         ""},
    };
    for (const auto& way : ways) {
        frm_drive again(state, ui, "C:\\Docs\\");
        script.on<DriveDialog>(way.act);
        ui.showModal(again);
        EXPECT_EQ(state.p_chosenPath, way.chosen);
    }
    EXPECT_TRUE(script.done());
    EXPECT_TRUE(script.unexpected.empty());
}

}  // namespace
}  // namespace mabrel::gui::test
