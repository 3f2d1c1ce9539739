// Comparing versions from the row menu, on real files: what the compare
// window shows for texts of every kind, what goes to the compare tool, and
// that neither file is touched.
#include <gtest/gtest.h>

#include <chrono>

#include "app/window_fixture.h"
#include "backup/frm_compare.h"
#include "backup/frm_rclick.h"

namespace mabrel::test {
namespace {

namespace stdfs = std::filesystem;

constexpr char kOld[] = "2020-01-02 03-04-05";
constexpr char kNew[] = "2021-06-07 08-09-10";

// A row as "<kind> <older side> | <newer side>", changed pieces in [ ].
std::string shown(const backup::TextComparison& c, std::size_t row) {
    static const char kinds[] = {'=', '-', '+', '~'};
    std::string out(1, kinds[static_cast<int>(c.rows[row].kind)]);
    for (const bool newer : {false, true}) {
        out += newer ? " |" : "";
        if ((newer ? c.rows[row].right : c.rows[row].left) < 0) continue;
        out += " ";
        for (const backup::Run& run : c.runs(row, newer)) out += run.changed && c.rows[row].kind == backup::RowKind::Changed ? "[" + run.text + "]" : run.text;
    }
    return out;
}

std::vector<std::string> shownRows(const backup::TextComparison& c) {
    std::vector<std::string> out;
    for (std::size_t r = 0; r < c.rows.size(); ++r) out.push_back(shown(c, r));
    return out;
}

class Compare : public WindowTest {
protected:
    // a.txt's kept version holds `older`, the file now `newer`; b.txt is another file.
    void files(const std::string& older, const std::string& newer) {
        setModificationTime(work.write("_mabre-l94/a_2020-01-02 03-04-05.txt", older), 2020, 1, 2, 3, 4, 5);
        setModificationTime(work.write("a.txt", newer), 2021, 6, 7, 8, 9, 10);
        if (window().lvwFiles.rows.empty()) {
            startIn(root);
        } else {
            window().fun_Load();
        }
    }
    // Compares the rows through the menu; the scripted person looks at the
    // window once it is done.
    void compare(const std::vector<int>& rows, std::function<void(frm_compare&)> look = {}) {
        select(rows);
        ui.rclickScripts.push_back([](frm_rclick& m) { m.Command1_Click(frm_rclick::kCompare); });
        if (look) ui.compareScripts.push_back(std::move(look));
        window().lvwFiles_MouseUp(kRightButton, 0, 10, 10);
    }
    // What the window shows for the kept version against the file now.
    struct Seen {
        std::vector<std::string> rows;
        std::vector<std::int32_t> changes;
        std::string older, newer, status;
    };
    Seen compareWithPresent() {
        Seen seen;
        compare({rowOf("a.txt", kOld)}, [&](frm_compare& w) {
            ASSERT_NE(w.comparison(), nullptr);
            EXPECT_TRUE(w.visible);
            seen = {shownRows(*w.comparison()), w.comparison()->changes, w.lblOlder.caption, w.lblNewer.caption,
                    w.lblStatus.caption};
        });
        EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
        return seen;
    }
};

TEST_F(Compare, TextsOfEveryKindShowTheirLinesSideBySide) {
    const std::string cp932 = *codec->toAnsi("今日は晴れ。\r\n明日は雨。\r\n");
    struct Case {
        const char* what;
        std::string older, newer;
        std::vector<std::string> rows;
        std::string olderText, newerText;  // encoding and line ends
    };
    const Case cases[] = {
        {"Japanese, one character changed", "今日は晴れ。\n明日は雨。\n", "今日は晴れ。\n明日は雪だ。\n",
         {"= 今日は晴れ。 | 今日は晴れ。", "~ 明日は[雨]。 | 明日は[雪だ]。"}, "UTF-8・LF", "UTF-8・LF"},
        {"Shift_JIS against UTF-8 behind a byte order mark", cp932, "\xEF\xBB\xBF" "今日は晴れ。\r\n明日は雨。\r\n",
         {"= 今日は晴れ。 | 今日は晴れ。", "= 明日は雨。 | 明日は雨。"}, "Shift_JIS・CRLF", "UTF-8 (BOM)・CRLF"},
        {"CRLF made LF", "one\r\ntwo\r\n", "one\ntwo\n",
         {"~ one[ [CRLF]] | one[ [LF]]", "~ two[ [CRLF]] | two[ [LF]]"}, "UTF-8・CRLF", "UTF-8・LF"},
        {"no final line break, then a line added", "a\nlast", "a\nlast\nnew\n",
         {"= a | a", "~ last[ [改行なし]] | last[ [LF]]", "+ | new"}, "UTF-8・LF", "UTF-8・LF"},
        {"nothing in common", "apple\nbanana\n", "cherry\ndates\nfig\n",
         {"- apple |", "- banana |", "+ | cherry", "+ | dates", "+ | fig"},
         "UTF-8・LF", "UTF-8・LF"},
        {"a tab and an escape", "\tk=1 \x1b[0m\n", "\tk=2 \x1b[0m\n", {"~     k=[1] \xE2\x90\x9B[0m |     k=[2] \xE2\x90\x9B[0m"},
         "UTF-8・LF", "UTF-8・LF"},
        {"an empty file", "", "new\n", {"+ | new"}, "UTF-8・改行なし", "UTF-8・LF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        files(c.older, c.newer);
        const Seen seen = compareWithPresent();
        EXPECT_EQ(seen.rows, c.rows);
        EXPECT_NE(seen.older.find("a.txt　2020-01-02 03-04-05（バックアップ）"), std::string::npos) << seen.older;
        EXPECT_NE(seen.older.find(c.olderText), std::string::npos) << seen.older;
        EXPECT_NE(seen.newer.find("a.txt　2021-06-07 08-09-10（現在のファイル）"), std::string::npos) << seen.newer;
        EXPECT_NE(seen.newer.find(c.newerText), std::string::npos) << seen.newer;
    }
    EXPECT_TRUE(ui.compareToolRequests.empty());
}

TEST_F(Compare, TwoRowsGoOlderLeftAndTheKeysWalkTheChangesAndNothingIsTouched) {
    files("1\n2\n3\n4\n5\n6\n7\n", "1\nzwei\n3\n4\n5\n6\nsieben\n");
    setModificationTime(work.write("_mabre-l94/a_2019-01-01 00-00-00.txt", "1\n2\n"), 2019, 1, 1, 0, 0, 0);
    window().fun_Load();
    const auto before = namesIn(work.path() / "_mabre-l94");
    const auto time = stdfs::last_write_time(work.path() / "a.txt");

    // The present file selected first: it still goes on the right.
    compare({rowOf("a.txt"), rowOf("a.txt", kOld)}, [](frm_compare& w) {
        EXPECT_EQ(w.lblStatus.caption, "変更 2 か所（1 番目）");
        EXPECT_EQ(w.currentRow(), 1);
        EXPECT_FALSE(w.cmdPrevious.enabled);
        w.cmdNext_Click();
        EXPECT_EQ(w.currentRow(), 7);
        EXPECT_EQ(w.lblStatus.caption, "変更 2 か所（2 番目）");
        EXPECT_FALSE(w.cmdNext.enabled);
        w.cmdNext_Click();  // no further change
        EXPECT_EQ(w.currentChange, 1);
        w.cmdPrevious_Click();
        EXPECT_EQ(w.currentRow(), 1);
        EXPECT_NE(w.lblOlder.caption.find(kOld), std::string::npos);
        EXPECT_NE(w.lblNewer.caption.find(kNew), std::string::npos);
        w.cmdClose_Click();
    });
    // Two kept versions: the earlier on the left.
    compare({rowOf("a.txt", kOld), rowOf("a.txt", "2019-01-01 00-00-00")}, [](frm_compare& w) {
        EXPECT_NE(w.lblOlder.caption.find("2019-01-01 00-00-00"), std::string::npos);
        EXPECT_EQ(w.comparison()->rows.size(), 7u);
    });
    EXPECT_EQ(ui.modalShowings, (std::vector<WindowKind>{WindowKind::RClick, WindowKind::Compare, WindowKind::RClick,
                                                         WindowKind::Compare}));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(namesIn(work.path() / "_mabre-l94"), before);
    EXPECT_EQ(stdfs::last_write_time(work.path() / "a.txt"), time);
    EXPECT_EQ(readBytes(work.path() / "a.txt"), "1\nzwei\n3\n4\n5\n6\nsieben\n");
}

TEST_F(Compare, TheMenuOffersItForOneKeptVersionOrTwoRowsAndTheKeyTellsOtherwise) {
    files("x\n", "y\n");
    work.write("b.txt", "b\n");
    window().fun_Load();
    struct Case {
        std::vector<int> rows;
        bool offered;
    };
    const Case cases[] = {{{rowOf("a.txt", kOld)}, true},
                          {{rowOf("a.txt")}, false},
                          {{rowOf("a.txt"), rowOf("b.txt")}, true},
                          {{rowOf("a.txt"), rowOf("b.txt"), rowOf("a.txt", kOld)}, false}};
    for (const Case& c : cases) {
        select(c.rows);
        bool enabled = !c.offered;
        ui.rclickScripts.push_back([&](frm_rclick& m) {
            enabled = m.Command1[frm_rclick::kCompare].enabled;
            EXPECT_EQ(m.Command1[frm_rclick::kCompare].caption, "比 較");
            EXPECT_EQ(m.Command1[frm_rclick::kCompare].geometry, (Geometry{90, 2490, 2115, 510}));
        });
        window().lvwFiles_MouseUp(kRightButton, 0, 1, 1);
        EXPECT_EQ(enabled, c.offered) << c.rows.size() << " rows";
    }
    select({rowOf("a.txt")});
    window().fun_aCompare();  // Ctrl+D
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("比べる版を選んでください"), std::string::npos);
    EXPECT_EQ(std::count(ui.modalShowings.begin(), ui.modalShowings.end(), WindowKind::Compare), 0);
}

TEST_F(Compare, OtherFilesGoToTheCompareToolOlderLeftOrAMessageNamesTheTools) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {{"a NUL", std::string("PK\x03\x04\0\0", 6)},
                          {"a control character", "text\x01more\n"},
                          {"neither UTF-8 nor Shift_JIS", "caf\xE9 \xFF\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        files(c.bytes, "plain text\n");
        ui.compareToolRequests.clear();
        compare({rowOf("a.txt"), rowOf("a.txt", kOld)});
        ASSERT_EQ(ui.compareToolRequests.size(), 1u);
        const CompareToolRequest& r = ui.compareToolRequests[0];
        EXPECT_EQ(r.older, root + "_mabre-l94\\a_2020-01-02 03-04-05.txt");
        EXPECT_EQ(r.newer, root + "a.txt");
        EXPECT_EQ(r.olderTitle, std::string("a.txt　") + kOld + "（バックアップ）");
        EXPECT_EQ(r.newerTitle, std::string("a.txt　") + kNew + "（現在のファイル）");
        EXPECT_TRUE(ui.messages.empty());
    }
    ui.compareToolInstalled = false;
    compare({rowOf("a.txt", kOld)});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("比較ツール（TestDiff）がインストールされていません"), std::string::npos) << ui.messages[0];
}

TEST_F(Compare, AFileGoneSinceTheListWasReadIsReported) {
    files("x\n", "y\n");
    stdfs::remove(work.path() / "a.txt");
    compare({rowOf("a.txt", kOld)});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("in fun_aCompare, err 53 (", 0), 0u) << ui.messages[0];
}

// A log of about 50 MB, three of whose lines changed in the newer version.
std::string bigLog(bool changed) {
    std::string log;
    log.reserve(52u << 20);
    for (int i = 0; log.size() < (50u << 20); ++i) {
        log += "2024-03-01 09:00:" + std::to_string(i % 60) + " [INFO] 処理 " + std::to_string(i);
        if (changed && (i == 10 || i == 250000 || i == 500000)) log += " 変更";
        log += " 接続を確認しました。 request=" + std::to_string(i * 7) + "\r\n";
    }
    return log;
}

TEST_F(Compare, AFiftyMegabyteLogComparesOffTheWindowsThreadAndStopsWhenClosed) {
    files(bigLog(false), bigLog(true));
    compare({rowOf("a.txt", kOld)}, [](frm_compare& w) {
        const backup::TextComparison& c = *w.comparison();
        ASSERT_EQ(c.changes.size(), 3u);
        EXPECT_EQ(w.lblStatus.caption, "変更 3 か所（1 番目）");
        const std::string row = shown(c, static_cast<std::size_t>(c.changes[1]));
        EXPECT_NE(row.find("処理 250000 [変更 ]接続"), std::string::npos) << row;
        EXPECT_EQ(c.rows.size(), c.older.lines.size());
    });
    EXPECT_TRUE(ui.messages.empty());

    // Closed at once: the comparison stops rather than running on.
    frm_compare closed(*fs, *codec, {root, "a.txt", false, root + "a.txt", "a"},
                       {root, "a_2020-01-02 03-04-05.txt", true, root + "_mabre-l94\\a_2020-01-02 03-04-05.txt", "b"});
    closed.Form_Load();
    closed.cmdClose_Click();
    EXPECT_TRUE(closed.unloaded);
    EXPECT_EQ(closed.comparison(), nullptr);
    EXPECT_EQ(closed.outcome(), frm_compare::Outcome::Pending);
}

}  // namespace
}  // namespace mabrel::test
