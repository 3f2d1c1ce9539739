// Moving between folders through the tree and the drive chooser, with the
// folder being left recorded and its comments saved before the move.
//
// A drive root (D:\) and a network share (\\srv\share\) are stood in for by
// temporary folders the file system below maps those prefixes onto.
#include <gtest/gtest.h>

#include <utility>

#include "app/window_fixture.h"
#include "drives/frm_drive.h"
#include "support/forwarding_filesystem.h"

namespace mabrel::test {
namespace {

class PrefixMappedFileSystem : public platform::ForwardingFileSystem {
public:
    PrefixMappedFileSystem(platform::FileSystem& real, std::vector<std::pair<std::string, std::string>> map)
        : ForwardingFileSystem(real), map_(std::move(map)) {}

private:
    std::string map(const std::string& p) const override {
        for (const auto& [from, to] : map_) {
            if (p.rfind(from, 0) == 0) return to + p.substr(from.size());
            if (p + "\\" == from) return to.substr(0, to.size() - 1);  // the folder without its "\"
        }
        return p;
    }
    std::vector<std::pair<std::string, std::string>> map_;
};

class Navigation : public WindowTest {
protected:
    Navigation() : mapped(*nativeFs, {{"D:\\", driveD.drivePath()}, {"\\\\srv\\share\\", share.drivePath()}}) {
        fs = &mapped;
        work.mkdir("DOCS/SUB");
        share.mkdir("dir");
    }
    void clickNode(const std::string& text) {
        auto& tree = window().tvwFolders;
        for (int i = 1; i <= tree.count(); ++i) {
            if (tree.node(i).text == text) return window().tvwFolders_NodeClick(i);
        }
        FAIL() << "no node " << text;
    }
    // The next drive chooser gets `typed` and OK, or with nothing, Cancel.
    void chooser(const std::optional<std::string>& typed = std::nullopt) {
        ui.driveScripts.push_back([typed](frm_drive& w) {
            if (!typed) return w.Command2_Click();
            w.Text1.text = *typed;
            w.Text1_Change();
            w.Command1_Click();
        });
    }
    std::string storedComment(const std::filesystem::path& folder) { return readBytes(folder / "_mabre.l94"); }

    TempDir driveD;
    TempDir share;
    PrefixMappedFileSystem mapped;
};

TEST_F(Navigation, TheTreeGoesDownAndUpRecordingAndSavingTheFolderLeftAndStopsAtAShare) {
    startIn(root + "DOCS\\");
    window().txtFolderComment.text = "docs note";
    clickNode("SUB");
    EXPECT_EQ(window().tvwFolders.node(1).text, root + "DOCS\\SUB\\");
    // Written while DOCS was still the current folder.
    EXPECT_EQ(settingsLine(3), "lastPath," + root + "DOCS\\");
    EXPECT_EQ(storedComment(work.path() / "DOCS"), "docs note\r\n");
    window().txtFolderComment.text = "sub note";
    clickNode(root + "DOCS\\SUB\\");
    EXPECT_EQ(state.p_driveAndPath, root + "DOCS\\");
    EXPECT_EQ(storedComment(work.path() / "DOCS" / "SUB"), "sub note\r\n");
    EXPECT_EQ(window().txtFolderComment.text, "docs note");  // read back from DOCS

    // Up on a share stops at the share; a folder only looked at stores nothing.
    startIn("\\\\srv\\share\\dir\\");
    clickNode("\\\\srv\\share\\dir\\");
    EXPECT_EQ(state.p_driveAndPath, "\\\\srv\\share\\");
    EXPECT_FALSE(std::filesystem::exists(share.path() / "dir" / "_mabre.l94"));
    EXPECT_EQ(settingsLine(3), "lastPath,\\\\srv\\share\\dir\\");
    EXPECT_TRUE(ui.modalShowings.empty());
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
}

TEST_F(Navigation, TheChooserFromTheLabelOrUpFromARootCancelledTouchesNothingChosenMovesAfterSaving) {
    startIn(root + "DOCS\\");
    window().txtFolderComment.text = "docs note";
    int before = loads();
    chooser();
    window().lblFolderList_Click();
    EXPECT_EQ(loads(), before);
    EXPECT_FALSE(std::filesystem::exists(settingsFile()));
    EXPECT_FALSE(std::filesystem::exists(work.path() / "DOCS" / "_mabre.l94"));

    chooser("D:");  // the chooser adds the "\"
    window().lblFolderList_Click();
    EXPECT_EQ(window().tvwFolders.node(1).text, "D:\\");
    EXPECT_EQ(settingsLine(3), "lastPath," + root + "DOCS\\");
    EXPECT_EQ(storedComment(work.path() / "DOCS"), "docs note\r\n");
    EXPECT_EQ(loads(), before + 1);

    // Up from a drive root: the chooser; cancelled, the same folder is reloaded after saving.
    window().txtFolderComment.text = "on D";
    before = loads();
    chooser();
    window().tvwFolders_NodeClick(1);
    EXPECT_EQ(ui.modalShowings, (std::vector<WindowKind>{WindowKind::Drive, WindowKind::Drive, WindowKind::Drive}));
    EXPECT_EQ(state.p_driveAndPath, "D:\\");
    EXPECT_EQ(loads(), before + 1);
    EXPECT_EQ(settingsLine(3), "lastPath,D:\\");
    EXPECT_EQ(storedComment(driveD.path()), "on D\r\n");
    chooser(root + "DOCS");
    window().tvwFolders_NodeClick(1);
    EXPECT_EQ(window().tvwFolders.node(1).text, root + "DOCS\\");
}

}  // namespace
}  // namespace mabrel::test
