// Opening rows of the file list: the copy taken before the shell is called,
// the minimised window and the reload when it comes back, the open filter.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "app/window_fixture.h"
#include "settings/settings_file.h"

namespace mabrel::test {
namespace {

using Strings = std::vector<std::string>;
constexpr char kRefused[] = "ｍａｂｒｅｌ９４から開くことが禁止されています。";
constexpr char kV1[] = "2020-01-02 03-04-05";
constexpr char kCopyV1[] = "a_2020-01-02 03-04-05.txt";

class Open : public WindowTest {
protected:
    void SetUp() override {
        file("a.txt", "one", 2020, 1, 2, 3, 4, 5);
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
    std::string kept() { return readBytes(work.path() / "_mabre-l94" / kCopyV1); }
};

TEST_F(Open, AFileIsCopiedBeforeTheShellOpensItAChangedOneShowsItsOldVersionAnUnchangedOneKeepsItsCopyForAWeek) {
    select({});  // without a selected row: nothing
    window().lvwFiles_DblClick();
    EXPECT_TRUE(ui.shellRequests.empty());
    EXPECT_FALSE(std::filesystem::exists(work.path() / "_mabre-l94"));
    doubleClick(rowOf("a.txt"));
    ASSERT_EQ(backupNames(), Strings{kCopyV1});
    EXPECT_EQ(kept(), "one");
    EXPECT_TRUE(isReadOnly(work.path() / "_mabre-l94" / kCopyV1));
    ASSERT_EQ(ui.shellRequests.size(), 1u);
    EXPECT_EQ(ui.shellRequests[0].operation, "open");
    EXPECT_EQ(ui.shellRequests[0].file, root + "a.txt");
    EXPECT_TRUE(window().reloadOnRestore);
    EXPECT_EQ(ui.windowStates.back(), WindowState::Minimized);
    EXPECT_TRUE(ui.messages.empty());
    // Opened and left unchanged: one copy however often, unlisted, kept
    // through the return and a restart: the edit may still come.
    doubleClick(rowOf("a.txt"));
    EXPECT_EQ(ui.shellRequests.size(), 2u);
    restoreWindow();
    EXPECT_EQ(rowOf("a.txt", kV1), -1);
    nextRun();
    EXPECT_EQ(backupNames(), Strings{kCopyV1});
    // Opened again later: its week starts anew from then.
    const std::int64_t taken = fs->openDirectory(root + "_mabre-l94")->takenTime(kCopyV1);
    while (std::time(nullptr) <= taken) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    doubleClick(rowOf("a.txt"));
    process.utcClock = taken + 1 + 7 * 86400;
    nextRun();
    EXPECT_EQ(backupNames(), Strings{kCopyV1}) << "removed a week after the first open";
    process.utcClock.reset();
    // The editor saves after the restart: the version before the edit is there.
    file("a.txt", "one, edited", 2020, 6, 1, 0, 0, 0);
    window().cmdUpdate_Click();
    EXPECT_GE(rowOf("a.txt", kV1), 0);
    EXPECT_EQ(kept(), "one");
    // Put back as it was (a copy unchanged a week after it was taken goes:
    // the load test's).
    file("a.txt", "one", 2020, 1, 2, 3, 4, 5);

    // Opened and changed: the old version is listed beside the file.
    doubleClick(rowOf("a.txt"));
    file("a.txt", "two", 2021, 6, 7, 8, 9, 10);
    restoreWindow();
    EXPECT_FALSE(window().reloadOnRestore);
    ASSERT_GE(rowOf("a.txt", kV1), 0);
    EXPECT_EQ(window().lvwFiles.rows[static_cast<std::size_t>(rowOf("a.txt"))].cells[1], "2021-06-07 08-09-10");
    EXPECT_EQ(kept(), "one");

    // Its backup row opens the copy itself, without a new copy.
    ui.shellRequests.clear();
    doubleClick(rowOf("a.txt", kV1));
    ASSERT_EQ(ui.shellRequests.size(), 1u);
    EXPECT_EQ(ui.shellRequests[0].file, root + "_mabre-l94\\" + kCopyV1);
    EXPECT_EQ(backupNames(), Strings{kCopyV1});
}

TEST_F(Open, ALongCopyIsReportedAndACancelHalfWayOpensNothingAndLeavesNoCopy) {
    const std::string content(3 << 20, 'b');
    work.write("big.txt", content);
    window().fun_Load();
    ui.cancelWhen = [](const ProgressReport& r) { return r.copied > 0; };
    doubleClick(rowOf("big.txt"));
    ASSERT_FALSE(ui.progressReports.empty());
    EXPECT_EQ(ui.progressReports.back().fileName, "big.txt");
    EXPECT_EQ(ui.progressReports.back().total, content.size());
    EXPECT_EQ(ui.progressEnds, 1);
    // As a failure ends it, but without a message: nothing opened, no copy.
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.shellRequests.empty());
    EXPECT_NE(ui.windowStates.back(), WindowState::Minimized);
    EXPECT_EQ(namesIn(work.path()), (Strings{"_mabre-l94", "a.txt", "big.txt"}));
    EXPECT_TRUE(backupNames().empty());

    // Let run, it is reported to its end, which comes before the open.
    ui.cancelWhen = nullptr;
    doubleClick(rowOf("big.txt"));
    EXPECT_EQ(ui.progressReports.back().copied, content.size());
    EXPECT_EQ(ui.shellRequests.size(), 1u);
    ASSERT_EQ(backupNames().size(), 1u);
    EXPECT_EQ(readBytes(work.path() / "_mabre-l94" / backupNames()[0]), content);
}

TEST_F(Open, TheOpenFilterRefusesWithAMessageAndTouchesNothing) {
    for (const char* n : {"tool.exe", "README", "b.doc"}) work.write(n, "x");
    state.exceptionExtList1Mode = 1;  // show them all
    state.exceptionExtList1 = ".exe.doc.";
    window().fun_Load();
    const struct {
        std::int16_t mode;
        const char* list;
        const char* name;
        bool opens;
    } cases[] = {
        {0, settings::kDefaultExtList, "tool.exe", false},
        {0, settings::kDefaultExtList, "README", false},  // a name without a dot gives "."
        {1, ".txt.DOC.", "b.doc", false},                 // an upper-case entry never matches
        {1, ".txt.DOC.", "README", true},
    };
    for (const auto& c : cases) {
        state.exceptionExtList2Mode = c.mode;
        state.exceptionExtList2 = c.list;
        ui.messages.clear();
        ui.shellRequests.clear();
        doubleClick(rowOf(c.name));
        EXPECT_EQ(ui.messages, c.opens ? Strings{} : Strings{kRefused}) << c.name;
        EXPECT_EQ(ui.shellRequests.size(), c.opens ? 1u : 0u) << c.name;
        EXPECT_EQ(std::filesystem::exists(work.path() / "_mabre-l94"), c.opens) << c.name;
    }
}

}  // namespace
}  // namespace mabrel::test
