// The context menu of the file list and what it runs: restore, delete and
// comment, on real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "app/window_fixture.h"
#include "backup/frm_rclick.h"

namespace mabrel::test {
namespace {

using Strings = std::vector<std::string>;
constexpr char kNotABackup[] = "ｍａｂｒｅｌ９バックアップファイルではありません。";
constexpr char kBadComment[] = "コメントの中に「,」「\"」文字を含むことはできません。";
constexpr char kV1[] = "2020-01-02 03-04-05";
constexpr char kV2[] = "2021-06-07 08-09-10";
constexpr char kB1[] = "2019-05-05 05-05-05";

class Menu : public WindowTest {
protected:
    // a.txt now holds "two" (version 2); its earlier version "one" is a backup copy.
    void SetUp() override {
        file("_mabre-l94/a_2020-01-02 03-04-05.txt", "one", 2020, 1, 2, 3, 4, 5);
        file("a.txt", "two", 2021, 6, 7, 8, 9, 10);
        file("b.txt", "bee", 2020, 3, 3, 3, 3, 3);
        file("_mabre-l94/b_2019-05-05 05-05-05.txt", "old bee", 2019, 5, 5, 5, 5, 5);
        startIn(root);
    }
    // Right-click with these rows selected, pressing the menu button `index`.
    void choose(const std::vector<int>& rows, int index) {
        select(rows);
        ui.rclickScripts.push_back([index](frm_rclick& m) { m.Command1_Click(index); });
        window().lvwFiles_MouseUp(kRightButton, 0, 10, 10);
    }
    std::string a() const { return readBytes(work.path() / "a.txt"); }
};

TEST_F(Menu, RestoreSecuresThePresentVersionThenPutsTheCopyBackWritable) {
    namespace stdfs = std::filesystem;
    const auto shared = stdfs::perms::owner_read | stdfs::perms::owner_write | stdfs::perms::group_read |
                        stdfs::perms::group_write | stdfs::perms::others_read;
    stdfs::permissions(work.path() / "a.txt", shared);
    window().txtFolderComment.text = "typed before";
    choose({rowOf("a.txt")}, frm_rclick::kRestore);  // a file row is refused
    EXPECT_EQ(ui.messages, Strings{kNotABackup});
    EXPECT_EQ(a(), "two");
    const int before = loads();
    choose({rowOf("a.txt", kV1)}, frm_rclick::kRestore);

    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(a(), "one");
#ifndef _WIN32
    EXPECT_EQ(stdfs::status(work.path() / "a.txt").permissions(), shared);  // 664 stays 664
#endif
    std::ofstream(work.path() / "a.txt", std::ios::app) << "!";  // really writable
    EXPECT_EQ(a(), "one!");
    // The replaced version was copied first; the restored copy, the file's
    // version now, is no longer listed.
    EXPECT_EQ(readBytes(work.path() / "_mabre-l94" / "a_2021-06-07 08-09-10.txt"), "two");
    EXPECT_EQ(loads(), before + 1);
    EXPECT_GE(rowOf("a.txt", kV2), 0);
    EXPECT_EQ(rowOf("a.txt", kV1), -1);
    EXPECT_EQ(window().txtFolderComment.text, "typed before");
}

TEST_F(Menu, ARestoreCancelledEvenAtItsLastReportLeavesTheFileAsItWas) {
    // Two copies, each told of: the present version secured, then the
    // chosen one copied over the file. The second is cancelled at its end.
    ui.cancelWhen = [this](const ProgressReport&) {
        return std::count_if(ui.progressReports.begin(), ui.progressReports.end(),
                             [](const ProgressReport& r) { return r.copied == r.total; }) == 2;
    };
    const int before = loads();
    choose({rowOf("a.txt", kV1)}, frm_rclick::kRestore);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.progressEnds, 1);
    EXPECT_EQ(a(), "two");
    EXPECT_FALSE(isReadOnly(work.path() / "a.txt"));
    // What was done before the cancel stays done; the view is reloaded.
    EXPECT_EQ(backupNames(), (Strings{"a_2020-01-02 03-04-05.txt", "a_2021-06-07 08-09-10.txt", "b_2019-05-05 05-05-05.txt"}));
    EXPECT_EQ(loads(), before + 1);
    EXPECT_EQ(namesIn(work.path()), (Strings{"_mabre-l94", "a.txt", "b.txt"}));
}

TEST_F(Menu, DeleteRemovesTheSelectedCopiesRefusesEachFileRowReportsOneGoneAndReloadsOnce) {
    const int before = loads();
    window().txtFolderComment.text = "typed before";
    std::filesystem::remove(work.path() / "_mabre-l94" / "a_2020-01-02 03-04-05.txt");  // by another program
    choose({rowOf("a.txt"), rowOf("a.txt", kV1), rowOf("b.txt"), rowOf("b.txt", kB1)}, frm_rclick::kDelete);
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(std::count(ui.messages.begin(), ui.messages.end(), kNotABackup), 2);
    EXPECT_EQ(std::count_if(ui.messages.begin(), ui.messages.end(),
                            [](const std::string& m) { return m.rfind("in fun_aDelete, err 53 (", 0) == 0; }), 1);
    EXPECT_TRUE(backupNames().empty());
    EXPECT_EQ(a(), "two");
    EXPECT_EQ(readBytes(work.path() / "b.txt"), "bee");
    EXPECT_EQ(loads(), before + 1);
    EXPECT_EQ(window().txtFolderComment.text, "typed before");
}

TEST_F(Menu, ACommentWithACommaOrQuoteIsOfferedAgainUntilItIsAcceptableThenSaved) {
    window().txtFolderComment.text = "folder, note";
    ui.inputAnswers = {std::string("old, one"), std::string("say \"hi\""), std::string("old\r\none")};
    choose({rowOf("a.txt", kV1)}, frm_rclick::kComment);
    EXPECT_EQ(ui.messages, (Strings{kBadComment, kBadComment}));
    ASSERT_EQ(ui.inputBoxCalls.size(), 3u);
    EXPECT_EQ(ui.inputBoxCalls[0].prompt, "現在のコメント: ");
    EXPECT_EQ(ui.inputBoxCalls[1].prompt, "現在のコメント: old, one");
    EXPECT_EQ(ui.inputBoxCalls[2].defaultText, "say \"hi\"");
    // Saved at once, on one line, with the folder comment, under the copy's row key.
    EXPECT_EQ(commentOf(rowOf("a.txt", kV1)), "old  one");
    EXPECT_EQ(commentBytes(), "folder, note\r\na.txt_2020-01-02 03-04-05,old  one\r\n");

    // Cancel keeps it; an emptied one is stored empty.
    window().txtFolderComment.text = "typed, not yet saved";
    choose({rowOf("a.txt", kV1)}, frm_rclick::kComment);  // no answer queued: Cancel
    EXPECT_EQ(commentBytes(), "folder, note\r\na.txt_2020-01-02 03-04-05,old  one\r\n");
    ui.inputAnswers = {std::string("")};
    choose({rowOf("a.txt", kV1)}, frm_rclick::kComment);
    EXPECT_EQ(commentOf(rowOf("a.txt", kV1)), "");
    EXPECT_EQ(commentBytes(), "typed, not yet saved\r\n");
}

TEST_F(Menu, SeveralRowsOfferOnlyDeleteAndCancelAndNothingElseDoesAnything) {
    select({rowOf("a.txt"), rowOf("b.txt")});
    std::vector<bool> enabled;
    ui.rclickScripts.push_back([&](frm_rclick& m) {
        for (const int i : {frm_rclick::kComment, frm_rclick::kRestore, frm_rclick::kDelete}) enabled.push_back(m.Command1[i].enabled);
        m.Command1_Click(frm_rclick::kComment);  // unavailable: ignored
    });
    const int before = loads();
    window().fun_rClick();
    EXPECT_EQ(enabled, (std::vector<bool>{false, false, true}));
    EXPECT_TRUE(ui.inputBoxCalls.empty());

    // Cancel, a left button, a menu already shown, an empty selection.
    choose({rowOf("a.txt", kV1)}, frm_rclick::kCancel);
    window().lvwFiles_MouseUp(kLeftButton, 0, 1, 1);
    ui.throwOnNextShowModal = true;
    window().lvwFiles_MouseUp(kRightButton, 0, 1, 1);
    select({});
    window().lvwFiles_MouseUp(kRightButton, 0, 1, 1);
    EXPECT_EQ(ui.modalShowings.size(), 2u);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(loads(), before);
    EXPECT_FALSE(std::filesystem::exists(work.path() / "_mabre.l94"));
    EXPECT_EQ(backupNames().size(), 2u);
}

}  // namespace
}  // namespace mabrel::test
