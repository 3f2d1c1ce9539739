// The main window as the person meets it: real widgets over a real folder,
// driven by clicks and by keys, checked on screen and on disk.
#include <QFontInfo>
#include <QGlyphRun>
#include <QMenu>
#include <QRawFont>
#include <QScrollBar>
#include <QTextLayout>
#include <algorithm>
#include <map>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTreeWidget>

#include "backup/frm_rclick.h"
#include "gui/qt/dialogs.h"
#include "gui/qt/gui_util.h"
#include "support/gui_fixture.h"
#include "support/typing.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {
namespace {

using mabrel::test::readBytes;
using mabrel::test::setModificationTime;

class MainWindowTest : public GuiWindowTest {
protected:
    MainWindowTest() {
        work.write("notes.txt", "one");
        work.write("photo.png", "not really a picture");
        work.write("manual.pdf", "%PDF-1.4");
        work.write("bundle.zip", "PK");
        work.write("data.qqq", "1234567890");
        work.mkdir("資料");
        setModificationTime(work.path() / "notes.txt", 2024, 3, 1, 9, 5, 3);
    }

    std::string file(const std::string& name) const { return readBytes(work.path() / name); }
    QTreeWidgetItem* treeItem(const QString& text) const {
        const auto found = window->tvwFolders()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.front();
    }
    void clickTreeItem(QTreeWidgetItem* item) {
        QTreeWidget* tree = window->tvwFolders();
        const QRect r = tree->visualItemRect(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(r.left() + std::min(r.width() / 2, 20), r.center().y()));
    }
    // Drags the divider at the right edge of a column (0-based) by dx pixels.
    void dragDivider(int column, int dx) {
        QHeaderView* h = window->lvwFiles()->horizontalHeader();
        const int edge = h->sectionViewportPosition(column) + h->sectionSize(column);
        // A zero-wide column is taken from just right of its edge.
        const QPoint from(h->sectionSize(column) == 0 ? edge + 1 : edge - 1, h->height() / 2);
        const QPoint to = from + QPoint(dx, 0);
        QTest::mousePress(h->viewport(), Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, to, h->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(h->viewport(), &move);
        QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, to);
    }
};

TEST_F(MainWindowTest, StartsMaximisedOnTheFolderWithEveryControlWhereTheLayoutPutsItInTheTabOrder) {
    start();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_EQ(window->windowTitle(), QString::fromStdString(" " + work.drivePath()).toUpper());
    EXPECT_EQ(QApplication::focusWidget(), window->cmdExit());
    EXPECT_EQ(window->cmdExit()->text(), QStringLiteral("終 了"));
    EXPECT_EQ(window->cmdHelp()->text(), QStringLiteral("操作説明"));
    EXPECT_EQ(window->cmdOption()->text(), QStringLiteral("設　　　定"));
    EXPECT_EQ(window->lblFolderList()->text(), QStringLiteral("フォルダーリスト"));
    EXPECT_EQ(window->lblStatus()->text(), QStringLiteral("フォルダーコメント"));
    EXPECT_EQ(window->label3()->text(), QStringLiteral("ファイルリスト"));

    // Geometry: the model's twips at the screen's resolution, and the right
    // and bottom margins of 80 twips.
    const Twips t = Twips::of(window.get());
    EXPECT_EQ(window->lvwFiles()->geometry(), t.toPx(model.lvwFiles.geometry));
    EXPECT_EQ(window->tvwFolders()->geometry(), t.toPx(model.tvwFolders.geometry));
    EXPECT_EQ(window->cmdUpdate()->geometry(), t.toPx(model.cmdUpdate.geometry));
    const int margin = t.toPxX(80);
    EXPECT_NEAR(window->lvwFiles()->geometry().right() + 1, window->width() - margin, 1);
    EXPECT_NEAR(window->cmdHelp()->geometry().right() + 1, window->width() - margin, 1);
    EXPECT_EQ(window->statusBar()->geometry().bottom() + 1, window->height());
    EXPECT_EQ(window->statusBar()->width(), window->width());

    // The refresh picture, and the design's fonts (or their metric twin).
    EXPECT_EQ(window->cmdUpdate()->icon().actualSize(QSize(176, 50)), QSize(176, 50));
    const QFontInfo listFont(window->lvwFiles()->font());
    EXPECT_TRUE(listFont.family().contains(QStringLiteral("Gothic"), Qt::CaseInsensitive) ||
                listFont.family().contains(QStringLiteral("ゴシック")))
        << listFont.family().toStdString();
    EXPECT_DOUBLE_EQ(window->lvwFiles()->font().pointSizeF(), 9.0);
    EXPECT_DOUBLE_EQ(window->tvwFolders()->font().pointSizeF(), 9.0);
    EXPECT_DOUBLE_EQ(window->txtFolderComment()->font().pointSizeF(), 9.75);
    EXPECT_TRUE(window->cmdUpdate()->font().bold());
    // Characters the IPA faces lack come from a face that has them, not as
    // boxes (glyph 0).
    QTextLayout layout(QStringLiteral("𠮷田様宛 회의록"), window->lvwFiles()->font());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun& run : layout.glyphRuns()) {
        for (const quint32 glyph : run.glyphIndexes()) EXPECT_NE(glyph, 0u) << run.rawFont().familyName().toStdString();
    }
    // The folder comment box's own menu is Qt's, in Japanese and in the
    // design's face.
    const QPoint at(5, 5);
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, at, window->txtFolderComment()->mapToGlobal(at));
    QApplication::sendEvent(window->txtFolderComment(), &menuKey);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QStringList actions;
    for (const QAction* a : menu->actions()) actions << a->text().section(QLatin1Char('\t'), 0, 0);
    EXPECT_TRUE(actions.contains(QStringLiteral("コピー(&C)"))) << actions.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(actions.contains(QStringLiteral("すべてを選択"))) << actions.join(QLatin1Char('|')).toStdString();
    const QFontInfo menuFont(menu->font());
    EXPECT_FALSE(menuFont.fixedPitch()) << menuFont.family().toStdString();
    EXPECT_EQ(menuFont.family(), listFont.family());
    menu->close();

    // Tree: the folder, its sub-folder below it, no expand buttons.
    QTreeWidget* tree = window->tvwFolders();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QString::fromStdString(work.drivePath()));
    ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("資料"));
    EXPECT_TRUE(tree->topLevelItem(0)->isExpanded());
    EXPECT_TRUE(tree->topLevelItem(0)->isSelected());
    EXPECT_FALSE(tree->rootIsDecorated());

    // List: report view, six columns, the key column zero wide.
    FileTable* list = window->lvwFiles();
    QHeaderView* header = list->horizontalHeader();
    ASSERT_EQ(window->listModel()->columnCount(), 6);
    const char* headers[] = {"ファイル名", "更新日", "サイズ", "BU", "コメント", "key"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(window->listModel()->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString(),
                  QString::fromUtf8(headers[i]));
    }
    EXPECT_EQ(header->sectionSize(0), t.toPxX(2000));
    EXPECT_EQ(header->sectionSize(5), 0);
    EXPECT_FALSE(header->isSectionHidden(5));
    EXPECT_TRUE(list->showGrid());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(window->listModel()->rowCount(), 5);
    const int notes = viewRow("notes.txt");
    ASSERT_GE(notes, 0);
    EXPECT_EQ(cell(notes, 1), QStringLiteral("2024-03-01 09-05-03"));
    EXPECT_EQ(cell(notes, 2), QStringLiteral("3"));
    EXPECT_EQ(window->statusPanel()->text(),
              QStringLiteral("サブフォルダ数：1、ファイル数：5、バックアップファイル数：0"));

    // The tab order goes from Exit, focused at start, through the design's order.
    std::vector<QWidget*> expected{window->cmdExit(),  window->cmdUpdate(),  window->txtFolderComment(),
                                   window->lvwFiles(), window->tvwFolders(), window->cmdHelp(),
                                   window->cmdOption()};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(QApplication::focusWidget(), expected[i]) << "position " << i;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(QApplication::focusWidget(), window->cmdExit());
}

TEST_F(MainWindowTest, EachFileTypeShowsItsOwnIconAndEachRowHasAnImageOfItsOwn) {
    work.write("more notes.TXT", "two");
    start();
    std::map<std::string, std::vector<std::uint32_t>> pixels;
    std::map<std::string, SharedIcon> pictures;
    for (const char* name : {"notes.txt", "photo.png", "manual.pdf", "bundle.zip", "data.qqq", "more notes.TXT"}) {
        const int row = viewRow(name);
        ASSERT_GE(row, 0) << name;
        const ListItem& item = window->listModel()->rows()[static_cast<std::size_t>(row)];
        ASSERT_GT(item.smallIcon, 0) << name;
        const auto& [key, image] = model.ImageList1.images.at(static_cast<std::size_t>(item.smallIcon - 1));
        EXPECT_EQ(key, "i" + work.drivePath() + name);
        ASSERT_NE(image, nullptr) << name;
        EXPECT_EQ(image->width, 16);
        EXPECT_EQ(image->height, 16);
        pictures[name] = image;
        if (std::string(name) != "more notes.TXT") pixels[name] = image->pixels;
        const QVariant shown = window->listModel()->data(window->listModel()->index(row, 0), Qt::DecorationRole);
        EXPECT_EQ(shown.value<QPixmap>().size(), QSize(16, 16)) << name;
    }
    for (auto a = pixels.begin(); a != pixels.end(); ++a) {
        for (auto b = std::next(a); b != pixels.end(); ++b) EXPECT_NE(a->second, b->second) << a->first << " " << b->first;
    }
    // Two text files: images of their own, one picture held once.
    EXPECT_EQ(pictures["notes.txt"], pictures["more notes.TXT"]);
    EXPECT_EQ(model.ImageList1.images.size(), 6u);
}

TEST_F(MainWindowTest, AWindowMadeTooSmallIsHeldAtTheMinimumSize) {
    start();
    window->showNormal();
    // The minimum size holds for the normal state once the platform reports it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.windowState == WindowState::Normal; }));
    window->resize(200, 150);
    const Twips t = Twips::of(window.get());
    // The minimum counts the window's frame.
    EXPECT_NEAR(window->frameGeometry().width(), t.toPxX(5745), 1);
    EXPECT_NEAR(window->frameGeometry().height(), t.toPxY(3660), 1);
    // The list still ends 80 twips short of the right edge and above the bar.
    EXPECT_NEAR(window->lvwFiles()->geometry().right() + 1, window->width() - t.toPxX(80), 1);
    EXPECT_NEAR(window->lvwFiles()->geometry().bottom() + 1, window->statusBar()->geometry().top() - t.toPxY(80), 1);
    EXPECT_GT(window->lvwFiles()->width(), 0);
}

TEST_F(MainWindowTest, RefreshListsANewFileAndKeepsTheTypedFolderComment) {
    start();
    window->txtFolderComment()->setFocus();
    typeText(window->txtFolderComment(), QStringLiteral("月例報告"));
    work.write("later.txt", "added by another program");
    click(window->cmdUpdate());
    EXPECT_GE(viewRow("later.txt"), 0);
    EXPECT_EQ(window->txtFolderComment()->text(), QStringLiteral("月例報告"));
    EXPECT_EQ(file("_mabre.l94"), ansi("月例報告") + "\r\n");
}

TEST_F(MainWindowTest, HelpOpensThePageBesideTheExecutableAndExitWritesSettingsAndComments) {
    start();
    click(window->cmdHelp());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(QString::fromStdString((exeDir.path() / "mabrel9-iv.html").string())));

    // Exit ends without the unload steps.
    QTest::keyClicks(window->txtFolderComment(), QStringLiteral("memo"));
    click(window->cmdExit());
    EXPECT_TRUE(window->ended());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(platform::splitLines(readBytes(settingsFile())).size(), 8u);
    EXPECT_EQ(file("_mabre.l94"), "memo\r\n");
}

// Cancel: in the options window's own tests and the keyboard's.
TEST_F(MainWindowTest, OptionsOkTakesEffectAtOnce) {
    start();
    script.on<OptionDialog>([](OptionDialog* d) {
        click(d->option1(0));
        d->text1()->selectAll();
        QTest::keyClicks(d->text1(), QStringLiteral("txt.pdf"));
        click(d->okButton());
    });
    click(window->cmdOption());
    EXPECT_TRUE(script.done());
    EXPECT_EQ(state.exceptionExtList1, ".txt.pdf.");
    EXPECT_EQ(window->listModel()->rowCount(), 2);
    EXPECT_GE(viewRow("notes.txt"), 0);
    EXPECT_GE(viewRow("manual.pdf"), 0);
}

TEST_F(MainWindowTest, ContextMenuRefusesToRestoreAFileRowAndCommentsRestoresAndDeletesCopies) {
    // An older version of notes.txt in the backup directory.
    setModificationTime(work.write("_mabre-l94/notes_2024-02-01 08-00-00.txt", "the old text"), 2024, 2, 1, 8, 0, 0);
    start();

    // Restoring a file row is refused with a message.
    const int notes = viewRow("notes.txt");
    clickRow(notes);
    script.on<RClickDialog>([](RClickDialog* d) { click(d->button(frm_rclick::kRestore)); });
    QString message;
    script.on<QMessageBox>([&](QMessageBox* box) {
        message = box->text();
        click(box->button(QMessageBox::Ok));
    });
    rightClickRow(notes);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(message, QStringLiteral("ｍａｂｒｅｌ９バックアップファイルではありません。"));
    EXPECT_EQ(file("notes.txt"), "one");

    int backup = viewRow("notes.txt", true);
    ASSERT_GE(backup, 0);

    // Comment on the backup row.
    clickRow(backup);
    script.on<RClickDialog>([](RClickDialog* d) {
        EXPECT_TRUE(d->button(frm_rclick::kComment)->isEnabled());
        click(d->button(frm_rclick::kComment));
    });
    script.on<QInputDialog>([](QInputDialog* d) {
        d->setTextValue(QStringLiteral("初版"));
        d->accept();
    });
    rightClickRow(backup);
    EXPECT_TRUE(script.done());
    backup = viewRow("notes.txt", true);
    EXPECT_EQ(cell(backup, 4), QStringLiteral("初版"));
    EXPECT_EQ(file("_mabre.l94"), "\r\n" + ansi("notes.txt_2024-02-01 08-00-00,初版") + "\r\n");

    // Restore it: the old text is back and the present version is kept. The
    // copy of the restored version now equals the file and is no longer
    // listed; its comment shows on the file row.
    clickRow(backup);
    script.on<RClickDialog>([](RClickDialog* d) { click(d->button(frm_rclick::kRestore)); });
    rightClickRow(backup);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(file("notes.txt"), "the old text");
    EXPECT_EQ(backupNames(),
              (std::vector<std::string>{"notes_2024-02-01 08-00-00.txt", "notes_2024-03-01 09-05-03.txt"}));
    EXPECT_EQ(cell(viewRow("notes.txt"), 4), QStringLiteral("初版"));

    // Delete the copy of the version that was replaced.
    const int replaced = viewRow("notes.txt", true);
    ASSERT_GE(replaced, 0);
    EXPECT_EQ(cell(replaced, 1), QStringLiteral("2024-03-01 09-05-03"));
    clickRow(replaced);
    script.on<RClickDialog>([](RClickDialog* d) { click(d->button(frm_rclick::kDelete)); });
    rightClickRow(replaced);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(backupNames(), std::vector<std::string>{"notes_2024-02-01 08-00-00.txt"});
    EXPECT_EQ(viewRow("notes.txt", true), -1);
    EXPECT_TRUE(script.unexpected.empty());
}

TEST_F(MainWindowTest, TwoRowsThatAreNoTextGoToTheCompareToolOnThePathOlderLeftOrAMessageNamesTheTools) {
    // A stand-in for meld on PATH, writing down its arguments one a line.
    const TempDir bin;
    const std::string log = (bin.path() / "args.log").string();
    bin.write("meld", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >'" + log + ".part'\nmv '" + log +
                          ".part' '" + log + "'\n");
    std::filesystem::permissions(bin.path() / "meld", std::filesystem::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray(bin.path().c_str()) + ":" + path);
    setModificationTime(work.write("_mabre-l94/図面_2024-02-01 08-00-00.dwg", std::string("AC\0\1", 4)), 2024, 2, 1, 8,
                        0, 0);
    setModificationTime(work.write("図面.dwg", std::string("AC\0\2", 4)), 2024, 3, 1, 9, 5, 3);
    start();
    const auto compareRows = [&](const std::function<void()>& then = {}) {
        clickRow(viewRow("図面.dwg"));
        clickRow(viewRow("図面.dwg", true), Qt::ControlModifier);
        script.on<RClickDialog>([](RClickDialog* d) { click(d->button(frm_rclick::kCompare)); });
        if (then) then();
        rightClickRow(viewRow("図面.dwg", true));
    };
    compareRows();
    ASSERT_TRUE(x::waitUntil([&] { return std::filesystem::exists(log); })) << "the compare tool was not started";
    const std::string older = (backupDir() / "図面_2024-02-01 08-00-00.dwg").string();
    const std::string newer = (work.path() / "図面.dwg").string();
    EXPECT_EQ(readBytes(log), "--label=図面.dwg　2024-02-01 08-00-00（バックアップ）\n--label=図面.dwg　2024-03-01 "
                              "09-05-03（現在のファイル）\n" + older + "\n" + newer + "\n");

    // None on the path: the message names the tools.
    qputenv("PATH", QByteArray(exeDir.path().c_str()));
    QString message;
    compareRows([&] {
        script.on<QMessageBox>([&](QMessageBox* box) {
            message = box->text();
            click(box->button(QMessageBox::Ok));
        });
    });
    qputenv("PATH", path);
    EXPECT_TRUE(script.done());
    EXPECT_TRUE(message.contains(QStringLiteral("比較ツール（Meld、Kompare）がインストールされていません"))) << message.toStdString();
    EXPECT_TRUE(script.unexpected.empty());
    EXPECT_EQ(file("図面.dwg"), std::string("AC\0\2", 4));
}

TEST_F(MainWindowTest, HeaderClicksSortByThatColumnAndASecondClickReverses) {
    start();
    auto sizes = [&] {
        std::vector<int> out;
        for (int r = 0; r < window->listModel()->rowCount(); ++r) out.push_back(cell(r, 2).toInt());
        return out;
    };
    clickHeader(3);  // "サイズ"
    std::vector<int> ascending = sizes();
    EXPECT_TRUE(std::is_sorted(ascending.begin(), ascending.end()));
    EXPECT_EQ(ascending.back(), 20);  // photo.png
    clickHeader(3);
    std::vector<int> descending = sizes();
    EXPECT_TRUE(std::is_sorted(descending.rbegin(), descending.rend()));
    // The selected row stays selected through a sort.
    clickRow(viewRow("manual.pdf"));
    clickHeader(1);
    const int pdf = viewRow("manual.pdf");
    EXPECT_TRUE(window->lvwFiles()->selectionModel()->isRowSelected(pdf, QModelIndex()));
    EXPECT_EQ(model.lvwFiles.selectedItem, pdf);

    // The rows follow each click: Ctrl adds a row or takes it out, a plain
    // click selects its row alone.
    clickRow(viewRow("notes.txt"), Qt::ControlModifier);
    EXPECT_EQ(model.lvwFiles.selectedCount(), 2);
    const int zip = viewRow("bundle.zip");
    clickRow(zip);
    EXPECT_EQ(model.lvwFiles.selectedCount(), 1);
    EXPECT_TRUE(model.lvwFiles.rows[static_cast<std::size_t>(zip)].selected);
    EXPECT_EQ(model.lvwFiles.selectedItem, zip);
    clickRow(zip, Qt::ControlModifier);
    EXPECT_EQ(model.lvwFiles.selectedCount(), 0);
    EXPECT_EQ(model.lvwFiles.selectedItem, -1);
}

TEST_F(MainWindowTest, ColumnsFitTheirContentAndKeepTheWidthsThePersonDragged) {
    // A size of many digits (a sparse file); the sub-folder holds a small file.
    std::filesystem::resize_file(work.write("disc.iso", ""), 123456789);
    work.write("資料/small.txt", "x");
    start();
    window->showNormal();
    window->resize(1500, 700);  // wide enough to show every column
    QHeaderView* header = window->lvwFiles()->horizontalHeader();
    const Twips t = Twips::of(window.get());
    const int designed[] = {2000, 1600, 700, 200, 10000, 0};
    const auto widths = [&] {
        std::vector<int> w;
        for (int c = 0; c < 6; ++c) w.push_back(header->sectionSize(c));
        return w;
    };
    // The time to the second, the size and the backup mark show whole, and
    // so do their headers; no column is narrower than designed.
    const auto fitted = [&](int c) {
        return header->sectionSize(c) >= std::max({t.toPxX(designed[c]), static_cast<QAbstractItemView*>(window->lvwFiles())->sizeHintForColumn(c),
                                                   header->sectionSizeHint(c)});
    };
    for (int c : {1, 2, 3}) {
        EXPECT_TRUE(fitted(c)) << c;
        EXPECT_GT(header->sectionSize(c), t.toPxX(designed[c])) << c;
    }
    for (int c : {0, 4, 5}) EXPECT_EQ(header->sectionSize(c), t.toPxX(designed[c])) << c;

    // A sort changes no width.
    const std::vector<int> loaded = widths();
    clickHeader(3);
    EXPECT_EQ(widths(), loaded);

    // Widths the person drags stay through sorts, reloads and other folders;
    // the zero-wide key column can be dragged open from just right of its edge.
    dragDivider(1, 40);
    dragDivider(5, 50);
    const std::vector<int> dragged = widths();
    EXPECT_EQ(dragged[1], loaded[1] + 40);
    EXPECT_GT(dragged[5], 30);
    clickHeader(2);
    EXPECT_EQ(widths(), dragged);
    click(window->cmdUpdate());
    EXPECT_EQ(widths(), dragged);
    clickTreeItem(treeItem(QStringLiteral("資料")));
    ASSERT_EQ(window->listModel()->rowCount(), 1);
    EXPECT_EQ(header->sectionSize(1), dragged[1]);
    EXPECT_EQ(header->sectionSize(5), dragged[5]);
    // What was not dragged fits the new folder.
    EXPECT_LT(header->sectionSize(2), dragged[2]);
    EXPECT_TRUE(fitted(2));
}

TEST_F(MainWindowTest, TreeNodesAndTheFolderLabelMoveBetweenFolders) {
    const std::string deep = "令和6年度 第3四半期 営業部 月次報告書 提出用";
    for (const std::string& name : {std::string("b-sub"), std::string("A-sub"), std::string("c-sub"), deep}) {
        work.mkdir(name);
    }
    start();
    // Sub-folders by name whatever order the folder lists them in.
    QStringList children;
    for (int i = 0; i < window->tvwFolders()->topLevelItem(0)->childCount(); ++i) {
        children << window->tvwFolders()->topLevelItem(0)->child(i)->text(0);
    }
    EXPECT_EQ(children, (QStringList{"A-sub", "b-sub", "c-sub", QString::fromStdString(deep), QStringLiteral("資料")}));
    clickTreeItem(treeItem(QStringLiteral("c-sub")));
    EXPECT_EQ(state.p_driveAndPath, work.drivePath() + "c-sub\\");
    clickTreeItem(window->tvwFolders()->topLevelItem(0));

    // A path wider than the tree: the root shows it whole, the tree scrolls
    // sideways, and the root's tip tells it too.
    clickTreeItem(treeItem(QString::fromStdString(deep)));
    QTreeWidget* tree = window->tvwFolders();
    QTreeWidgetItem* root = tree->topLevelItem(0);
    const QString path = QString::fromStdString(work.drivePath() + deep + "\\");
    EXPECT_EQ(root->text(0), path);
    EXPECT_EQ(root->toolTip(0), path);
    EXPECT_GE(tree->visualItemRect(root).width(), static_cast<QAbstractItemView*>(tree)->sizeHintForColumn(0));
    EXPECT_GT(tree->horizontalScrollBar()->maximum(), 0);
    clickTreeItem(root);

    clickTreeItem(treeItem(QStringLiteral("資料")));
    EXPECT_EQ(state.p_driveAndPath, work.drivePath() + "資料\\");
    EXPECT_EQ(window->tvwFolders()->topLevelItem(0)->text(0), QString::fromStdString(work.drivePath() + "資料\\"));
    EXPECT_EQ(window->listModel()->rowCount(), 0);

    clickTreeItem(window->tvwFolders()->topLevelItem(0));  // up again
    EXPECT_EQ(state.p_driveAndPath, work.drivePath());
    EXPECT_EQ(window->listModel()->rowCount(), 5);

    // The label opens the drive chooser; Cancel stays and writes nothing.
    script.on<DriveDialog>([](DriveDialog* d) { click(d->cancelButton()); });
    QTest::mouseClick(window->lblFolderList(), Qt::LeftButton);
    EXPECT_TRUE(script.done());
    EXPECT_EQ(state.p_driveAndPath, work.drivePath());
}

TEST_F(MainWindowTest, TheWaitCursorShowsWhileTheListIsRead) {
    class Watching : public QtInteraction {
    public:
        using QtInteraction::QtInteraction;
        std::vector<bool> waitingAtIcon;
        SharedIcon iconFor(const std::string& path) override {
            const QCursor* c = QApplication::overrideCursor();
            waitingAtIcon.push_back(c != nullptr && c->shape() == Qt::WaitCursor);
            return QtInteraction::iconFor(path);
        }
    };
    Watching watching(*fs);
    frm_mabrel94 watched(state, *fs, *codec, process, watching);
    process.commandLineText = work.drivePath();
    MainWindow w(watched, watching);
    ASSERT_TRUE(w.start());
    ASSERT_EQ(watching.waitingAtIcon.size(), 5u);
    for (bool waiting : watching.waitingAtIcon) EXPECT_TRUE(waiting);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, ClosingFromTheSystemWithAWindowOpenStillWritesSettingsAndComments) {
    start();
    QTest::keyClicks(window->txtFolderComment(), QStringLiteral("before log-out"));
    script.on<OptionDialog>([this](OptionDialog*) { window->closeFromSystem(); });
    click(window->cmdOption());
    QTest::qWait(50);
    EXPECT_TRUE(script.done());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(platform::splitLines(readBytes(settingsFile())).size(), 8u);
    EXPECT_EQ(file("_mabre.l94"), "before log-out\r\n");
}

// What the window shows when it starts on a file, when a load fails over the
// view of another folder, and with comments longer than Qt's default limit:
// folders of their own.
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

// The keyboard as a person without a mouse uses it: every gesture of the
// main window has its key, and each key does what the gesture does.
class KeyboardTest : public MainWindowTest {
protected:
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
    EXPECT_EQ(model.lvwFiles.selectedCount(), 5);
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
    work.write("資料/inner.txt", "in");
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
