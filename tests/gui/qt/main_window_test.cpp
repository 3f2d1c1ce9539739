// The main window as the person meets it: real widgets over a real folder,
// driven by clicks and keys. What the window decides is the model's and
// tested there; here, that each control shows the model and passes each kind
// of event on, and what only the widgets do (faces, widths, scrolling).
#include <QFontInfo>
#include <QGlyphRun>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QRawFont>
#include <QScrollBar>
#include <QTextLayout>
#include <QTreeWidget>
#include <set>

#include "backup/frm_rclick.h"
#include "gui/qt/progress_dialog.h"
#include "support/gui_fixture.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {
namespace {

class MainWindowTest : public GuiWindowTest {
protected:
    MainWindowTest() {
        for (const char* name : {"photo.png", "manual.pdf", "bundle.zip", "data.qqq"}) work.write(name, name);
        setModificationTime(work.write("notes.txt", "one"), 2024, 3, 1, 9, 5, 3);
        work.mkdir("資料");
    }

    // Whether the view shows the model's rows, cell by cell, in its order.
    bool showsModel() const {
        const auto& rows = model.lvwFiles.rows;
        bool same = window->listModel()->rowCount() == static_cast<int>(rows.size());
        for (std::size_t r = 0; same && r < rows.size(); ++r) {
            for (std::size_t c = 0; c < 6; ++c)
                same = same && cell(static_cast<int>(r), static_cast<int>(c)).toStdString() == rows[r].cells[c];
        }
        return same;
    }
    void clickTreeItem(const QString& text) {
        QTreeWidget* tree = window->tvwFolders();
        const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_FALSE(found.isEmpty()) << text.toStdString();
        const QRect r = tree->visualItemRect(found.front());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          QPoint(r.left() + std::min(r.width() / 2, 20), r.center().y()));
    }
    QHeaderView* header() const { return window->lvwFiles()->horizontalHeader(); }
    // Drags the divider at the right edge of a column by dx pixels; a
    // zero-wide column is taken from just right of its edge.
    void dragDivider(int column, int dx) {
        const int edge = header()->sectionViewportPosition(column) + header()->sectionSize(column);
        const QPoint from(header()->sectionSize(column) == 0 ? edge + 1 : edge - 1, header()->height() / 2),
            to = from + QPoint(dx, 0);
        QTest::mousePress(header()->viewport(), Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, to, header()->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(header()->viewport(), &move);
        QTest::mouseRelease(header()->viewport(), Qt::LeftButton, {}, to);
    }
};

TEST_F(MainWindowTest, ShowsTheModelInFacesThatHaveEveryCharacterAPictureForEachTypeTheTabOrderAndAKeyForEachGesture) {
    // Comments longer than a line edit takes by default, not to be cut by the edits below.
    const std::string folderComment(40000, 'f'), rowComment(40000, 'r');
    work.write("_mabre.l94", "\r\nnotes.txt_2024-03-01 09-05-03," + rowComment + "\r\n");
    work.write("資料/_mabre.l94", folderComment + "\r\n");
    start();
    EXPECT_EQ(window->windowTitle().toStdString(), model.caption);
    const std::pair<QWidget*, const Control*> captions[] = {
        {window->cmdExit(), &model.cmdExit},     {window->cmdHelp(), &model.cmdHelp},
        {window->cmdOption(), &model.cmdOption}, {window->lblFolderList(), &model.lblFolderList},
        {window->lblStatus(), &model.lblStatus}, {window->label3(), &model.Label3}};
    for (const auto& [widget, control] : captions) {
        EXPECT_EQ(widget->property("text").toString().toStdString(), control->caption);
    }
    EXPECT_EQ(window->statusPanel()->text().toStdString(), model.StatusBar1.panelText);
    QTreeWidgetItem* root = window->tvwFolders()->topLevelItem(0);
    ASSERT_TRUE(root != nullptr && root->childCount() == 1);
    EXPECT_EQ((root->text(0) + root->child(0)->text(0)).toStdString(), work.drivePath() + "資料");
    EXPECT_TRUE(root->isExpanded() && root->isSelected());
    for (std::size_t c = 0; c < model.lvwFiles.columns.size(); ++c) {
        const QVariant text = window->listModel()->headerData(static_cast<int>(c), Qt::Horizontal, Qt::DisplayRole);
        EXPECT_EQ(text.toString().toStdString(), model.lvwFiles.columns[c].text);
    }
    EXPECT_TRUE(showsModel());
    EXPECT_TRUE(header()->sectionSize(5) == 0 && !header()->isSectionHidden(5));  // the key column, to be dragged open

    // Each file type with a picture of its own, at the list's size.
    std::set<std::vector<std::uint32_t>> pictures;
    for (const auto& row : window->listModel()->rows()) {
        ASSERT_GT(row.smallIcon, 0) << row.cells[0];
        pictures.insert(model.ImageList1.images.at(static_cast<std::size_t>(row.smallIcon - 1)).second->pixels);
    }
    EXPECT_EQ(pictures.size(), 5u);

    // Characters the Japanese faces lack come from a face that has them, not
    // as boxes (glyph 0); Qt's own texts are Japanese, its menus in the list's face.
    QTextLayout layout(QStringLiteral("𠮷田様宛 회의록"), window->lvwFiles()->font());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun& run : layout.glyphRuns()) {
        for (const quint32 glyph : run.glyphIndexes()) EXPECT_NE(glyph, 0u) << run.rawFont().familyName().toStdString();
    }
    EXPECT_TRUE(QLineEdit::tr("&Copy").startsWith(QStringLiteral("コピー(&C)")));
    EXPECT_EQ(QFontInfo(QApplication::font("QMenu")).family(), QFontInfo(window->lvwFiles()->font()).family());

    // Tab from 終 了, focused at start, through the design's order.
    const std::vector<QWidget*> order{window->cmdExit(),   window->cmdUpdate(),  window->txtFolderComment(),
                                      window->lvwFiles(),  window->tvwFolders(), window->cmdHelp(),
                                      window->cmdOption(), window->cmdExit()};
    for (QWidget* next : order) {
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }

    // Every gesture has its key, and the key reaches the model as the gesture does.
    FileTable* list = window->lvwFiles();
    const auto goToRow = [&](const std::string& name) {
        QTest::keyClick(list, Qt::Key_Home);
        for (int i = 0; i < 9 && list->currentIndex().row() != viewRow(name); ++i) QTest::keyClick(list, Qt::Key_Down);
        EXPECT_EQ(list->currentIndex().row(), viewRow(name));
    };
    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(model.lvwFiles.selectedCount(), 5);
    // The menu key opens the row menu, Escape closes it as its close box does;
    // Shift+F10 opens it on the row an arrow selected, and Enter presses the
    // button the focus was moved to.
    script.on<RClickDialog>([](RClickDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
    QTest::keyClick(list, Qt::Key_Menu);
    EXPECT_EQ(state.p_dialogResult, 0);
    goToRow("notes.txt");
    script.on<RClickDialog>([](RClickDialog* d) {
        QTest::keyClick(d->focusWidget(), Qt::Key_Tab);
        QTest::keyClick(d->focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(d->focusWidget(), d->button(frm_rclick::kComment));
        QTest::keyClick(d->focusWidget(), Qt::Key_Return);
    });
    script.on<QInputDialog>([](QInputDialog* d) {
        QTest::keyClick(d->findChild<QLineEdit*>(), Qt::Key_End);
        QTest::keyClick(d->findChild<QLineEdit*>(), Qt::Key_B);
        d->accept();
    });
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(cell(viewRow("notes.txt"), 4).toStdString() == rowComment + "b");
    work.write("later.txt", "added by another program");
    QTest::keyClick(list, Qt::Key_F5);
    EXPECT_GE(viewRow("later.txt"), 0);
    // Enter opens the current row, selecting it first as a click would.
    goToRow("notes.txt");
    QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(model.lvwFiles.selectedCount(), 0);
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toLocalFile().toStdString(), (work.path() / "notes.txt").string());
    EXPECT_EQ(backupCount(), 1u);

    // Enter and Space on a tree node go there; Backspace in the list and
    // Alt+Up in the comment box go up, saving the comment on the way, while
    // Backspace in the box edits it.
    const std::string sub = work.drivePath() + "資料\\";
    QTreeWidget* tree = window->tvwFolders();
    for (const Qt::Key go : {Qt::Key_Return, Qt::Key_Space}) {
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Down);
        QTest::keyClick(tree, go);
        EXPECT_EQ(state.p_driveAndPath, sub);
        if (go == Qt::Key_Space) break;
        QTest::keyClick(list, Qt::Key_Backspace);
        EXPECT_EQ(state.p_driveAndPath, work.drivePath());
    }
    QTest::keyClick(window->txtFolderComment(), Qt::Key_End);
    QTest::keyClicks(window->txtFolderComment(), QStringLiteral("abc"));
    QTest::keyClick(window->txtFolderComment(), Qt::Key_Backspace);
    QTest::keyClick(window->txtFolderComment(), Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(state.p_driveAndPath, work.drivePath());
    EXPECT_TRUE(readBytes(work.path() / "資料" / "_mabre.l94") == folderComment + "ab\r\n");

    // Enter presses the focused button of a small window, though in the
    // drive chooser's typing place it is bound to none.
    script.on<DriveDialog>([&](DriveDialog* d) {
        retype(d->text1(), QString::fromStdString(sub));
        QTest::keyClick(d->text1(), Qt::Key_Return);
        EXPECT_TRUE(d->isVisible());
        d->okButton()->setFocus();
        QTest::keyClick(d->okButton(), Qt::Key_Enter, Qt::KeypadModifier);
    });
    QTest::mouseClick(window->lblFolderList(), Qt::LeftButton);
    EXPECT_EQ(state.p_driveAndPath, sub);
    window->cmdExit()->setFocus();
    QTest::keyClick(window->cmdExit(), Qt::Key_Return);
    EXPECT_TRUE(window->ended());
}

TEST_F(MainWindowTest, ClicksOnRowsHeadersDividersTheTreeAndButtonsReachTheModelAndTheViewFollows) {
    stdfs::resize_file(work.write("disc.iso", ""), 123456789);  // a size of many digits
    const std::string deep = "令和6年度 第3四半期 営業部 月次報告書 提出用";
    work.mkdir(deep);
    work.mkdir("gone");
    start();
    window->showNormal();
    window->resize(1500, 700);  // wide enough to show every column

    // Clicks select as the model records it: Ctrl adds a row or takes it out.
    clickRow(viewRow("manual.pdf"));
    clickRow(viewRow("notes.txt"), Qt::ControlModifier);
    EXPECT_EQ(model.lvwFiles.selectedCount(), 2);
    clickRow(viewRow("notes.txt"), Qt::ControlModifier);
    EXPECT_EQ(model.lvwFiles.selectedCount(), 1);
    EXPECT_EQ(model.lvwFiles.selectedItem, viewRow("manual.pdf"));

    // A header click sorts: the view follows the model's order, the
    // selection shown on its row, no width changed; a column fits its content.
    EXPECT_GE(header()->sectionSize(2), static_cast<QAbstractItemView*>(window->lvwFiles())->sizeHintForColumn(2));
    const std::string firstBefore = model.lvwFiles.rows[0].cells[0];
    const auto widths = [&] {
        std::vector<int> w;
        for (int c = 0; c < 6; ++c) w.push_back(header()->sectionSize(c));
        return w;
    };
    const std::vector<int> loaded = widths();
    QTest::mouseClick(header()->viewport(), Qt::LeftButton, {},
                      QPoint(header()->sectionViewportPosition(2) + 5, header()->height() / 2));
    EXPECT_NE(model.lvwFiles.rows[0].cells[0], firstBefore);
    EXPECT_TRUE(showsModel());
    EXPECT_TRUE(window->lvwFiles()->selectionModel()->isRowSelected(viewRow("manual.pdf"), QModelIndex()));
    EXPECT_EQ(widths(), loaded);

    // Widths the person drags, the zero-wide key column too, stay through
    // refreshes and other folders; refresh keeps the typed folder comment.
    dragDivider(1, 40);
    dragDivider(5, 50);
    const int time = header()->sectionSize(1), key = header()->sectionSize(5);
    EXPECT_GT(key, 30);
    QTest::keyClicks(window->txtFolderComment(), QStringLiteral("memo"));
    work.write("later.txt", "added by another program");
    click(window->cmdUpdate());
    EXPECT_GE(viewRow("later.txt"), 0);
    EXPECT_EQ(window->txtFolderComment()->text(), QStringLiteral("memo"));

    // The tree goes into a folder, its root showing a long path whole,
    // scrolling sideways, and back up.
    ASSERT_NO_FATAL_FAILURE(clickTreeItem(QString::fromStdString(deep)));
    const QString path = QString::fromStdString(work.drivePath() + deep + "\\");
    QTreeWidgetItem* root = window->tvwFolders()->topLevelItem(0);
    EXPECT_EQ(root->text(0), path);
    EXPECT_EQ(root->toolTip(0), path);
    EXPECT_GT(window->tvwFolders()->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(std::make_pair(header()->sectionSize(1), header()->sectionSize(5)), std::make_pair(time, key));
    clickTreeItem(path);
    EXPECT_EQ(state.p_driveAndPath, work.drivePath());

    // A folder gone when clicked: its error stands over what was loaded (the
    // title, the tree, an empty list), not over the previous folder.
    stdfs::remove(work.path() / "gone");
    const std::string gone = work.drivePath() + "gone\\";
    script.on<QMessageBox>([&](QMessageBox* box) {
        EXPECT_EQ(window->windowTitle(), QString::fromStdString(" " + gone).toUpper());
        EXPECT_EQ(window->tvwFolders()->topLevelItem(0)->text(0).toStdString(), gone);
        EXPECT_EQ(window->listModel()->rowCount(), 0);
        click(box->button(QMessageBox::Ok));
    });
    clickTreeItem(QStringLiteral("gone"));
    EXPECT_TRUE(script.done());
}

TEST_F(MainWindowTest, TwoRowsThatAreNoTextGoToTheCompareToolOnThePathOlderLeftOrAMessageNamesTheTools) {
    // A stand-in for meld on PATH, writing down its arguments one a line.
    const TempDir bin;
    const std::string log = (bin.path() / "args.log").string();
    bin.write("meld", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >'" + log + ".part'\nmv '" + log +
                          ".part' '" + log + "'\n");
    stdfs::permissions(bin.path() / "meld", stdfs::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray(bin.path().c_str()) + ":" + path);
    setModificationTime(work.write("_mabre-l94/図面_2024-02-01 08-00-00.dwg", std::string("AC\0\1", 4)), 2024, 2, 1, 8,
                        0, 0);
    setModificationTime(work.write("図面.dwg", std::string("AC\0\2", 4)), 2024, 3, 1, 9, 5, 3);
    start();
    QString message;
    for (const bool onPath : {true, false}) {
        clickRow(viewRow("図面.dwg"));
        clickRow(viewRow("図面.dwg", true), Qt::ControlModifier);
        script.on<RClickDialog>([](RClickDialog* d) { click(d->button(frm_rclick::kCompare)); });
        if (!onPath) {
            qputenv("PATH", QByteArray(exeDir.path().c_str()));
            script.on<QMessageBox>([&](QMessageBox* box) {
                message = box->text();
                click(box->button(QMessageBox::Ok));
            });
        }
        clickRow(viewRow("図面.dwg", true), {}, Qt::RightButton);
    }
    qputenv("PATH", path);
    ASSERT_TRUE(x::waitUntil([&] { return stdfs::exists(log); })) << "the compare tool was not started";
    EXPECT_EQ(readBytes(log),
              "--label=図面.dwg　2024-02-01 08-00-00（バックアップ）\n--label=図面.dwg　2024-03-01 "
              "09-05-03（現在のファイル）\n" +
                  (backupDir() / "図面_2024-02-01 08-00-00.dwg").string() + "\n" + (work.path() / "図面.dwg").string() +
                  "\n");
    EXPECT_TRUE(message.contains(QStringLiteral("Meld、Kompare"))) << message.toStdString();
}

// The progress window itself and a cancel in it are the window-manager test's.
TEST_F(MainWindowTest, TheSystemEndingTheProgramDuringARestoreStopsTheCopyAndTheWindowClosesAsItWould) {
    const std::string kept(std::size_t{4} << 20, 'k'), present(kept.size(), 'p');  // several pieces
    setModificationTime(work.write("big.dat", present), 2024, 5, 1, 10, 0, 0);
    setModificationTime(work.write("_mabre-l94/big_2024-04-01 10-00-00.dat", kept), 2024, 4, 1, 10, 0, 0);
    start();
    QTest::keyClicks(window->txtFolderComment(), QStringLiteral("memo"));
    holding.holdCopy(2);  // the copy over the file
    menuOnRow(viewRow("big.dat", true), frm_rclick::kRestore,
              [&] { script.on<ProgressDialog>([this](ProgressDialog*) { window->closeFromSystem(); }); });
    EXPECT_TRUE(script.done());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }));
    EXPECT_EQ(readBytes(work.path() / "big.dat"), present);
    EXPECT_EQ(readBytes(work.path() / "_mabre.l94"), "memo\r\n");
    EXPECT_TRUE(stdfs::exists(settingsFile()));
}

}  // namespace
}  // namespace mabrel::gui::test
