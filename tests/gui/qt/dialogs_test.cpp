// The three small windows as the person meets them: real dialogs showing
// their models, driven by mouse and keyboard, each way of ending them passed
// on to the model. What the models then decide is tested with the models.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QRadioButton>
#include <map>

#include "backup/frm_rclick.h"
#include "drives/frm_drive.h"
#include "gui/qt/dialogs.h"
#include "gui/qt/qt_interaction.h"
#include "platform/native.h"
#include "settings/frm_option.h"
#include "support/forwarding_filesystem.h"
#include "support/modal_script.h"

namespace mabrel::gui::test {
namespace {

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

class Dialogs : public ::testing::Test {
protected:
    ProcessState state;
    DriveTableFs fs;
    QtInteraction ui{fs};
    ModalScript script;
};

// Each window shows its model; each kind of ending (a button, Enter on the
// focused one, the close box, Escape) and each kind of input (a click on a
// choice, typing) reaches its model once.
TEST_F(Dialogs, TheContextMenuShowsItsButtonsAsTheModelHoldsThemAndEachReportsItself) {
    for (const int button :
         {frm_rclick::kCancel, frm_rclick::kComment, frm_rclick::kDelete, frm_rclick::kCompare, -1}) {
        frm_rclick menu(state);
        menu.Command1[frm_rclick::kRestore].enabled = false;
        script.on<RClickDialog>([&](RClickDialog* d) {
            EXPECT_EQ(d->windowTitle().toStdString(), menu.caption);
            for (std::size_t i = 0; i < menu.Command1.size(); ++i) {
                EXPECT_EQ(d->button(static_cast<int>(i))->text().toStdString(), menu.Command1[i].caption);
                EXPECT_EQ(d->button(static_cast<int>(i))->isEnabled(), menu.Command1[i].enabled) << i;
            }
            click(d->button(frm_rclick::kRestore));  // disabled: no click
            if (button == frm_rclick::kCancel) {
                EXPECT_EQ(d->focusWidget(), d->button(frm_rclick::kCancel));
                QTest::keyClick(d->focusWidget(), Qt::Key_Return);
            } else {
                button < 0 ? void(d->close()) : click(d->button(button));
            }
        });
        state.p_dialogResult = 7;
        ui.showModal(menu);
        EXPECT_TRUE(menu.unloaded);
        EXPECT_EQ(state.p_dialogResult, std::max(button, 0)) << button;
    }
}

TEST_F(Dialogs, TheOptionsWindowShowsItsModelOkStoresWhatWasChosenAndTypedEscapeNothing) {
    state.exceptionExtList1 = state.exceptionExtList2 = ".exe.dll.";
    for (const bool ok : {true, false}) {
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
        state.exceptionExtList2 = ".exe.dll.";
        state.exceptionExtList2Mode = 0;
    }
}

// Typing there is the main window's keyboard test's.
TEST_F(Dialogs, TheDriveChooserShowsItsModelAndPassesOnAClickedDriveAndCancel) {
    for (const bool ok : {true, false}) {
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

}  // namespace
}  // namespace mabrel::gui::test
