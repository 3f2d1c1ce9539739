// The main window's layout: the minimum size and the controls that follow
// the window. (The reload when the window comes back after an open is the
// window-manager test's: what a real window manager passes through.)
#include <gtest/gtest.h>

#include "app/window_fixture.h"

namespace mabrel::test {
namespace {

class Layout : public WindowTest {
protected:
    // The front end's report of a resize, with a frame of 240 x 510 twips.
    void resizeTo(int clientWidth, int clientHeight, WindowState s = WindowState::Normal) {
        auto& w = window();
        w.windowState = s;
        w.clientWidth = clientWidth;
        w.clientHeight = clientHeight;
        w.width = clientWidth + 240;
        w.height = clientHeight + 510;
        w.Form_Resize();
    }
};

TEST_F(Layout, TheControlsFollowTheClientAreaWhichKeepsAMinimumEachDimensionOnItsOwn) {
    auto& w = window();
    resizeTo(100, 100);
    const int minWidth = w.width, minHeight = w.height;
    EXPECT_GT(minWidth, 340);
    resizeTo(100, 20000);  // only too narrow
    EXPECT_EQ(w.width, minWidth);
    EXPECT_EQ(w.height, 20510);
    resizeTo(20000, 100);  // only too low
    EXPECT_EQ(w.height, minHeight);
    const Geometry label = w.lblFolderList.geometry;
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{{100, 100}, {20000, 15000}}) {
        resizeTo(width, height, WindowState::Maximized);
        const int W = w.clientWidth, T = w.clientHeight - 270;
        for (const Geometry* g : {&w.cmdHelp.geometry, &w.txtFolderComment.geometry, &w.lvwFiles.geometry}) {
            EXPECT_EQ(g->left + g->width, W - 80) << width;
        }
        for (const Geometry* g : {&w.tvwFolders.geometry, &w.lvwFiles.geometry}) EXPECT_EQ(g->top + g->height, T - 80);
        EXPECT_EQ(w.StatusBar1.geometry, (Geometry{0, T, W, 270}));
        EXPECT_EQ(w.lblFolderList.geometry, label);
    }
}

}  // namespace
}  // namespace mabrel::test
