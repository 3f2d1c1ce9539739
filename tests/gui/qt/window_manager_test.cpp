// The main window's states under a real window manager on an X server:
// maximised at start with the focus frame on "終 了", minimised by an open,
// brought back through the window manager, the reload that follows an open,
// and the progress window of a long copy, which keeps the person's clicks
// from the main window.
#include <QScreen>
#include <QTimer>

#include "gui/qt/gui_util.h"
#include "gui/qt/progress_dialog.h"
#include "support/gui_fixture.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {
namespace {

using mabrel::test::readBytes;
using mabrel::test::setModificationTime;

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
        return static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const ListItem& r) { return r.cells[3] == "*"; }));
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
        setModificationTime(work.write("notes.txt", "version " + std::to_string(version + 1)), 2024, 3, 1 + version, 10, 0, 0);
        version % 2 == 1 ? x::activate(wid()) : x::map(wid());
        ASSERT_TRUE(x::waitUntil([&] { return !model.reloadOnRestore; })) << "no reload when the window came back";
        EXPECT_NE(x::wmState(wid()), "Iconic");
        EXPECT_EQ(backupRows(), version);
        const std::string time = version == 1 ? "01 09-05-03" : "0" + std::to_string(version) + " 10-00-00";
        const std::filesystem::path copy = backupDir() / ("notes_2024-03-" + time + ".txt");
        EXPECT_EQ(std::filesystem::exists(copy) ? readBytes(copy) : "(no such file)", "version " + std::to_string(version));
    }
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
    EXPECT_EQ(backupCount(), 0u);
    EXPECT_EQ(x::wmState(wid()), "Normal");
}

}  // namespace
}  // namespace mabrel::gui::test
