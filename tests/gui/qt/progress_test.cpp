// Long copies as the person meets them: copies held half-way, as on a slow
// medium, show the progress window; cancelling it ends the action as a
// failure would, leaving nothing behind, and the main window takes no input
// meanwhile, neither then nor afterwards.
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include "backup/frm_rclick.h"
#include "gui/qt/dialogs.h"
#include "gui/qt/progress_dialog.h"
#include "support/gui_fixture.h"

namespace mabrel::gui::test {
namespace {

using mabrel::test::readBytes;
using mabrel::test::setModificationTime;
namespace stdfs = std::filesystem;

constexpr std::size_t kBig = std::size_t{4} << 20;  // several pieces

class ProgressTest : public GuiWindowTest {
protected:
    // Every name in the folder and its backup directory, temporaries too.
    std::vector<std::string> everything() const {
        std::vector<std::string> names;
        for (const auto& e : stdfs::recursive_directory_iterator(work.path())) {
            names.push_back(stdfs::relative(e.path(), work.path()).string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(ProgressTest, ALongOpenShowsItsProgressCancelOpensNothingAndLetRunItOpens) {
    const std::string content(kBig, 'o');
    work.write("big.dat", content);
    start();
    const auto before = everything();

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
        click(d->cancelButton());
    });
    doubleClickRow(viewRow("big.dat"));
    EXPECT_TRUE(script.done());
    QTest::qWait(100);
    EXPECT_TRUE(opened.empty());
    EXPECT_NE(model.windowState, WindowState::Minimized);
    EXPECT_EQ(viewRow("later.txt"), -1);
    stdfs::remove(work.path() / "later.txt");
    // Nothing half-written, not even the backup directory's content.
    auto after = everything();
    after.erase(std::remove(after.begin(), after.end(), "_mabre-l94"), after.end());
    EXPECT_EQ(after, before);
    EXPECT_EQ(ui.progressWindow(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Let run: the copy completes, then the file opens.
    holding.holdCopy();
    script.on<ProgressDialog>([&](ProgressDialog* d) {
        EXPECT_EQ(d->bar()->value(), d->bar()->maximum() / 4);
        holding.release();
    });
    doubleClickRow(viewRow("big.dat"));
    EXPECT_TRUE(script.done());
    ASSERT_EQ(opened.size(), 1u);
    ASSERT_EQ(backupNames().size(), 1u);
    EXPECT_EQ(readBytes(backupDir() / backupNames()[0]), content);
    EXPECT_EQ(ui.progressWindow(), nullptr);
    EXPECT_TRUE(script.unexpected.empty());
}

TEST_F(ProgressTest, ARestoreCancelledByEscapeOrByTheSystemLeavesTheFileAsItWas) {
    const std::string present(kBig, 'p');
    setModificationTime(work.write("big.dat", present), 2024, 5, 1, 10, 0, 0);
    setModificationTime(work.write("_mabre-l94/big_2024-04-01 10-00-00.dat", std::string(kBig, 'e')), 2024, 4, 1, 10,
                        0, 0);
    start();
    const std::string secured = "big_2024-05-01 10-00-00.dat";

    // Held in the copy over the file: the second, or the only one once the
    // present version is secured.
    const auto restore = [&](int heldCopy, std::function<void(ProgressDialog*)> meanwhile) {
        holding.holdCopy(heldCopy);
        const int row = viewRow("big.dat", true);
        clickRow(row);
        script.on<RClickDialog>([](RClickDialog* d) { click(d->button(frm_rclick::kRestore)); });
        script.on<ProgressDialog>(std::move(meanwhile));
        rightClickRow(row);
    };
    restore(2, [](ProgressDialog* d) { QTest::keyClick(d, Qt::Key_Escape); });
    EXPECT_TRUE(script.done());
    EXPECT_EQ(readBytes(work.path() / "big.dat"), present);
    // The present version secured before stays, as after a failure; no message.
    EXPECT_EQ(backupNames(), (std::vector<std::string>{"big_2024-04-01 10-00-00.dat", secured}));
    EXPECT_EQ(readBytes(backupDir() / secured), present);
    EXPECT_EQ(everything().size(), 4u);  // big.dat, the directory, its two copies

    // The system ends the program (log-out) during a restore: the copy
    // stops, and the window closes as it would, writing what it keeps.
    window->txtFolderComment()->setFocus();
    QTest::keyClicks(window->txtFolderComment(), QStringLiteral("memo"));
    restore(1, [this](ProgressDialog*) { window->closeFromSystem(); });
    EXPECT_TRUE(script.done());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }));
    EXPECT_EQ(readBytes(work.path() / "big.dat"), present);
    EXPECT_EQ(readBytes(work.path() / "_mabre.l94"), "memo\r\n");
    EXPECT_EQ(platform::splitLines(readBytes(settingsFile())).size(), 8u);
    EXPECT_TRUE(script.unexpected.empty());
}

}  // namespace
}  // namespace mabrel::gui::test
