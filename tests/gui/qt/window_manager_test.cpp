// The main window under a real window manager on an X server: maximised at
// start with the focus frame on "終 了", minimised by an open, brought back
// through the window manager and reloading then; the progress window of a
// long copy, which keeps the person's clicks from the main window; the
// compare window, active, its versions side by side in their colours, walked
// by key, and shown before a long comparison is done.
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QProgressBar>
#include <QScreen>
#include <QTableView>
#include <QTimer>

#include "gui/qt/compare_dialog.h"
#include "gui/qt/gui_util.h"
#include "gui/qt/progress_dialog.h"
#include "gui/shared/compare_colours.h"
#include "support/gui_fixture.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {
namespace {

class WindowManagerTest : public GuiWindowTest {
protected:
    WindowManagerTest() { setModificationTime(work.write("notes.txt", "version 1"), 2024, 3, 1, 9, 5, 3); }

    unsigned long wid() const { return window->winId(); }
    void startMaximised() {
        ASSERT_NO_FATAL_FAILURE(start());
        ASSERT_TRUE(x::waitUntil([&] { return model.windowState == WindowState::Maximized && x::isMaximised(wid()); }))
            << "the window manager did not maximise the window";
    }
    bool reportedAs(WindowState s, const char* wmState) {
        return x::waitUntil([&] { return model.windowState == s && x::wmState(wid()) == wmState; });
    }
    int backupRows() const {
        const auto& rows = window->listModel()->rows();
        return static_cast<int>(
            std::count_if(rows.begin(), rows.end(), [](const ListItem& r) { return r.cells[3] == "*"; }));
    }
};

TEST_F(WindowManagerTest, StartsMaximisedWithTheFocusFrameOnExitAndMinimisingByHandReloadsNothing) {
    ASSERT_NO_FATAL_FAILURE(startMaximised());
    const QRect area = window->screen()->availableGeometry();
    ASSERT_TRUE(x::waitUntil([&] { return window->frameGeometry().width() >= area.width() * 9 / 10; }));
    EXPECT_EQ(model.clientWidth, Twips::of(window.get()).fromPxX(window->width()));
    // "終 了" has the focus and shows its focus frame, though no key was pressed.
    ASSERT_TRUE(x::waitUntil([&] { return window->isActiveWindow() && window->cmdExit()->hasFocus(); }));
    const QImage framed = window->cmdExit()->grab().toImage();
    window->setAttribute(Qt::WA_KeyboardFocusChange, false);
    EXPECT_NE(framed, window->cmdExit()->grab().toImage()) << "no focus frame on 終 了";
    window->setAttribute(Qt::WA_KeyboardFocusChange, true);

    // Only an open makes the coming back reload.
    work.write("later.txt", "l");
    x::minimise(wid());
    ASSERT_TRUE(reportedAs(WindowState::Minimized, "Iconic"));
    x::activate(wid());
    ASSERT_TRUE(reportedAs(WindowState::Maximized, "Normal"));
    QTest::qWait(200);
    EXPECT_EQ(viewRow("later.txt"), -1) << "reloaded";
}

TEST_F(WindowManagerTest, AnOpenReloadsOnlyAfterARealMinimiseWhenTheWindowComesBack) {
    ASSERT_NO_FATAL_FAILURE(startMaximised());
    // Several opens: a window manager minimising a maximised window may pass
    // through a normal state on some of them only.
    constexpr int kOpens = 6;
    for (int version = 1; version <= kOpens; ++version) {
        SCOPED_TRACE("open " + std::to_string(version));
        doubleClickRow(viewRow("notes.txt"));
        ASSERT_EQ(opened.size(), static_cast<std::size_t>(version));
        EXPECT_EQ(opened.back(), QUrl::fromLocalFile(QString::fromStdString((work.path() / "notes.txt").string())));
        x::settle(300);  // every state the window manager passes through reaches the window
        ASSERT_TRUE(reportedAs(WindowState::Minimized, "Iconic")) << "the window manager did not minimise the window";
        EXPECT_TRUE(model.reloadOnRestore) << "reloaded before the window came back";
        EXPECT_EQ(backupCount(), static_cast<std::size_t>(version));
        EXPECT_EQ(backupRows(), version - 1);

        // The person edits the file, then brings the window back from the
        // task bar (activating it) or maps it again.
        setModificationTime(work.write("notes.txt", "version " + std::to_string(version + 1)), 2024, 3, 1 + version, 10,
                            0, 0);
        version % 2 == 1 ? x::activate(wid()) : x::map(wid());
        ASSERT_TRUE(x::waitUntil([&] { return !model.reloadOnRestore; })) << "no reload when the window came back";
        EXPECT_NE(x::wmState(wid()), "Iconic");
        EXPECT_EQ(backupRows(), version);
    }
}

TEST_F(WindowManagerTest, ALongCopyShowsItsProgressKeepsClicksFromTheMainWindowAndLetRunOpens) {
    work.write("big.dat", std::string(std::size_t{4} << 20, 'b'));
    ASSERT_NO_FATAL_FAILURE(startMaximised());
    holding.holdCopy();
    // "設　　　定", clicked as the person clicks, is not taken: before the
    // progress window shows (the copy lets events in every 30 ms) and while
    // it does.
    const QPoint option = window->cmdOption()->geometry().center();
    QTimer::singleShot(50, [&] {
        x::click(wid(), option.x(), option.y());
        x::settle(100);
    });
    script.on<ProgressDialog>([&](ProgressDialog* d) {
        ASSERT_TRUE(x::waitUntil([&] { return d->isActiveWindow(); })) << "the progress window is not active";
        // It shows the copy held after its first piece, the focus on its button.
        EXPECT_EQ(d->windowTitle(), QStringLiteral(" コピー中"));
        EXPECT_EQ(d->nameLabel()->text(), QStringLiteral("big.dat"));
        EXPECT_EQ(d->amountLabel()->text(), QStringLiteral("1.0 MB / 4.0 MB"));
        EXPECT_EQ(d->bar()->value(), d->bar()->maximum() / 4);
        EXPECT_EQ(d->focusWidget(), d->cancelButton());
        EXPECT_TRUE(QApplication::overrideCursor() != nullptr &&
                    QApplication::overrideCursor()->shape() == Qt::BusyCursor);
        x::click(wid(), option.x(), option.y());
        x::settle(300);
        EXPECT_EQ(QApplication::activeModalWidget(), d);
        const QPoint cancel = d->cancelButton()->geometry().center();
        x::click(d->winId(), cancel.x(), cancel.y());
    });
    doubleClickRow(viewRow("big.dat"));
    x::settle(500);
    // Nor once the copy is over: no options window came up.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(backupCount(), 0u);
    EXPECT_EQ(x::wmState(wid()), "Normal");

    // Let run, the copy ends, its window closes and the file opens.
    holding.holdCopy();
    script.on<ProgressDialog>([&](ProgressDialog*) { holding.release(); });
    doubleClickRow(viewRow("big.dat"));
    EXPECT_TRUE(x::waitUntil([&] { return opened.size() == 1 && QApplication::activeModalWidget() == nullptr; }));
    EXPECT_EQ(backupCount(), 1u);
}

class CompareWindowTest : public GuiWindowTest {
protected:
    // The kept version of stem<ext> holds `older`, the file now `newer`.
    void versions(const std::string& stem, const std::string& older, const std::string& newer, const std::string& ext = ".txt") {
        setModificationTime(work.write("_mabre-l94/" + stem + "_2024-03-01 09-05-03" + ext, older), 2024, 3, 1, 9, 5, 3);
        setModificationTime(work.write(stem + ext, newer), 2024, 3, 2, 10, 0, 0);
    }
    // Ctrl+D over the kept version.
    void compareKeptVersion(const std::string& name) {
        clickRow(viewRow(name, true));
        QTest::keyClick(window->lvwFiles(), Qt::Key_D, Qt::ControlModifier);
    }
    static QRgb pixelAt(CompareDialog* d, int row, bool newerSide) {
        QTableView* grid = d->rows(newerSide);
        const QRect cell = grid->visualRect(d->rowsModel(newerSide)->index(row, 0));
        const int x = std::min(cell.right(), grid->viewport()->width()) - 3;
        return grid->viewport()->grab().toImage().pixel(x, cell.center().y()) & 0xFFFFFFu;
    }
    static bool loaded(CompareDialog* d) { return d->rowsModel()->rowCount() > 0; }
};

TEST_F(CompareWindowTest, ShowsTheVersionsSideBySideWalksTheChangesByKeyAndALargeLogBeforeItsComparisonIsDone) {
    versions("notes", "議事録\r\n出席：山田、佐藤\r\n\r\n在庫は適正。\r\n次回は21日。\r\n以上\r\n",
             "議事録\r\n出席：山田、佐藤、田中\r\n\r\n次回は28日。\r\n以上\r\n");
    std::string older, newer;
    for (int i = 0; older.size() < (24u << 20); ++i) {
        const std::string line = "2024-03-01 09:00:00 [INFO] 処理 " + std::to_string(i) + " を完了しました。\n";
        older += line;
        // Every tenth line changed: many changes to mark.
        newer += i % 10 == 0 ? "2024-03-01 09:00:00 [WARN] 処理 " + std::to_string(i) + " を再試行しました。\n" : line;
    }
    versions("log", older, newer);
    ASSERT_NO_FATAL_FAILURE(start());
    script.on<CompareDialog>([&](CompareDialog* d) {
        ASSERT_TRUE(x::waitUntil([&] { return loaded(d) && d->isActiveWindow(); })) << "no active compare window";
        // Changed; then removed and changed, in the colours of each side.
        ASSERT_EQ(d->rowsModel()->rowCount(), 6);
        EXPECT_EQ(d->rowsModel()->index(1, 0).data().toString(), QStringLiteral("出席：山田、佐藤、田中"));
        EXPECT_EQ(d->rowsModel(false)->headerData(4, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("5"));
        const struct {
            int row;
            bool newerSide;
            QRgb colour;
        } colours[] = {{0, false, kSameLine}, {3, false, kRemovedLine}, {3, true, kNoLine}, {4, true, kAddedLine}, {5, true, kSameLine}};
        for (const auto& c : colours) EXPECT_EQ(pixelAt(d, c.row, c.newerSide), c.colour) << c.row << "," << c.newerSide;
        EXPECT_EQ(d->status()->text(), QStringLiteral("変更 2 か所（1 番目）"));
        EXPECT_TRUE(d->rows()->currentIndex().row() == 1 && !d->previousButton()->isEnabled());
        QTest::keyClick(d->rows(), Qt::Key_Down, Qt::AltModifier);
        EXPECT_EQ(d->status()->text(), QStringLiteral("変更 2 か所（2 番目）"));
        EXPECT_TRUE(d->rows()->currentIndex().row() == 3 && !d->nextButton()->isEnabled());
        QTest::keyClick(d->rows(), Qt::Key_Up, Qt::AltModifier);
        EXPECT_EQ(d->rows()->currentIndex().row(), 1);
        QTest::keyClick(d->rows(), Qt::Key_Escape);
    });
    compareKeptVersion("notes.txt");
    EXPECT_TRUE(x::waitUntil([&] { return window->isActiveWindow(); })) << "the main window did not come back";

    bool shownBeforeDone = false;
    script.on<CompareDialog>([&](CompareDialog* d) {
        // The window is there and painted while the comparison still runs.
        shownBeforeDone = !loaded(d);
        ASSERT_TRUE(x::waitUntil([&] { return loaded(d); })) << "the comparison did not end";
        EXPECT_FALSE(d->progressBar()->isVisible());
        EXPECT_GT(d->rowsModel()->rowCount(), 250000);
        EXPECT_TRUE(d->status()->text().startsWith(QStringLiteral("変更 ")));
        QTest::keyClick(d->rows(), Qt::Key_Escape);
    });
    compareKeptVersion("log.txt");
    EXPECT_TRUE(shownBeforeDone);
}

TEST_F(CompareWindowTest, EachSideIsInViewUnderItsHeadingAJumpReachesAChangeDeepInALongLineFindAndCopy) {
    std::string line;
    for (int k = 0; k < 100000; ++k) line += k % 3 == 0 ? "字" : "x";
    const std::size_t at = 17000 / 3 * 5 + 4;  // character 17,000
    versions("long", "first line\nsecond line\n" + line + "\nlast\n",
             "first line\nsecond line\n" + line.substr(0, at) + "y" + line.substr(at + 1) + "\nlast needle\n");
    ASSERT_NO_FATAL_FAILURE(start());
    const QRect mainWindow = window->geometry();
    script.on<CompareDialog>([&](CompareDialog* d) {
        ASSERT_TRUE(x::waitUntil([&] { return loaded(d) && d->isActiveWindow(); })) << "no active compare window";
        EXPECT_EQ(d->windowTitle(), QStringLiteral("long.txt の比較 — mabrel9-iv"));
        EXPECT_EQ(d->size(), mainWindow.size());
        // Each side under its heading, whole in the window.
        for (const bool newerSide : {false, true}) {
            QTableView* grid = d->rows(newerSide);
            QLabel* heading = newerSide ? d->newerTitle() : d->olderTitle();
            EXPECT_EQ(grid->geometry().left(), heading->geometry().left());
            EXPECT_TRUE(d->rect().contains(grid->geometry())) << newerSide;
            EXPECT_TRUE(grid->isVisible() && !grid->visibleRegion().isEmpty());
        }
        // The first change, 17,000 characters into its line, is in view on
        // the newer side; the older side has not moved sideways.
        QTableView* newer = d->rows(true);
        ASSERT_EQ(newer->currentIndex().row(), 2);
        const QString text = newer->currentIndex().data().toString();
        const int x = 4 + QFontMetrics(newer->font()).horizontalAdvance(text.left(17000));
        const int scrolled = newer->horizontalScrollBar()->value();
        EXPECT_TRUE(x >= scrolled && x < scrolled + newer->viewport()->width()) << x << " " << scrolled;
        EXPECT_EQ(d->rows(false)->horizontalScrollBar()->value(), 0);

        // Ctrl+F finds a word, on either side.
        QTest::keyClick(d, Qt::Key_F, Qt::ControlModifier);
        EXPECT_TRUE(d->findBox()->hasFocus());
        QTest::keyClicks(d->findBox(), QStringLiteral("needle"));
        QTest::keyClick(d->findBox(), Qt::Key_Return);
        EXPECT_EQ(newer->currentIndex().row(), 3);
        EXPECT_EQ(d->status()->text(), QStringLiteral("変更 1 か所（1 番目）"));

        // Two lines chosen with the mouse and Shift+Down, copied.
        newer->scrollToTop();
        newer->horizontalScrollBar()->setValue(0);
        QTest::mouseClick(newer->viewport(), Qt::LeftButton, {}, QPoint(20, newer->visualRect(d->rowsModel()->index(0, 0)).center().y()));
        QTest::keyClick(newer, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(newer, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("first line\nsecond line\n"));
        QTest::keyClick(newer, Qt::Key_Escape);
    });
    clickRow(viewRow("long.txt", true));
    QTest::keyClick(window->lvwFiles(), Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(x::waitUntil([&] { return window->isActiveWindow(); })) << "the main window did not come back";
}

TEST_F(CompareWindowTest, AnExcelPairShowsItsCellsAndAnInsertedRowAsLinesAdded) {
    const auto sample = [](const char* name) { return readBytes(std::string(MABREL_OFFICE_SAMPLES) + "/" + name); };
    versions("見積", sample("quote_v1.xlsx"), sample("quote_v2.xlsx"), ".xlsx");
    ASSERT_NO_FATAL_FAILURE(start());
    script.on<CompareDialog>([&](CompareDialog* d) {
        ASSERT_TRUE(x::waitUntil([&] { return loaded(d) && d->isActiveWindow(); })) << "no active compare window";
        EXPECT_TRUE(d->newerTitle()->text().endsWith(QStringLiteral("Excel ブック（セルごとに一行）")));
        const auto text = [&](int row, int column) { return d->rowsModel(column == 3)->index(row, 0).data().toString(); };
        EXPECT_EQ(text(0, 1), QStringLiteral("■ シート「見積書」"));
        // The first change: the row inserted, its cells as lines added.
        const int first = d->rows()->currentIndex().row();
        EXPECT_EQ(text(first, 3), QStringLiteral("A4: バナナ"));
        EXPECT_EQ(text(first, 1), QString());
        EXPECT_EQ(text(first + 3, 1), QStringLiteral("A4: みかん"));
        EXPECT_EQ(text(first + 3, 3), QStringLiteral("A5: みかん"));
        EXPECT_EQ(d->status()->text(), QStringLiteral("変更 3 か所（1 番目）"));
        // The next: みかん's quantity, on the cell that moved down a row.
        QTest::keyClick(d->rows(), Qt::Key_Down, Qt::AltModifier);
        const int second = d->rows()->currentIndex().row();
        EXPECT_EQ(text(second, 1), QStringLiteral("B4: 10"));
        EXPECT_EQ(text(second, 3), QStringLiteral("B5: 12"));
        QTest::keyClick(d->rows(), Qt::Key_Escape);
    });
    compareKeptVersion("見積.xlsx");
    EXPECT_TRUE(x::waitUntil([&] { return window->isActiveWindow(); })) << "the main window did not come back";
    EXPECT_EQ(readBytes(work.path() / "見積.xlsx"), sample("quote_v2.xlsx"));
}

}  // namespace
}  // namespace mabrel::gui::test
