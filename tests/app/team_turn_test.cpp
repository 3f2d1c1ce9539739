// One colleague's turn in the team's folder (setgid, group-writable), the
// program run by that colleague's own account: scripts/wine-tests.sh has
// two colleagues take turns with the Windows program under Wine. The first
// opens a file; an editor saves it; the second comments the first one's
// copy, opens the file again, compares and restores that copy; the first
// edits the restored file and comments; the second deletes their copy. Each turn finds
// what the other left, and no turn shows a message. Run only so:
// --gtest_also_run_disabled_tests with MABREL_TEAM_FOLDER (drive form) and
// MABREL_TEAM_TURN (1 to 4).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "app/window_fixture.h"
#include "backup/frm_compare.h"
#include "backup/frm_rclick.h"

namespace mabrel::test {
namespace {

using Strings = std::vector<std::string>;
constexpr char kV1[] = "2020-01-02 03-04-05", kV2[] = "2021-06-07 08-09-10";
constexpr char kCopyV1[] = "a_2020-01-02 03-04-05.txt", kCopyV2[] = "a_2021-06-07 08-09-10.txt";

class DISABLED_TeamTurn : public WindowTest {
protected:
    void SetUp() override {
        const char* folder = std::getenv("MABREL_TEAM_FOLDER");
        const char* turn = std::getenv("MABREL_TEAM_TURN");
        ASSERT_TRUE(folder && turn) << "not started by the script";
        team_ = folder;
        turn_ = std::atoi(turn);
        here_ = std::filesystem::u8path(team_);
        startIn(team_);
    }
    void choose(int row, int index) {
        ASSERT_GE(row, 0) << shown();
        select({row});
        ui.rclickScripts.push_back([index](frm_rclick& m) { m.Command1_Click(index); });
        window().lvwFiles_MouseUp(kRightButton, 0, 10, 10);
    }
    void comment(int row, const std::string& text) {
        ui.inputAnswers = {text};
        choose(row, frm_rclick::kComment);
    }
    // The rows as listed, for a failure's message.
    std::string shown() {
        std::string out;
        for (const auto& r : window().lvwFiles.rows) out += r.cells[0] + " | " + r.cells[1] + " | " + r.cells[3] + "\n";
        return out;
    }
    Strings copies() const { return namesIn(here_ / "_mabre-l94"); }

    std::string team_;
    int turn_ = 0;
    std::filesystem::path here_;
};

TEST_F(DISABLED_TeamTurn, FindsWhatTheOtherLeftAndLeavesWhatTheOtherNeeds) {
    switch (turn_) {
    case 1:
        select({rowOf("a.txt")});
        window().lvwFiles_DblClick();
        EXPECT_EQ(copies(), Strings{kCopyV1});
        break;
    case 2: {  // the file saved meanwhile
        comment(rowOf("a.txt", kV1), "最初の版");
        select({rowOf("a.txt")});
        window().lvwFiles_DblClick();
        EXPECT_EQ(copies(), (Strings{kCopyV1, kCopyV2}));
        window().cmdUpdate_Click();
        // The other's copy beside the file: both read, the window shows them.
        bool shown = false;
        ui.compareScripts.push_back([&shown](frm_compare& w) {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
            while (w.outcome() == frm_compare::Outcome::Pending && std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                w.Timer_Tick(100000);
            }
            shown = w.outcome() == frm_compare::Outcome::Shown;
        });
        select({rowOf("a.txt", kV1), rowOf("a.txt")});
        ui.rclickScripts.push_back([](frm_rclick& m) { m.Command1_Click(frm_rclick::kCompare); });
        window().lvwFiles_MouseUp(kRightButton, 0, 10, 10);
        EXPECT_TRUE(shown);
        choose(rowOf("a.txt", kV1), frm_rclick::kRestore);
        EXPECT_EQ(readBytes(here_ / "a.txt"), "one");
        break;
    }
    case 3: {
        // The file the other restored is the team's to edit still.
        EXPECT_TRUE(std::ofstream(here_ / "a.txt", std::ios::app) << " and three");
        window().cmdUpdate_Click();
        EXPECT_EQ(commentOf(rowOf("a.txt", kV1)), "最初の版") << shown();
        // Wine lets only the owner clear a file's read-only mark: the other's
        // copy stays, and the person is told.
        choose(rowOf("a.txt", kV2), frm_rclick::kDelete);
        EXPECT_EQ(copies(), (Strings{kCopyV1, kCopyV2}));
        EXPECT_EQ(ui.messages, Strings{"in fun_aDelete, err 70 (アクセスが拒否されました。)"});
        ui.messages.clear();
        comment(rowOf("a.txt", kV1), "戻した版");
        nextRun();
        EXPECT_EQ(commentOf(rowOf("a.txt", kV1)), "戻した版");
        break;
    }
    case 4:  // the second deletes their own copy
        EXPECT_EQ(commentOf(rowOf("a.txt", kV1)), "戻した版");
        choose(rowOf("a.txt", kV2), frm_rclick::kDelete);
        EXPECT_EQ(copies(), Strings{kCopyV1});
        break;
    default: FAIL() << "no such turn";
    }
    EXPECT_EQ(ui.messages, Strings{});
}

}  // namespace
}  // namespace mabrel::test
