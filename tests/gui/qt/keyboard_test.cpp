// The keyboard as a person without a mouse uses it: every gesture of the
// main window has its key, and each key does what the gesture does.
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "backup/frm_rclick.h"
#include "gui/qt/dialogs.h"
#include "support/gui_fixture.h"

namespace mabrel::gui::test {
namespace {

using mabrel::test::readBytes;

class KeyboardTest : public GuiWindowTest {
protected:
    KeyboardTest() {
        work.write("notes.txt", "one");
        work.write("manual.pdf", "%PDF-1.4");
        work.write("data.qqq", "1234567890");
        work.write("資料/inner.txt", "in");
    }
    // The name on the list's current row.
    std::string currentName() const {
        const int row = window->lvwFiles()->currentIndex().row();
        return row < 0 ? std::string() : window->listModel()->rows()[static_cast<std::size_t>(row)].cells[0];
    }
    // Moves the list's current row, by the arrow keys, to the row of `name`.
    void goToRow(const std::string& name) {
        FileTable* list = window->lvwFiles();
        QTest::keyClick(list, Qt::Key_Home);
        for (int i = 0; i < window->listModel()->rowCount() && currentName() != name; ++i) {
            QTest::keyClick(list, Qt::Key_Down);
        }
        ASSERT_EQ(currentName(), name);
    }
};

TEST_F(KeyboardTest, EachGestureOfTheListHasItsKey) {
    start();
    FileTable* list = window->lvwFiles();
    list->setFocus();

    // Ctrl+A selects every row; the context-menu key then offers only what
    // several rows allow, and Escape closes the menu as its close box does.
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(model.lvwFiles.selectedCount(), 3);
    script.on<RClickDialog>([](RClickDialog* d) {
        EXPECT_FALSE(d->button(frm_rclick::kComment)->isEnabled());
        EXPECT_FALSE(d->button(frm_rclick::kRestore)->isEnabled());
        EXPECT_TRUE(d->button(frm_rclick::kDelete)->isEnabled());
        QTest::keyClick(d, Qt::Key_Escape);
    });
    QTest::keyClick(list, Qt::Key_Menu);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(state.p_dialogResult, 0);

    // An arrow key selects one row; Shift+F10 opens its menu, and Enter
    // presses the button the focus was moved to.
    ASSERT_NO_FATAL_FAILURE(goToRow("manual.pdf"));
    EXPECT_EQ(model.lvwFiles.selectedCount(), 1);
    script.on<RClickDialog>([](RClickDialog* d) {
        EXPECT_TRUE(d->button(frm_rclick::kComment)->isEnabled());
        QTest::keyClick(d->focusWidget(), Qt::Key_Tab);  // "削 除"
        QTest::keyClick(d->focusWidget(), Qt::Key_Tab);  // "コメント"
        EXPECT_EQ(d->focusWidget(), d->button(frm_rclick::kComment));
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
    });
    script.on<QInputDialog>([](QInputDialog* d) {
        d->setTextValue(QStringLiteral("鍵で"));
        d->accept();
    });
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(cell(viewRow("manual.pdf"), 4), QStringLiteral("鍵で"));

    // F5 reads the folder again.
    work.write("later.txt", "added by another program");
    QTest::keyClick(list, Qt::Key_F5);
    EXPECT_GE(viewRow("later.txt"), 0);

    // Enter opens the current row, its copy taken first; a row not selected
    // (as after Tab into the list) is selected first, as a click selects it.
    ASSERT_NO_FATAL_FAILURE(goToRow("notes.txt"));
    QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(model.lvwFiles.selectedCount(), 0);
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toLocalFile().toStdString(), (work.path() / "notes.txt").string());
    EXPECT_EQ(backupNames().size(), 1u);
    EXPECT_TRUE(script.unexpected.empty());
}

TEST_F(KeyboardTest, TreeNodesAndTheParentKeysMoveBetweenFolders) {
    start();
    QTreeWidget* tree = window->tvwFolders();
    const std::string sub = work.drivePath() + "資料\\";

    // Enter, then Space, on a sub-folder's node goes into it.
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down);
    QTest::keyClick(tree, Qt::Key_Return);
    EXPECT_EQ(state.p_driveAndPath, sub);
    EXPECT_GE(viewRow("inner.txt"), 0);

    // Backspace in the list goes to the parent, as a click on the root node.
    window->lvwFiles()->setFocus();
    QTest::keyClick(window->lvwFiles(), Qt::Key_Backspace);
    EXPECT_EQ(state.p_driveAndPath, work.drivePath());

    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Down);
    QTest::keyClick(tree, Qt::Key_Space);
    EXPECT_EQ(state.p_driveAndPath, sub);

    // In the folder comment Backspace edits the text; Alt+Up goes up.
    QLineEdit* comment = window->txtFolderComment();
    comment->setFocus();
    QTest::keyClicks(comment, QStringLiteral("abc"));
    QTest::keyClick(comment, Qt::Key_Backspace);
    EXPECT_EQ(comment->text(), QStringLiteral("ab"));
    EXPECT_EQ(state.p_driveAndPath, sub);
    QTest::keyClick(comment, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(state.p_driveAndPath, work.drivePath());
    EXPECT_EQ(readBytes(work.path() / "資料" / "_mabre.l94"), "ab\r\n");  // saved on the way, as a click saves it
}

TEST_F(KeyboardTest, EnterPressesTheFocusedButtonInEveryWindow) {
    start();
    EXPECT_EQ(QApplication::focusWidget(), window->cmdExit());

    // "設　　　定", then in the options window the focused "キャンセル".
    window->cmdOption()->setFocus();
    script.on<OptionDialog>([](OptionDialog* d) {
        d->cancelButton()->setFocus();
        QTest::keyClick(d->cancelButton(), Qt::Key_Return);
    });
    QTest::keyClick(window->cmdOption(), Qt::Key_Return);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(state.p_dialogResult, 0);

    // The drive chooser, opened by the label on the folder shown: Enter in
    // the typing place is bound to no button; on the focused "Ｏ Ｋ" it
    // chooses, and the typed folder is shown.
    TempDir other;
    other.write("elsewhere.txt", "x");
    script.on<DriveDialog>([&](DriveDialog* d) {
        EXPECT_EQ(d->text1()->text(), QString::fromStdString(work.drivePath()));
        d->text1()->selectAll();
        QTest::keyClicks(d->text1(), QString::fromStdString(withoutTrailingSeparator(other.drivePath())));
        QTest::keyClick(d->text1(), Qt::Key_Return);
        EXPECT_TRUE(d->isVisible());
        d->okButton()->setFocus();
        QTest::keyClick(d->okButton(), Qt::Key_Enter, Qt::KeypadModifier);
    });
    QTest::mouseClick(window->lblFolderList(), Qt::LeftButton);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(state.p_driveAndPath, other.drivePath());
    EXPECT_GE(viewRow("elsewhere.txt"), 0);

    // "終 了", focused at start, ends the program on Enter.
    window->cmdExit()->setFocus();
    QTest::keyClick(window->cmdExit(), Qt::Key_Return);
    EXPECT_TRUE(window->ended());
    EXPECT_TRUE(script.unexpected.empty());
}

}  // namespace
}  // namespace mabrel::gui::test
