// Opening rows of the file list: the copy taken before the shell is called,
// the minimised window and the reload when it comes back, the open filter.
#include <gtest/gtest.h>

#include "app/window_fixture.h"

namespace mabrel::test {
namespace {

constexpr char kRefused[] = "ｍａｂｒｅｌ９４から開くことが禁止されています。";
constexpr char kV1[] = "2020-01-02 03-04-05";
constexpr char kCopyV1[] = "a_2020-01-02 03-04-05.txt";

class Open : public WindowTest {
protected:
    void SetUp() override {
        setModificationTime(work.write("a.txt", "one"), 2020, 1, 2, 3, 4, 5);
        startIn(root);
    }
    void doubleClick(int row) {
        ASSERT_GE(row, 0);
        select({row});
        window().lvwFiles_DblClick();
    }
    // The window manager minimises the window, then the person brings it back.
    void restoreWindow() {
        for (const WindowState s : {WindowState::Minimized, WindowState::Normal}) {
            window().windowState = s;
            window().Form_Resize();
        }
    }
};

TEST_F(Open, AFileIsCopiedBeforeTheShellOpensItAndTheWindowMinimises) {
    select({});  // without a selected row: nothing
    window().lvwFiles_DblClick();
    EXPECT_TRUE(ui.shellRequests.empty());
    EXPECT_FALSE(std::filesystem::exists(work.path() / "_mabre-l94"));

    doubleClick(rowOf("a.txt"));

    ASSERT_EQ(backupNames(), std::vector<std::string>{kCopyV1});
    const auto copy = work.path() / "_mabre-l94" / kCopyV1;
    EXPECT_EQ(readBytes(copy), "one");
    EXPECT_TRUE(isReadOnly(copy));
    ASSERT_EQ(ui.shellRequests.size(), 1u);
    const auto& r = ui.shellRequests[0];
    EXPECT_EQ(r.owner, "frm_mabrel94");
    EXPECT_EQ(r.operation, "open");
    EXPECT_EQ(r.file, root + "a.txt");
    EXPECT_EQ(r.parameters, "");
    EXPECT_EQ(r.directory, "");
    EXPECT_EQ(r.showCommand, 3);
    EXPECT_TRUE(window().reloadOnRestore);
    EXPECT_EQ(ui.windowStates.back(), WindowState::Minimized);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Open, AChangedFileShowsItsOldVersionAndAnUnchangedOneKeepsItsCopyForAWeek) {
    // Opened and left unchanged: one copy however often, unlisted and
    // uncounted, kept through the return and through the program's end and
    // start: the edit may still come.
    doubleClick(rowOf("a.txt"));
    doubleClick(rowOf("a.txt"));
    EXPECT_EQ(ui.shellRequests.size(), 2u);
    EXPECT_EQ(backupNames(), std::vector<std::string>{kCopyV1});
    restoreWindow();
    EXPECT_EQ(rowOf("a.txt", kV1), -1);
    EXPECT_NE(window().StatusBar1.panelText.find("バックアップファイル数：0"), std::string::npos);
    nextRun();
    EXPECT_EQ(backupNames(), std::vector<std::string>{kCopyV1});
    // The editor saves after the restart: the version before the edit is there.
    setModificationTime(work.write("a.txt", "one, edited"), 2020, 6, 1, 0, 0, 0);
    window().cmdUpdate_Click();
    EXPECT_GE(rowOf("a.txt", kV1), 0);
    EXPECT_EQ(readBytes(work.path() / "_mabre-l94" / kCopyV1), "one");

    // Unchanged for more than a week after it was taken: gone with a load.
    setModificationTime(work.write("a.txt", "one"), 2020, 1, 2, 3, 4, 5);
    process.utcClock = std::time(nullptr) + 6 * 86400;
    nextRun();
    EXPECT_EQ(backupNames(), std::vector<std::string>{kCopyV1});
    process.utcClock = std::time(nullptr) + 8 * 86400;
    nextRun();
    EXPECT_TRUE(backupNames().empty());
    process.utcClock.reset();

    // Opened and changed: the old version is listed beside the file.
    doubleClick(rowOf("a.txt"));
    setModificationTime(work.write("a.txt", "two"), 2021, 6, 7, 8, 9, 10);
    restoreWindow();
    EXPECT_FALSE(window().reloadOnRestore);
    ASSERT_GE(rowOf("a.txt", kV1), 0);
    EXPECT_EQ(window().lvwFiles.rows[static_cast<std::size_t>(rowOf("a.txt"))].cells[1], "2021-06-07 08-09-10");
    EXPECT_EQ(readBytes(work.path() / "_mabre-l94" / kCopyV1), "one");

    // Its backup row opens the copy itself, without a new copy.
    ui.shellRequests.clear();
    doubleClick(rowOf("a.txt", kV1));
    ASSERT_EQ(ui.shellRequests.size(), 1u);
    EXPECT_EQ(ui.shellRequests[0].file, root + "_mabre-l94\\" + kCopyV1);
    EXPECT_EQ(backupNames(), std::vector<std::string>{kCopyV1});
    EXPECT_TRUE(window().reloadOnRestore);
}

TEST_F(Open, ALongCopyIsReportedAndACancelHalfWayOpensNothingAndLeavesNoCopy) {
    const std::string content(3 << 20, 'b');
    work.write("big.txt", content);
    window().fun_Load();
    ui.cancelWhen = [](const ProgressReport& r) { return r.copied > 0; };
    doubleClick(rowOf("big.txt"));

    ASSERT_FALSE(ui.progressReports.empty());
    const ProgressReport last = ui.progressReports.back();
    EXPECT_EQ(last.fileName, "big.txt");
    EXPECT_EQ(last.total, content.size());
#ifndef _WIN32
    EXPECT_LT(last.copied, last.total);  // Wine's copy tells only of its end
#endif
    EXPECT_EQ(ui.progressEnds, 1);
    // As a failure ends it, but without a message: nothing opened, no copy,
    // nothing half-written.
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.shellRequests.empty());
    EXPECT_FALSE(window().reloadOnRestore);
    EXPECT_NE(ui.windowStates.back(), WindowState::Minimized);
    EXPECT_TRUE(backupNames().empty());
    EXPECT_EQ(namesIn(work.path()), (std::vector<std::string>{"_mabre-l94", "a.txt", "big.txt"}));

    // Let run, it is reported to its end, which comes before the open.
    ui.cancelWhen = nullptr;
    ui.progressReports.clear();
    doubleClick(rowOf("big.txt"));
    ASSERT_FALSE(ui.progressReports.empty());
    EXPECT_EQ(ui.progressReports.back().copied, content.size());
    EXPECT_EQ(ui.progressEnds, 2);
    EXPECT_EQ(ui.shellRequests.size(), 1u);
    ASSERT_EQ(backupNames().size(), 1u);
    EXPECT_EQ(readBytes(work.path() / "_mabre-l94" / backupNames()[0]), content);
}

TEST_F(Open, TheOpenFilterRefusesWithAMessageAndTouchesNothing) {
    work.write("tool.exe", "x");
    work.write("README", "r");
    work.write("b.doc", "b");
    // Show them all: with mode 1 a name without a dot is always shown.
    state.exceptionExtList1Mode = 1;
    state.exceptionExtList1 = ".exe.doc.";
    window().fun_Load();

    for (const char* name : {"tool.exe", "README"}) {
        ui.messages.clear();
        doubleClick(rowOf(name));
        EXPECT_EQ(ui.messages, std::vector<std::string>{kRefused}) << name;
    }
    EXPECT_TRUE(ui.shellRequests.empty());
    EXPECT_FALSE(std::filesystem::exists(work.path() / "_mabre-l94"));
    EXPECT_FALSE(window().reloadOnRestore);
    EXPECT_NE(ui.windowStates.back(), WindowState::Minimized);

    // Only listed extensions: a name without a dot gives "." and is allowed,
    // an upper-case list entry never matches.
    state.exceptionExtList2Mode = 1;
    state.exceptionExtList2 = ".txt.DOC.";
    ui.messages.clear();
    doubleClick(rowOf("b.doc"));
    EXPECT_EQ(ui.messages, std::vector<std::string>{kRefused});
    doubleClick(rowOf("README"));
    ASSERT_EQ(ui.shellRequests.size(), 1u);
    EXPECT_EQ(ui.shellRequests[0].file, root + "README");
}

}  // namespace
}  // namespace mabrel::test
