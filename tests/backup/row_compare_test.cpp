// Comparing versions from the row menu, on real files: which two files are
// compared, whether they are read as text or go to the compare tool, and that
// closing the window stops the comparison.
#include <gtest/gtest.h>

#include <atomic>

#include "app/window_fixture.h"
#include "backup/frm_compare.h"
#include "backup/frm_rclick.h"
#include "backup/compare_rows.h"
#include "support/fault_injection.h"
#include "support/forwarding_filesystem.h"
#include "support/wait.h"
#include "util/text.h"

#include <chrono>
#include <thread>

namespace mabrel::test {
namespace {

constexpr char kOld[] = "2020-01-02 03-04-05";

// A text in UTF-16 behind its byte order mark.
std::string utf16(std::u16string_view text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t u : text) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

class Compare : public WindowTest {
protected:
    // a.txt's (a<ext>'s) kept version holds `older`, the file now `newer`.
    void files(const std::string& older, const std::string& newer, const std::string& ext = ".txt") {
        file("_mabre-l94/a_2020-01-02 03-04-05" + ext, older, 2020, 1, 2, 3, 4, 5);
        file("a" + ext, newer, 2021, 6, 7, 8, 9, 10);
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
    // The window compared as it is now (after an option was changed).
    static void awaitComparison(frm_compare& w) {
        const auto start = std::chrono::steady_clock::now();
        while (w.lblStatus.caption == "比較中…" && std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            w.Timer_Tick(100000);
        }
    }
    // Two files a comparison window reads directly.
    std::unique_ptr<frm_compare> windowOn(const std::string& older, const std::string& newer) {
        work.write("older.txt", older);
        work.write("newer.txt", newer);
        auto w = std::make_unique<frm_compare>(*fs, *codec, CompareFile{root, "older.txt", false, root + "older.txt", "o", "older.txt", "older.txt"},
                                               CompareFile{root, "newer.txt", false, root + "newer.txt", "n", "newer.txt", "newer.txt"});
        w->Form_Load();
        const auto start = std::chrono::steady_clock::now();
        while (w->outcome() == frm_compare::Outcome::Pending && std::chrono::steady_clock::now() - start < std::chrono::seconds(120)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            w->Timer_Tick(100000);
        }
        return w;
    }
};

TEST_F(Compare, TextsAreShownSideBySideAndOtherFilesGoToTheCompareTool) {
    const std::string cp932 = *codec->toAnsi("今日は晴れ。\r\n明日は雨。\r\n");
    struct Case {
        std::string older, newer;
        std::vector<std::string> rows;  // none: the compare tool
        std::string olderText, newerText;  // encoding and line ends
        std::string status = {};
    };
    const Case cases[] = {
        {"今日は晴れ。\n明日は雨。\n", "今日は晴れ。\n明日は雪だ。\n",
         {"= 今日は晴れ。 | 今日は晴れ。", "~ 明日は[雨]。 | 明日は[雪だ]。"}, "UTF-8・LF", "UTF-8・LF"},
        {cp932, "\xEF\xBB\xBF" "今日は晴れ。\r\n明日は雨。\r\n",
         {"= 今日は晴れ。 | 今日は晴れ。", "= 明日は雨。 | 明日は雨。"}, "Shift_JIS・CRLF", "UTF-8 (BOM)・CRLF",
         "文字コードだけが違います（左 Shift_JIS、右 UTF-8 (BOM)）。"},
        // Half-width kana in the code page are valid UTF-8 too: read as the comment file reads them.
        {"\xCF\xB2\xCE\xB0\r\n", "ﾏｲﾎｰ\r\n", {"= ﾏｲﾎｰ | ﾏｲﾎｰ"}, "Shift_JIS・CRLF", "UTF-8・CRLF",
         "文字コードだけが違います（左 Shift_JIS、右 UTF-8）。"},
        {utf16(u"今日は晴れ。\r\n明日は雨。\r\n", false), utf16(u"今日は晴れ。\r\n明日は雪。\r\n\U0001F600", true),
         {"= 今日は晴れ。 | 今日は晴れ。", "~ 明日は[雨]。 | 明日は[雪]。", "+ | \U0001F600"}, "UTF-16LE (BOM)・CRLF",
         "UTF-16BE (BOM)・CRLF", "変更 1 か所（1 番目）"},
        {"a\r\nb\r\n", "a\nb\n", {"= a | a", "= b | b"}, "UTF-8・CRLF", "UTF-8・LF", "改行だけが違います（左 CRLF、右 LF）。"},
        // A character cut short is a mark, and the header counts its bytes.
        {"今日は晴れ。\n明日\xE3\x81は雨。\n", "今日は晴れ。\n明日は雨。\n",
         {"= 今日は晴れ。 | 今日は晴れ。", "~ 明日[\xEF\xBF\xBD\xEF\xBF\xBD]は雨。 | 明日は雨。"},
         "UTF-8・LF・読めないバイト 2 個（\xEF\xBF\xBD で表示）", "UTF-8・LF"},
        {"a\r\nlast", "a\nlast\nnew\n", {"~ a[ [CRLF]] | a[ [LF]]", "~ last[ [改行なし]] | last[ [LF]]", "+ | new"}, "UTF-8・CRLF", "UTF-8・LF"},
        {"apple\nend\n", "\tk=2 \x1b[0m\nend\n", {"- apple |", "+ |     k=2 \xE2\x90\x9B[0m", "= end | end"}, "UTF-8・LF", "UTF-8・LF"},
        {std::string("PK\x03\x04\0\0", 6), "plain text\n", {}, "", ""},
        {"text\x01more\n", "plain text\n", {}, "", ""},
        {"d\xE9j\xE0 \xFF\xFF\xFF\xFF\xFF\n", "plain text\n", {}, "", ""},
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
            for (std::size_t r = 0; r < w.comparison()->rows.size(); ++r) rows.push_back(shownRow(*w.comparison(), r));
            EXPECT_EQ(rows, c.rows);
            EXPECT_NE(w.lblOlder.caption.find(std::string("a.txt　") + kOld + "（バックアップ）\n" + c.olderText), std::string::npos) << w.lblOlder.caption;
            EXPECT_NE(w.lblNewer.caption.find("a.txt　2021-06-07 08-09-10（現在のファイル）\n" + c.newerText), std::string::npos) << w.lblNewer.caption;
            if (!c.status.empty()) {
                EXPECT_EQ(w.lblStatus.caption, c.status);
            }
            EXPECT_EQ(w.caption, "a.txt の比較 — mabrel9-iv");
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

TEST_F(Compare, ExcelAndWordFilesAreComparedAsTheirLinesAndUnreadableOnesSayWhy) {
    const auto sample = [](const std::string& name) { return readBytes(std::string(MABREL_OFFICE_SAMPLES) + "/" + name); };
    ui.compareToolInstalled = false;
    const struct {
        std::string older, newer, ext;
        std::string row;      // a row the window shows; empty: not compared here
        std::string caption;  // what the window says of the files, or the message's reason
    } cases[] = {
        {"quote_v1.xlsx", "quote_v2.xlsx", ".xlsx", "+ | A4: バナナ", "Excel ブック"},
        {"stored.xlsm", "stored.xlsm", ".XLSM", "= B2: =A2*2.1 → 6.3 | B2: =A2*2.1 → 6.3", "Excel ブック"},
        {"minutes.docx", "minutes.docx", ".docx", "= 社外秘 | 社外秘", "Word 文書"},
        {"quote_v1.xlsx", "protected.xlsx", ".xlsx", "", "（パスワードで保護されているため）"},
        {"truncated.xlsx", "quote_v1.xlsx", ".xlsx", "", "（ファイルが壊れているため（ZIP の目次が見つかりません））"},
        {"old.xls", "old.xls", ".xls", "", "（古い形式（.xls や .doc）のため）"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.newer);
        files(sample(c.older), sample(c.newer), c.ext);
        const auto time = std::filesystem::last_write_time(work.path() / ("a" + c.ext));
        const auto kept = backupNames();
        ui.messages.clear();
        bool looked = false;
        compare({rowOf("a" + c.ext, kOld)}, [&](frm_compare& w) {
            looked = true;
            ASSERT_NE(w.comparison(), nullptr);
            std::vector<std::string> rows;
            for (std::size_t r = 0; r < w.comparison()->rows.size(); ++r) rows.push_back(shownRow(*w.comparison(), r));
            EXPECT_NE(std::find(rows.begin(), rows.end(), c.row), rows.end());
            EXPECT_NE(w.lblNewer.caption.find("\n" + c.caption), std::string::npos) << w.lblNewer.caption;
        });
        EXPECT_EQ(looked, !c.row.empty());
        if (c.row.empty()) {
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_NE(ui.messages[0].find(c.caption), std::string::npos) << ui.messages[0];
        }
        // Only read: the same bytes, the same time, no copy taken.
        EXPECT_EQ(readBytes(work.path() / ("a" + c.ext)), sample(c.newer));
        EXPECT_EQ(std::filesystem::last_write_time(work.path() / ("a" + c.ext)), time);
        EXPECT_EQ(backupNames(), kept);
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
    frm_compare closed(held, *codec, {root, "a_2020-01-02 03-04-05.txt", true, root + "_mabre-l94\\a_2020-01-02 03-04-05.txt", "b", "a.txt", "b"},
                       {root, "a.txt", false, root + "a.txt", "a", "a.txt", "a"});
    closed.Form_Load();
    held.closing = true;
    closed.cmdClose_Click();
    EXPECT_TRUE(closed.stopped()) << "the comparison ran to its end";
    EXPECT_EQ(closed.comparison(), nullptr);
    EXPECT_EQ(closed.outcome(), frm_compare::Outcome::Pending);
}

TEST_F(Compare, ALargeTextWithOneBrokenCharacterAndLongLinesAreComparedAsText) {
    // 62 MB of log lines, one character cut short in the older, one line changed.
    std::string older, newer;
    for (int i = 0; older.size() < (62u << 20); ++i) {
        const std::string line = "2024-03-01 09:00:" + std::to_string(i % 60) + " [INFO] 処理 " + std::to_string(i) + " 接続を確認しました。\r\n";
        older += i == 1000 ? line.substr(0, line.size() - 5) + "\xE3\x80\r\n" : line;
        newer += i == 300000 ? "変更 " + line : line;
    }
    auto w = windowOn(older, newer);
    ASSERT_EQ(w->outcome(), frm_compare::Outcome::Shown);
    EXPECT_NE(w->lblOlder.caption.find("UTF-8・CRLF・読めないバイト 2 個"), std::string::npos) << w->lblOlder.caption;
    EXPECT_EQ(w->lblStatus.caption, "変更 2 か所（1 番目）");

    // Lines of 100,000 characters, one changed 17,000 characters in: its marks start there.
    std::string line, a, b;
    for (int k = 0; k < 100000; ++k) line += k % 3 == 0 ? "字" : "x";
    const std::size_t at = 17000 / 3 * 5 + 4;  // character 17,000, an x
    for (int i = 0; i < 3; ++i) {
        a += line + "\n";
        b += (i == 1 ? line.substr(0, at) + "y" + line.substr(at + 1) : line) + "\n";
    }
    w = windowOn(a, b);
    ASSERT_EQ(w->outcome(), frm_compare::Outcome::Shown);
    const backup::TextComparison& c = *w->comparison();
    ASSERT_EQ(w->currentRow(), 1);
    const auto& marks = c.marks.at(static_cast<std::size_t>(c.marksOfRow[1]));
    ASSERT_EQ(marks.older.size(), 1u);
    EXPECT_EQ(util::charLength(std::string(c.older.line(1).substr(0, marks.older[0].from))), 17000u);
    // The window is told to scroll to it.
    EXPECT_EQ(std::make_pair(w->place.column, w->place.length), std::make_pair(17000, 1));
}

TEST_F(Compare, ChangesAreWalkedFromTheRowClickedOrTheStripFoundAndCopied) {
    auto w = windowOn("a\nline b\nc\nd\nline e\nf\n\tx = 1;\n", "a\nline B\nc\nd\nline E\nf\n\tx = 2;\nh\n");
    ASSERT_EQ(w->outcome(), frm_compare::Outcome::Shown);
    EXPECT_EQ(w->caption, "older.txt と newer.txt の比較 — mabrel9-iv");
    using F = frm_compare;
    struct Step {
        std::function<void(F&)> act;
        std::string status;
        int row, column;  // the place shown
        bool newerSide;
    };
    const Step steps[] = {
        {[](F&) {}, "変更 3 か所（1 番目）", 1, 5, true},
        {[](F& f) { f.grdRows_Click(5); }, "変更 3 か所", 5, 0, true},
        {[](F& f) { f.cmdNext_Click(); }, "変更 3 か所（3 番目）", 6, 8, true},  // after the tab, laid out
        {[](F& f) { f.grdRows_Click(2); }, "変更 3 か所", 2, 0, true},
        {[](F& f) { f.cmdPrevious_Click(); }, "変更 3 か所（1 番目）", 1, 5, true},
        {[](F& f) { f.grdRows_Click(4); }, "変更 3 か所（2 番目）", 4, 0, true},
        {[](F& f) { f.cmdNext_Click(); }, "変更 3 か所（3 番目）", 6, 8, true},
        {[](F& f) { f.picChanges_Click(0.1); }, "変更 3 か所（1 番目）", 1, 5, true},
        {[](F& f) { f.picChanges_Click(0.6); }, "変更 3 か所（2 番目）", 4, 5, true},
        {[](F& f) { EXPECT_TRUE(f.find("x =")); }, "変更 3 か所（3 番目）", 6, 4, false},  // older side first
        {[](F& f) { EXPECT_TRUE(f.find("x =")); }, "変更 3 か所（3 番目）", 6, 4, true},
        {[](F& f) { EXPECT_TRUE(f.find("f")); }, "変更 3 か所", 5, 0, false},  // round again
        {[](F& f) { EXPECT_FALSE(f.find("zzz")); }, "変更 3 か所", 5, 0, false},
        {[](F& f) { f.cmdNext_Click(); }, "変更 3 か所（3 番目）", 6, 8, true},
        {[](F& f) { EXPECT_TRUE(f.find("B", false)); }, "変更 3 か所（1 番目）", 1, 5, true},
    };
    for (const Step& step : steps) {
        step.act(*w);
        EXPECT_EQ(w->lblStatus.caption, step.status);
        EXPECT_EQ(std::make_tuple(w->place.row, w->place.column, w->place.newerSide),
                  std::make_tuple(step.row, step.column, step.newerSide))
            << step.status;
    }
    EXPECT_EQ(w->copyText(1, 2, true), "line B\nc\n");
    EXPECT_EQ(w->copyText(6, 7, false), "\tx = 1;\n");  // the older side has no row 7
    const auto strip = w->stripMarks();
    ASSERT_EQ(strip.size(), 3u);
    EXPECT_DOUBLE_EQ(strip[0].from, 1.0 / 8);
    EXPECT_DOUBLE_EQ(strip[2].to, 1.0);

    // Over the main window at first, then where the person left one.
    EXPECT_EQ(comparePlacement({10, 20, 800, 600}).width, 800);
    rememberComparePlacement({5, 6, 1000, 700});
    EXPECT_EQ(comparePlacement({10, 20, 800, 600}).width, 1000);
}

TEST_F(Compare, TheWhiteSpaceAndLineEndOptionsCountAsDiffDoesAndFollowAtOnce) {
    const std::string older = "int a = 1;\r\nif (x)  {\r\n\treturn;\r\n}\r\nend\r\n";
    const std::string newer = "int a  =  1;  \nif (x) {\n    return;\n}\nend\n";
    auto w = windowOn(older, newer);
    ASSERT_EQ(w->outcome(), frm_compare::Outcome::Shown);
    struct Step {
        void (frm_compare::*click)();
        std::string status;
        std::size_t sameRows;
    };
    const Step steps[] = {
        {&frm_compare::chkIgnoreLineEnds_Click, "変更 1 か所（1 番目）", 2},            // "}" and "end" alike
        {&frm_compare::chkIgnoreWhitespace_Click, "空白と改行の違いのほかに相違はありません。", 5},
        {&frm_compare::chkIgnoreLineEnds_Click, "変更 1 か所（1 番目）", 0},          // -b keeps line ends
    };
    EXPECT_EQ(w->lblStatus.caption, "変更 1 か所（1 番目）");
    for (const Step& step : steps) {
        ((*w).*step.click)();
        awaitComparison(*w);
        EXPECT_EQ(w->lblStatus.caption, step.status);
        const auto& rows = w->comparison()->rows;
        EXPECT_EQ(static_cast<std::size_t>(std::count_if(rows.begin(), rows.end(), [](const backup::CompareRow& r) {
                      return r.kind == backup::RowKind::Same;
                  })),
                  step.sameRows);
    }
    // "a b" and "ab" still differ: only the amount of blanks is ignored.
    w = windowOn("a b\n", "ab\n");
    w->chkIgnoreWhitespace_Click();
    awaitComparison(*w);
    EXPECT_EQ(w->lblStatus.caption, "変更 1 か所（1 番目）");
}

TEST_F(Compare, AFileThatIsGoneOrCannotBeReadIsNamedWithTheReasonAndTheListIsReadAgain) {
    files("1\n", "2\n");
    std::filesystem::remove(work.path() / "a.txt");
    compare({rowOf("a.txt", kOld)});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "a.txt（現在のファイル）が見つかりません。");
    EXPECT_EQ(rowOf("a.txt"), -1);

    files("1\n", "2\n");
    ui.messages.clear();
    const int present = rowOf("a.txt"), kept = rowOf("a.txt", kOld);
    std::filesystem::remove(work.path() / "_mabre-l94/a_2020-01-02 03-04-05.txt");
    compare({present, kept});
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "a.txt（バックアップ）が見つかりません。");
    EXPECT_EQ(rowOf("a.txt", kOld), -1);
    EXPECT_NE(rowOf("a.txt"), -1);

    platform::FaultInjectingFileSystem faulty(*nativeFs);
    faulty.failCallsOn(platform::FsOp::ReadFile, "03-04-05.txt", platform::err::PermissionDenied);
    files("1\n", "2\n");
    ui.messages.clear();
    frm_compare w(faulty, *codec, {root, "a_2020-01-02 03-04-05.txt", true, "", "", "a.txt", "a.txt（バックアップ）"},
                  {root, "a.txt", false, "", "", "a.txt", "a.txt（現在のファイル）"});
    ui.showModal(w);
    ASSERT_EQ(w.outcome(), frm_compare::Outcome::Failed);
    EXPECT_EQ(w.errorMessage(), "a.txt（バックアップ）を読めません。" + platform::describeError(platform::err::PermissionDenied));
    EXPECT_FALSE(w.fileGone());
}

}  // namespace
}  // namespace mabrel::test
