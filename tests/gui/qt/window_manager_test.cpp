// The main window's states under a real window manager on an X server:
// maximised at start with the focus frame on "終 了", minimised by an open,
// brought back through the window manager, the reload that follows an open,
// and the progress window of a long copy, which keeps the person's clicks
// from the main window.
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include "gui/qt/gui_util.h"
#include "gui/qt/progress_dialog.h"
#include "support/gui_fixture.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {
namespace {

using mabrel::test::readBytes;
using mabrel::test::setModificationTime;
namespace stdfs = std::filesystem;

class WindowManagerTest : public GuiWindowTest {
protected:
    WindowManagerTest() {
        work.write("notes.txt", "version 1");
        setModificationTime(work.path() / "notes.txt", 2024, 3, 1, 9, 5, 3);
    }

    unsigned long wid() const { return window->winId(); }
    // Starts, then waits until the window manager has maximised the window.
    void startMaximised() {
        ASSERT_NO_FATAL_FAILURE(start());
        ASSERT_TRUE(x::waitUntil([&] { return model.windowState == WindowState::Maximized && x::isMaximised(wid()); }))
            << "the window manager did not maximise the window";
    }
    bool reportedAs(WindowState s, const char* wmState) {
        return x::waitUntil([&] { return model.windowState == s && x::wmState(wid()) == wmState; });
    }
    int backupRows() const {
        int n = 0;
        for (const auto& row : window->listModel()->rows()) n += row.cells[3] == "*" ? 1 : 0;
        return n;
    }
};

TEST_F(WindowManagerTest, StartsMaximisedAndMinimisingByHandReloadsNothing) {
    ASSERT_NO_FATAL_FAILURE(startMaximised());
    const QRect area = window->screen()->availableGeometry();
    ASSERT_TRUE(x::waitUntil([&] { return window->frameGeometry().width() >= area.width() * 9 / 10; }));
    // "終 了" has the focus and shows its focus frame, though no key was pressed.
    ASSERT_TRUE(x::waitUntil([&] { return window->isActiveWindow() && window->cmdExit()->hasFocus(); }));
    const QImage framed = window->cmdExit()->grab().toImage();
    window->setAttribute(Qt::WA_KeyboardFocusChange, false);
    const QImage plain = window->cmdExit()->grab().toImage();
    window->setAttribute(Qt::WA_KeyboardFocusChange, true);
    EXPECT_NE(framed, plain) << "no focus frame on 終 了";

    const Twips t = Twips::of(window.get());
    EXPECT_EQ(model.clientWidth, t.fromPxX(window->width()));
    EXPECT_NEAR(window->lvwFiles()->geometry().right() + 1, window->width() - t.toPxX(80), 1);
    EXPECT_NEAR(window->lvwFiles()->geometry().bottom() + 1, window->statusBar()->geometry().top() - t.toPxY(80), 1);

    // Only an open makes the coming back reload: a file made meanwhile is
    // not listed.
    work.write("later.txt", "l");
    x::minimise(wid());
    ASSERT_TRUE(reportedAs(WindowState::Minimized, "Iconic"));
    x::activate(wid());
    ASSERT_TRUE(reportedAs(WindowState::Maximized, "Normal"));
    QTest::qWait(200);
    for (const auto& row : window->listModel()->rows()) EXPECT_NE(row.cells[0], "later.txt") << "reloaded";
    EXPECT_NEAR(window->lvwFiles()->geometry().right() + 1, window->width() - t.toPxX(80), 1);
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
        // Every state the window manager passes through reaches the window
        // as it comes.
        x::settle(300);
        ASSERT_TRUE(reportedAs(WindowState::Minimized, "Iconic")) << "the window manager did not minimise the window";
        // Away: nothing reloaded, the copy of the version opened is there.
        EXPECT_TRUE(model.reloadOnRestore) << "reloaded before the window came back";
        EXPECT_EQ(backupNames().size(), static_cast<std::size_t>(version));
        EXPECT_EQ(backupRows(), version - 1);

        // The person edits the file, then brings the window back from the
        // task bar (activating it) or maps it again.
        setModificationTime(work.write("notes.txt", "version " + std::to_string(version + 1)), 2024, 3,
                            1 + version, 10, 0, 0);
        if (version % 2 == 1) {
            x::activate(wid());
        } else {
            x::map(wid());
        }
        ASSERT_TRUE(x::waitUntil([&] { return !model.reloadOnRestore; })) << "no reload when the window came back";
        EXPECT_NE(x::wmState(wid()), "Iconic");
        EXPECT_EQ(backupRows(), version);
        const std::string timestamp = version == 1 ? "2024-03-01 09-05-03"
                                                   : "2024-03-0" + std::to_string(version) + " 10-00-00";
        const stdfs::path copy = backupDir() / ("notes_" + timestamp + ".txt");
        EXPECT_EQ(stdfs::exists(copy) ? readBytes(copy) : "(no such file)", "version " + std::to_string(version));
    }

    // A backup row opens the copy itself; nothing new is copied.
    opened.clear();
    doubleClickRow(viewRow("notes.txt", true));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toLocalFile().toStdString().rfind((backupDir() / "notes_").string(), 0), 0u);
    EXPECT_EQ(backupNames().size(), static_cast<std::size_t>(kOpens));
}

TEST_F(WindowManagerTest, AClickOnTheMainWindowDuringALongCopyNeverRuns) {
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
        x::click(wid(), option.x(), option.y());
        x::settle(300);
        EXPECT_EQ(QApplication::activeModalWidget(), d);
        const QPoint cancel = d->cancelButton()->geometry().center();
        x::click(d->winId(), cancel.x(), cancel.y());
    });
    doubleClickRow(viewRow("big.dat"));
    x::settle(500);
    EXPECT_TRUE(script.done());
    // Nor once the copy is over: no options window came up.
    EXPECT_TRUE(script.unexpected.empty());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(backupNames().empty());
    EXPECT_EQ(x::wmState(wid()), "Normal");
}

}  // namespace
}  // namespace mabrel::gui::test
