// The main window under a real window manager on an X server: maximised at
// start with the focus frame on "終 了", minimised by an open, brought back
// through the window manager and reloading then; the progress window of a
// long copy, which keeps the person's clicks from the main window; the
// compare window, active, its versions side by side in their colours, walked
// by key, and shown before a long comparison is done.
#include <QLabel>
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
    // The kept version of stem.txt holds `older`, the file now `newer`.
    void versions(const std::string& stem, const std::string& older, const std::string& newer) {
        setModificationTime(work.write("_mabre-l94/" + stem + "_2024-03-01 09-05-03.txt", older), 2024, 3, 1, 9, 5, 3);
        setModificationTime(work.write(stem + ".txt", newer), 2024, 3, 2, 10, 0, 0);
    }
    // Ctrl+D over the kept version.
    void compareKeptVersion(const std::string& name) {
        clickRow(viewRow(name, true));
        QTest::keyClick(window->lvwFiles(), Qt::Key_D, Qt::ControlModifier);
    }
    static QRgb pixelAt(CompareDialog* d, int row, int column) {
        const QRect cell = d->rows()->visualRect(d->rowsModel()->index(row, column));
        return d->rows()->viewport()->grab().toImage().pixel(cell.right() - 3, cell.center().y()) & 0xFFFFFFu;
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
        EXPECT_EQ(d->rowsModel()->index(1, 3).data().toString(), QStringLiteral("出席：山田、佐藤、田中"));
        const struct {
            int row, column;
            QRgb colour;
        } colours[] = {{0, 1, kSameLine}, {3, 1, kRemovedLine}, {3, 3, kNoLine}, {4, 3, kAddedLine}, {5, 3, kSameLine}};
        for (const auto& c : colours) EXPECT_EQ(pixelAt(d, c.row, c.column), c.colour) << c.row << "," << c.column;
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

}  // namespace
}  // namespace mabrel::gui::test
