// Comparing versions from the row menu, on real files: which two files are
// compared, whether they are read as text or go to the compare tool, and that
// closing the window stops the comparison.
#include <gtest/gtest.h>

#include <atomic>

#include "app/window_fixture.h"
#include "backup/frm_compare.h"
#include "backup/frm_rclick.h"
#include "support/forwarding_filesystem.h"
#include "support/wait.h"

namespace mabrel::test {
namespace {

constexpr char kOld[] = "2020-01-02 03-04-05";

// A row as "<kind> <older side> | <newer side>", changed pieces in [ ].
std::string shown(const backup::TextComparison& c, std::size_t row) {
    std::string out(1, "=-+~"[static_cast<int>(c.rows[row].kind)]);
    for (const bool newer : {false, true}) {
        out += newer ? " |" : "";
        if ((newer ? c.rows[row].right : c.rows[row].left) < 0) continue;
        out += " ";
        for (const backup::Run& run : c.runs(row, newer)) out += run.changed && c.rows[row].kind == backup::RowKind::Changed ? "[" + run.text + "]" : run.text;
    }
    return out;
}

class Compare : public WindowTest {
protected:
    // a.txt's kept version holds `older`, the file now `newer`.
    void files(const std::string& older, const std::string& newer) {
        file("_mabre-l94/a_2020-01-02 03-04-05.txt", older, 2020, 1, 2, 3, 4, 5);
        file("a.txt", newer, 2021, 6, 7, 8, 9, 10);
        if (window().lvwFiles.rows.empty()) startIn(root);
        else window().fun_Load();
    }
    // Compares the rows through the menu; the scripted person looks at the window.
    void compare(const std::vector<int>& rows, std::function<void(frm_compare&)> look = {}) {
        select(rows);
        ui.rclickScripts.push_back([](frm_rclick& m) { m.Command1_Click(frm_rclick::kCompare); });
        if (look) ui.compareScripts.push_back(std::move(look));
        window().lvwFiles_MouseUp(kRightButton, 0, 10, 10);
    }
};

TEST_F(Compare, TextsAreShownSideBySideAndOtherFilesGoToTheCompareTool) {
    const std::string cp932 = *codec->toAnsi("今日は晴れ。\r\n明日は雨。\r\n");
    struct Case {
        std::string older, newer;
        std::vector<std::string> rows;  // none: the compare tool
        std::string olderText, newerText;  // encoding and line ends
    };
    const Case cases[] = {
        {"今日は晴れ。\n明日は雨。\n", "今日は晴れ。\n明日は雪だ。\n",
         {"= 今日は晴れ。 | 今日は晴れ。", "~ 明日は[雨]。 | 明日は[雪だ]。"}, "UTF-8・LF", "UTF-8・LF"},
        {cp932, "\xEF\xBB\xBF" "今日は晴れ。\r\n明日は雨。\r\n",
         {"= 今日は晴れ。 | 今日は晴れ。", "= 明日は雨。 | 明日は雨。"}, "Shift_JIS・CRLF", "UTF-8 (BOM)・CRLF"},
        {"a\r\nlast", "a\nlast\nnew\n", {"~ a[ [CRLF]] | a[ [LF]]", "~ last[ [改行なし]] | last[ [LF]]", "+ | new"}, "UTF-8・CRLF", "UTF-8・LF"},
        {"apple\nend\n", "\tk=2 \x1b[0m\nend\n", {"- apple |", "+ |     k=2 \xE2\x90\x9B[0m", "= end | end"}, "UTF-8・LF", "UTF-8・LF"},
        {std::string("PK\x03\x04\0\0", 6), "plain text\n", {}, "", ""},
        {"text\x01more\n", "plain text\n", {}, "", ""},
        {"caf\xE9 \xFF\n", "plain text\n", {}, "", ""},
        // Text, but past the size the window reads.
        {std::string(backup::kTextCompareLimit, 'a') + "\n", "plain text\n", {}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.older.substr(0, 40));
        files(c.older, c.newer);
        ui.compareToolRequests.clear();
        bool looked = false;
        // The present file selected first: it still goes on the right.
        compare({rowOf("a.txt"), rowOf("a.txt", kOld)}, [&](frm_compare& w) {
            looked = true;
            ASSERT_NE(w.comparison(), nullptr);
            std::vector<std::string> rows;
            for (std::size_t r = 0; r < w.comparison()->rows.size(); ++r) rows.push_back(shown(*w.comparison(), r));
            EXPECT_EQ(rows, c.rows);
            EXPECT_NE(w.lblOlder.caption.find(std::string("a.txt　") + kOld + "（バックアップ）\n" + c.olderText), std::string::npos) << w.lblOlder.caption;
            EXPECT_NE(w.lblNewer.caption.find("a.txt　2021-06-07 08-09-10（現在のファイル）\n" + c.newerText), std::string::npos) << w.lblNewer.caption;
        });
        EXPECT_EQ(looked, !c.rows.empty());
        if (c.rows.empty()) {
            ASSERT_EQ(ui.compareToolRequests.size(), 1u);
            const CompareToolRequest& r = ui.compareToolRequests[0];
            EXPECT_EQ(std::make_pair(r.older, r.newer), std::make_pair(root + "_mabre-l94\\a_2020-01-02 03-04-05.txt", root + "a.txt"));
            EXPECT_EQ(r.olderTitle, std::string("a.txt　") + kOld + "（バックアップ）");
        } else {
            EXPECT_TRUE(ui.compareToolRequests.empty());
        }
        EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
    }
}

TEST_F(Compare, OneKeptVersionOrTwoRowsAreComparedOlderLeftAndNothingIsTouched) {
    files("1\n2\n3\n", "1\nzwei\n3\n");
    file("_mabre-l94/a_2019-01-01 00-00-00.txt", "1\n2\n", 2019, 1, 1, 0, 0, 0);
    work.write("b.txt", "b\n");
    window().fun_Load();
    const auto before = backupNames();
    const auto time = std::filesystem::last_write_time(work.path() / "a.txt");
    const std::pair<std::vector<int>, bool> offers[] = {{{rowOf("a.txt", kOld)}, true},
                                                        {{rowOf("a.txt")}, false},
                                                        {{rowOf("a.txt"), rowOf("b.txt")}, true},
                                                        {{rowOf("a.txt"), rowOf("b.txt"), rowOf("a.txt", kOld)}, false}};
    for (const auto& [rows, offered] : offers) {
        select(rows);
        bool enabled = !offered;
        ui.rclickScripts.push_back([&](frm_rclick& m) { enabled = m.Command1[frm_rclick::kCompare].enabled; });
        window().lvwFiles_MouseUp(kRightButton, 0, 1, 1);
        EXPECT_EQ(enabled, offered) << rows.size() << " rows";
    }
    // Two kept versions: the earlier on the left.
    compare({rowOf("a.txt", kOld), rowOf("a.txt", "2019-01-01 00-00-00")}, [](frm_compare& w) {
        EXPECT_NE(w.lblOlder.caption.find("2019-01-01 00-00-00"), std::string::npos);
        EXPECT_NE(w.lblNewer.caption.find(kOld), std::string::npos);
        EXPECT_EQ(w.lblStatus.caption, "変更 1 か所（1 番目）");
    });
    EXPECT_EQ(std::count(ui.modalShowings.begin(), ui.modalShowings.end(), WindowKind::Compare), 1);
    select({rowOf("a.txt")});
    window().fun_aCompare();  // Ctrl+D
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("比べる版を選んでください"), std::string::npos);
    EXPECT_EQ(backupNames(), before);
    EXPECT_EQ(std::filesystem::last_write_time(work.path() / "a.txt"), time);
}

TEST_F(Compare, ClosingTheWindowStopsALongComparison) {
    // About 50 MB of log lines, a few changed.
    std::string older, newer;
    for (int i = 0; older.size() < (50u << 20); ++i) {
        const std::string line = "2024-03-01 09:00:" + std::to_string(i % 60) + " [INFO] 処理 " + std::to_string(i);
        older += line + " 接続を確認しました。\r\n";
        newer += line + (i % 250000 == 10 ? " 変更" : "") + " 接続を確認しました。\r\n";
    }
    files(older, newer);
    // The file now is read once the close is under way: the comparison has
    // all of its work before it when the close asks it to stop.
    struct HeldRead : platform::ForwardingFileSystem {
        using ForwardingFileSystem::ForwardingFileSystem;
        std::atomic<bool> closing{false};
        void entering(platform::FsOp op, const std::string& path, const std::string&) override {
            if (op == platform::FsOp::ReadFile && path.ends_with("\\a.txt")) {
                EXPECT_TRUE(waitFor([&] { return closing.load(); }));
            }
        }
    } held(*fs);
    frm_compare closed(held, *codec, {root, "a_2020-01-02 03-04-05.txt", true, root + "_mabre-l94\\a_2020-01-02 03-04-05.txt", "b"},
                       {root, "a.txt", false, root + "a.txt", "a"});
    closed.Form_Load();
    held.closing = true;
    closed.cmdClose_Click();
    EXPECT_TRUE(closed.stopped()) << "the comparison ran to its end";
    EXPECT_EQ(closed.comparison(), nullptr);
    EXPECT_EQ(closed.outcome(), frm_compare::Outcome::Pending);
}

}  // namespace
}  // namespace mabrel::test
