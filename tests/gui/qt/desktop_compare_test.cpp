// The compare window on an X server under a real window manager: opened by
// Ctrl+D over a kept version, the active window with the two versions side
// by side in their colours, walked with Alt+Down and Alt+Up, closed with
// Escape; a large log shows the window before its comparison is done.
#include <QLabel>
#include <QProgressBar>
#include <QTableView>

#include "gui/qt/compare_dialog.h"
#include "gui/shared/compare_colours.h"
#include "support/gui_fixture.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {
namespace {

using mabrel::test::setModificationTime;

class CompareWindowTest : public GuiWindowTest {
protected:
    // The kept version of notes.txt holds `older`, the file now `newer`.
    void versions(const std::string& older, const std::string& newer) {
        setModificationTime(work.write("_mabre-l94/notes_2024-03-01 09-05-03.txt", older), 2024, 3, 1, 9, 5, 3);
        setModificationTime(work.write("notes.txt", newer), 2024, 3, 2, 10, 0, 0);
    }
    // Ctrl+D over the kept version.
    void compareKeptVersion() {
        clickRow(viewRow("notes.txt", true));
        QTest::keyClick(window->lvwFiles(), Qt::Key_D, Qt::ControlModifier);
    }
    static QString text(CompareDialog* d, int row, int column) {
        return d->rowsModel()->data(d->rowsModel()->index(row, column), Qt::DisplayRole).toString();
    }
    static QRgb pixelAt(CompareDialog* d, int row, int column) {
        const QRect cell = d->rows()->visualRect(d->rowsModel()->index(row, column));
        return d->rows()->viewport()->grab().toImage().pixel(cell.right() - 3, cell.center().y()) & 0xFFFFFFu;
    }
    static bool loaded(CompareDialog* d) { return d->rowsModel()->rowCount() > 0; }
    void TearDown() override {
        EXPECT_TRUE(script.done());
        EXPECT_TRUE(script.unexpected.empty());
    }
};

TEST_F(CompareWindowTest, ShowsTheVersionsSideBySideAndWalksTheChangesByKey) {
    versions("議事録\r\n出席：山田、佐藤\r\n\r\n在庫は適正。\r\n次回は21日。\r\n以上\r\n",
             "議事録\r\n出席：山田、佐藤、田中\r\n\r\n次回は28日。\r\n以上\r\n");
    ASSERT_NO_FATAL_FAILURE(start());
    bool seen = false;
    script.on<CompareDialog>([&](CompareDialog* d) {
        ASSERT_TRUE(x::waitUntil([&] { return loaded(d) && d->isActiveWindow(); })) << "no active compare window";
        seen = true;
        // Changed; then removed and changed, in the colours of each side.
        ASSERT_EQ(d->rowsModel()->rowCount(), 6);
        EXPECT_EQ(text(d, 1, 3), QStringLiteral("出席：山田、佐藤、田中"));
        const struct {
            int row, column;
            QRgb colour;
        } colours[] = {{0, 1, kSameLine}, {3, 1, kRemovedLine}, {3, 3, kNoLine}, {4, 3, kAddedLine}, {5, 3, kSameLine}};
        for (const auto& c : colours) EXPECT_EQ(pixelAt(d, c.row, c.column), c.colour) << c.row << "," << c.column;
        EXPECT_EQ(d->status()->text(), QStringLiteral("変更 2 か所（1 番目）"));
        EXPECT_EQ(d->rows()->currentIndex().row(), 1);
        EXPECT_FALSE(d->previousButton()->isEnabled());

        QTest::keyClick(d->rows(), Qt::Key_Down, Qt::AltModifier);
        EXPECT_EQ(d->status()->text(), QStringLiteral("変更 2 か所（2 番目）"));
        EXPECT_EQ(d->rows()->currentIndex().row(), 3);
        EXPECT_FALSE(d->nextButton()->isEnabled());
        QTest::keyClick(d->rows(), Qt::Key_Up, Qt::AltModifier);
        EXPECT_EQ(d->rows()->currentIndex().row(), 1);
        QTest::keyClick(d->rows(), Qt::Key_Escape);
    });
    compareKeptVersion();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(x::waitUntil([&] { return window->isActiveWindow(); })) << "the main window did not come back";
}

TEST_F(CompareWindowTest, ALargeLogShowsTheWindowBeforeItsComparisonIsDone) {
    std::string older, newer;
    for (int i = 0; older.size() < (24u << 20); ++i) {
        const std::string line = "2024-03-01 09:00:00 [INFO] 処理 " + std::to_string(i) + " を完了しました。\n";
        older += line;
        // Every tenth line changed: many changes to mark.
        newer += i % 10 == 0 ? "2024-03-01 09:00:00 [WARN] 処理 " + std::to_string(i) + " を再試行しました。\n" : line;
    }
    versions(older, newer);
    ASSERT_NO_FATAL_FAILURE(start());
    bool shownBeforeDone = false;
    script.on<CompareDialog>([&](CompareDialog* d) {
        // The window is there and painted while the comparison still runs.
        shownBeforeDone = !loaded(d);
        ASSERT_TRUE(x::waitUntil([&] { return loaded(d); }, 60000)) << "the comparison did not end";
        EXPECT_FALSE(d->progressBar()->isVisible());
        EXPECT_GT(d->rowsModel()->rowCount(), 250000);
        EXPECT_TRUE(d->status()->text().startsWith(QStringLiteral("変更 ")));
        QTest::keyClick(d->rows(), Qt::Key_Escape);
    });
    compareKeptVersion();
    EXPECT_TRUE(shownBeforeDone);
}

}  // namespace
}  // namespace mabrel::gui::test
