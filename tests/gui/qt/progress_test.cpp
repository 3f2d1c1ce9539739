// Long copies, held half-way as on a slow medium, show the progress window,
// which passes a cancel on and keeps the main window from taking input
// meanwhile, neither then nor afterwards.
#include <QLabel>
#include <QProgressBar>

#include "backup/frm_rclick.h"
#include "gui/qt/progress_dialog.h"
#include "support/gui_fixture.h"

namespace mabrel::gui::test {
namespace {

using mabrel::test::readBytes;
using mabrel::test::setModificationTime;

const std::string kBig(std::size_t{4} << 20, 'b');  // several pieces

using ProgressTest = GuiWindowTest;

TEST_F(ProgressTest, ALongOpenShowsItsProgressCancelOpensNothingAndLetRunItOpens) {
    work.write("big.dat", kBig);
    start();
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancelled" : "let run");
        holding.holdCopy();
        script.on<ProgressDialog>([&](ProgressDialog* d) {
            EXPECT_EQ(d->windowTitle(), QStringLiteral(" コピー中"));
            EXPECT_EQ(d->nameLabel()->text(), QStringLiteral("big.dat"));
            EXPECT_EQ(d->amountLabel()->text(), QStringLiteral("1.0 MB / 4.0 MB"));
            EXPECT_EQ(d->bar()->value(), d->bar()->maximum() / 4);
            EXPECT_EQ(d->focusWidget(), d->cancelButton());
            const QCursor* cursor = QApplication::overrideCursor();
            EXPECT_TRUE(cursor != nullptr && cursor->shape() == Qt::BusyCursor);
            // The main window takes nothing meanwhile: neither "設　　　定"
            // nor F5 runs, now or once the copy is over.
            work.write("later.txt", "x");
            click(window->cmdOption());
            QTest::keyClick(window->lvwFiles(), Qt::Key_F5);
            cancel ? QTest::keyClick(d, Qt::Key_Escape) : holding.release();
        });
        doubleClickRow(viewRow("big.dat"));
        QTest::qWait(100);
        EXPECT_TRUE(script.done());
        EXPECT_TRUE(!cancel || viewRow("later.txt") == -1);
        EXPECT_EQ(opened.size(), cancel ? 0u : 1u);
        EXPECT_EQ(backupCount(), cancel ? 0u : 1u);
        EXPECT_EQ(ui.progressWindow(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(readBytes(backupDir() / std::filesystem::directory_iterator(backupDir())->path().filename()), kBig);
    EXPECT_TRUE(script.unexpected.empty());
}

TEST_F(ProgressTest, TheSystemEndingTheProgramDuringARestoreStopsTheCopyAndTheWindowClosesAsItWould) {
    const std::string present(kBig.size(), 'p');
    setModificationTime(work.write("big.dat", present), 2024, 5, 1, 10, 0, 0);
    setModificationTime(work.write("_mabre-l94/big_2024-04-01 10-00-00.dat", kBig), 2024, 4, 1, 10, 0, 0);
    start();
    QTest::keyClicks(window->txtFolderComment(), QStringLiteral("memo"));
    holding.holdCopy(2);  // the copy over the file
    menuOnRow(viewRow("big.dat", true), frm_rclick::kRestore,
              [&] { script.on<ProgressDialog>([this](ProgressDialog*) { window->closeFromSystem(); }); });
    EXPECT_TRUE(script.done());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }));
    EXPECT_EQ(readBytes(work.path() / "big.dat"), present);
    EXPECT_EQ(readBytes(work.path() / "_mabre.l94"), "memo\r\n");
    EXPECT_TRUE(std::filesystem::exists(settingsFile()));
    EXPECT_TRUE(script.unexpected.empty());
}

}  // namespace
}  // namespace mabrel::gui::test
