// What the window shows when it starts on a file, when a load fails over the
// view of another folder, and with comments longer than Qt's default limit.
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

#include "backup/frm_rclick.h"
#include "gui/qt/dialogs.h"
#include "support/gui_fixture.h"

namespace mabrel::gui::test {
namespace {

using mabrel::test::readBytes;
using mabrel::test::setModificationTime;

using StartAndMessagesTest = GuiWindowTest;

TEST_F(StartAndMessagesTest, StartedOnAFileItsFolderIsShownWithTheFilesRowSelectedAndInSight) {
    for (int i = 0; i < 300; ++i) work.write("f" + std::to_string(1000 + i) + ".txt", "x");
    startOn(work.drivePath() + "f1290.txt");
    EXPECT_EQ(window->windowTitle().toStdString(), QString::fromStdString(" " + work.drivePath()).toUpper().toStdString());
    const int row = viewRow("f1290.txt");
    ASSERT_GE(row, 0);
    const QItemSelectionModel* selection = window->lvwFiles()->selectionModel();
    EXPECT_EQ(selection->selectedRows().size(), 1);
    EXPECT_TRUE(selection->isRowSelected(row, QModelIndex()));
    EXPECT_EQ(selection->currentIndex().row(), row);
    const QRect shown = window->lvwFiles()->visualRect(window->listModel()->index(row, 0));
    EXPECT_TRUE(window->lvwFiles()->viewport()->rect().contains(shown)) << shown.y();
    // Focus stays where start-up puts it.
    EXPECT_EQ(QApplication::focusWidget(), window->cmdExit());
}

TEST_F(StartAndMessagesTest, ALoadErrorIsShownOverWhatWasLoadedNotOverThePreviousFolder) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) work.write(name, "x");
    work.mkdir("gone");
    startOn(work.drivePath());
    ASSERT_EQ(window->listModel()->rowCount(), 3);
    std::filesystem::remove(work.path() / "gone");

    const std::string gone = work.drivePath() + "gone\\";
    QString message, title, treeRoot;
    int rowsShown = -1;
    script.on<QMessageBox>([&](QMessageBox* box) {
        message = box->text();
        title = window->windowTitle();
        treeRoot = window->tvwFolders()->topLevelItem(0)->text(0);
        rowsShown = window->listModel()->rowCount();
        click(box->button(QMessageBox::Ok));
    });
    QTreeWidget* tree = window->tvwFolders();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(tree->topLevelItem(0)->child(0)).center());
    ASSERT_TRUE(script.done());
    EXPECT_TRUE(message.startsWith(QStringLiteral("in fun_Load, err "))) << message.toStdString();
    EXPECT_EQ(title.toStdString(), QString::fromStdString(" " + gone).toUpper().toStdString());
    EXPECT_EQ(treeRoot.toStdString(), gone);
    EXPECT_EQ(rowsShown, 0);
    EXPECT_EQ(window->listModel()->rowCount(), 0);
}

TEST_F(StartAndMessagesTest, CommentsLongerThan32767CharactersAreNotCutByAnEdit) {
    setModificationTime(work.write("notes.txt", "one"), 2024, 3, 1, 9, 5, 3);
    const std::string folderComment(40000, 'f');
    const std::string rowComment(40000, 'r');
    work.write("_mabre.l94", folderComment + "\r\nnotes.txt_2024-03-01 09-05-03," + rowComment + "\r\n");
    startOn(work.drivePath());

    QLineEdit* folderBox = window->txtFolderComment();
    EXPECT_EQ(folderBox->text().size(), 40000);
    folderBox->setFocus();
    QTest::keyClick(folderBox, Qt::Key_End);
    QTest::keyClick(folderBox, Qt::Key_A);
    EXPECT_TRUE(model.txtFolderComment.text == folderComment + "a") << model.txtFolderComment.text.size();

    const int row = viewRow("notes.txt");
    clickRow(row);
    script.on<RClickDialog>([](RClickDialog* d) { click(d->button(frm_rclick::kComment)); });
    qsizetype offered = 0;
    script.on<QInputDialog>([&](QInputDialog* d) {
        QLineEdit* edit = d->findChild<QLineEdit*>();
        offered = edit->text().size();
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClick(edit, Qt::Key_B);
        d->accept();
    });
    rightClickRow(row);
    ASSERT_TRUE(script.done());
    EXPECT_EQ(offered, 40000);

    click(window->cmdExit());
    const std::string stored = readBytes(work.path() / "_mabre.l94");
    EXPECT_TRUE(stored == folderComment + "a\r\nnotes.txt_2024-03-01 09-05-03," + rowComment + "b\r\n")
        << stored.size();
}

}  // namespace
}  // namespace mabrel::gui::test
