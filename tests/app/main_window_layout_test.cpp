// The main window's layout: the minimum size, the controls that follow the
// window, and the reload when the window comes back after an open.
#include <gtest/gtest.h>

#include "app/window_fixture.h"

namespace mabrel::test {
namespace {

class Layout : public WindowTest {
protected:
    // The front end's report of a resize: outer and client size in twips,
    // with a frame of 240 x 510 around the client area.
    void resizeTo(int clientWidth, int clientHeight, WindowState s = WindowState::Normal) {
        auto& w = window();
        w.windowState = s;
        w.clientWidth = clientWidth;
        w.clientHeight = clientHeight;
        w.width = clientWidth + 240;
        w.height = clientHeight + 510;
        w.Form_Resize();
    }

    // What every layout must give, whatever the size.
    void expectFollowsClientArea() {
        auto& w = window();
        const int W = w.clientWidth;
        const int T = w.clientHeight - 270;
        auto right = [](const Geometry& g) { return g.left + g.width; };
        auto bottom = [](const Geometry& g) { return g.top + g.height; };
        EXPECT_EQ(right(w.cmdHelp.geometry), W - 80);
        EXPECT_EQ(right(w.txtFolderComment.geometry), W - 80);
        EXPECT_EQ(right(w.lvwFiles.geometry), W - 80);
        EXPECT_EQ(bottom(w.tvwFolders.geometry), T - 80);
        EXPECT_EQ(bottom(w.lvwFiles.geometry), T - 80);
        EXPECT_EQ(w.cmdOption.geometry.left, w.cmdHelp.geometry.left);
        EXPECT_EQ(right(w.cmdExit.geometry), w.cmdHelp.geometry.left - 80);
        EXPECT_EQ(right(w.cmdUpdate.geometry), w.cmdExit.geometry.left - 80);
        EXPECT_EQ(w.StatusBar1.geometry, (Geometry{0, T, W, 270}));
        EXPECT_EQ(w.StatusBar1.panelWidth, W);
        for (const Geometry* g : {&w.cmdUpdate.geometry, &w.txtFolderComment.geometry, &w.tvwFolders.geometry,
                                  &w.lvwFiles.geometry}) {
            EXPECT_GT(g->width, 0);
            EXPECT_GT(g->height, 0);
        }
    }
};

TEST_F(Layout, ASmallWindowIsHeldAtTheMinimumOuterSizeEachDimensionOnItsOwn) {
    resizeTo(3000, 2000);
    EXPECT_EQ(window().width, 5745);
    EXPECT_EQ(window().height, 3660);
    EXPECT_EQ(window().clientWidth, 5505);
    EXPECT_EQ(window().clientHeight, 3150);
    expectFollowsClientArea();

    resizeTo(3000, 9000);  // only too narrow
    EXPECT_EQ(window().width, 5745);
    EXPECT_EQ(window().height, 9510);
    expectFollowsClientArea();
}

TEST_F(Layout, ALargeWindowStretchesTheListTreeAndCommentBoxButMovesNothingElse) {
    auto& w = window();
    const Geometry folderLabel = w.lblFolderList.geometry;
    const Geometry commentLabel = w.lblStatus.geometry;
    const Geometry listLabel = w.Label3.geometry;
    resizeTo(20000, 15000, WindowState::Maximized);
    EXPECT_EQ(w.width, 20240);
    expectFollowsClientArea();
    // Tops, fixed left edges and fixed sizes stay as designed.
    EXPECT_EQ(w.cmdUpdate.geometry.left, 90);
    EXPECT_EQ(w.lvwFiles.geometry.top, 2010);
    EXPECT_EQ(w.lvwFiles.geometry.left, 2490);
    EXPECT_EQ(w.tvwFolders.geometry.width, 2325);
    EXPECT_EQ(w.cmdExit.geometry.width, 1070);
    EXPECT_EQ(w.cmdOption.geometry.top, 540);
    EXPECT_EQ(w.lblFolderList.geometry, folderLabel);
    EXPECT_EQ(w.lblStatus.geometry, commentLabel);
    EXPECT_EQ(w.Label3.geometry, listLabel);
}

TEST_F(Layout, TheReloadAfterAnOpenWaitsForARealMinimiseAndTheWindowComingBack) {
    work.write("a.txt", "a");
    startIn(root);
    resizeTo(8000, 6000, WindowState::Maximized);
    auto& w = window();

    for (const bool backByActivation : {false, true}) {
        const int before = loads();
        w.reloadOnRestore = true;  // as the open action leaves it
        // On its way to the task bar a maximised window may pass through the
        // normal state, and stay active a moment: it is not back yet.
        resizeTo(7000, 5000);
        w.Form_Activate();
        EXPECT_TRUE(w.reloadOnRestore);
        EXPECT_EQ(loads(), before);

        const Geometry list = w.lvwFiles.geometry;
        resizeTo(100, 100, WindowState::Minimized);
        EXPECT_EQ(w.lvwFiles.geometry, list);
        EXPECT_EQ(w.width, 340);  // no minimum size either
        EXPECT_TRUE(w.reloadOnRestore);
        EXPECT_EQ(loads(), before);

        w.txtFolderComment.text = backByActivation ? "activated" : "restored";
        if (backByActivation) w.Form_Activate();
        resizeTo(8000, 6000, WindowState::Maximized);
        EXPECT_FALSE(w.reloadOnRestore);
        // The comments were saved before the reload read them back.
        EXPECT_EQ(readBytes(work.path() / "_mabre.l94"), w.txtFolderComment.text + "\r\n");
        EXPECT_EQ(w.txtFolderComment.text, backByActivation ? "activated" : "restored");
        // Consumed: neither a resize nor an activation reloads again.
        resizeTo(9000, 6000);
        w.Form_Activate();
        EXPECT_EQ(loads(), before + 1);
    }
}

}  // namespace
}  // namespace mabrel::test
