// The context menu of the file list and what it runs: restore, delete and
// comment, on real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "app/window_fixture.h"
#include "backup/frm_rclick.h"
#include "platform/errors.h"
#include "platform/fault_injection.h"

namespace mabrel::test {
namespace {

constexpr char kNotABackup[] = "ｍａｂｒｅｌ９バックアップファイルではありません。";
constexpr char kBadComment[] = "コメントの中に「,」「\"」文字を含むことはできません。";
constexpr char kV1[] = "2020-01-02 03-04-05";
constexpr char kV2[] = "2021-06-07 08-09-10";

class Menu : public WindowTest {
protected:
    // a.txt now holds "two" (version 2); its earlier version "one" is a backup copy.
    void SetUp() override {
        setModificationTime(work.write("_mabre-l94/a_2020-01-02 03-04-05.txt", "one"), 2020, 1, 2, 3, 4, 5);
        setModificationTime(work.write("a.txt", "two"), 2021, 6, 7, 8, 9, 10);
        setModificationTime(work.write("b.txt", "bee"), 2020, 3, 3, 3, 3, 3);
        setModificationTime(work.write("_mabre-l94/b_2019-05-05 05-05-05.txt", "old bee"), 2019, 5, 5, 5, 5, 5);
        startIn(root);
    }
    // Right-click with these rows selected, pressing the menu button `index`.
    void choose(const std::vector<int>& rows, int index) {
        select(rows);
        ui.rclickScripts.push_back([index](frm_rclick& m) { m.Command1_Click(index); });
        window().lvwFiles_MouseUp(kRightButton, 0, 10, 10);
    }
    std::string commentOf(int row) { return window().lvwFiles.rows.at(static_cast<std::size_t>(row)).cells[4]; }
    std::filesystem::path commentFile() const { return work.path() / "_mabre.l94"; }
};

TEST_F(Menu, RestoreSecuresThePresentVersionThenPutsTheCopyBackWritable) {
    const int before = loads();
    namespace stdfs = std::filesystem;
    const auto shared = stdfs::perms::owner_read | stdfs::perms::owner_write | stdfs::perms::group_read |
                        stdfs::perms::group_write | stdfs::perms::others_read;
    stdfs::permissions(work.path() / "a.txt", shared);
    choose({rowOf("a.txt", kV1)}, frm_rclick::kRestore);

    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
    EXPECT_EQ(readBytes(work.path() / "a.txt"), "one");
#ifndef _WIN32
    EXPECT_EQ(stdfs::status(work.path() / "a.txt").permissions(), shared);  // 664 stays 664
#endif
    std::ofstream(work.path() / "a.txt", std::ios::app) << "!";  // really writable
    EXPECT_EQ(readBytes(work.path() / "a.txt"), "one!");
    // The replaced version was copied first; the restored copy, the file's
    // version now, is no longer listed.
    EXPECT_EQ(readBytes(work.path() / "_mabre-l94" / "a_2021-06-07 08-09-10.txt"), "two");
    EXPECT_EQ(loads(), before + 1);
    EXPECT_GE(rowOf("a.txt", kV2), 0);
    EXPECT_EQ(rowOf("a.txt", kV1), -1);
    EXPECT_EQ(window().lvwFiles.rows[static_cast<std::size_t>(rowOf("a.txt"))].cells[1], kV1);
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
    EXPECT_EQ(ui.progressReports.front().fileName, "a.txt");
    EXPECT_EQ(readBytes(work.path() / "a.txt"), "two");
    EXPECT_FALSE(isReadOnly(work.path() / "a.txt"));
    // What was done before the cancel stays done, and the view is reloaded
    // as after a failure.
    EXPECT_EQ(backupNames(), (std::vector<std::string>{"a_2020-01-02 03-04-05.txt", "a_2021-06-07 08-09-10.txt",
                                                       "b_2019-05-05 05-05-05.txt"}));
    EXPECT_EQ(loads(), before + 1);
    EXPECT_EQ(namesIn(work.path()), (std::vector<std::string>{"_mabre-l94", "a.txt", "b.txt"}));
}

TEST_F(Menu, RestoreRefusesFileRows) {
    choose({rowOf("a.txt")}, frm_rclick::kRestore);
    EXPECT_EQ(ui.messages, std::vector<std::string>{kNotABackup});
    EXPECT_EQ(readBytes(work.path() / "a.txt"), "two");
}

TEST_F(Menu, DeleteRemovesTheSelectedCopiesRefusesEachFileRowAndReloadsOnce) {
    const int before = loads();
    choose({rowOf("a.txt"), rowOf("a.txt", kV1), rowOf("b.txt"), rowOf("b.txt", "2019-05-05 05-05-05")},
           frm_rclick::kDelete);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{kNotABackup, kNotABackup}));
    EXPECT_TRUE(backupNames().empty());
    EXPECT_TRUE(std::filesystem::is_directory(work.path() / "_mabre-l94"));
    EXPECT_EQ(readBytes(work.path() / "a.txt"), "two");
    EXPECT_EQ(readBytes(work.path() / "b.txt"), "bee");
    EXPECT_EQ(loads(), before + 1);
    EXPECT_EQ(rowOf("a.txt", kV1), -1);
}

TEST_F(Menu, ACopyDeletedByAnotherProgramIsReportedAndTheOthersStillGo) {
    const int a = rowOf("a.txt", kV1);
    const int b = rowOf("b.txt", "2019-05-05 05-05-05");
    std::filesystem::remove(work.path() / "_mabre-l94" / "a_2020-01-02 03-04-05.txt");
    choose({a, b}, frm_rclick::kDelete);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("in fun_aDelete, err 53 (", 0), 0u) << ui.messages[0];
    EXPECT_TRUE(backupNames().empty());
}

TEST_F(Menu, ACommentWithACommaOrQuoteIsOfferedAgainUntilItIsAcceptableThenSaved) {
    const int row = rowOf("a.txt", kV1);
    window().txtFolderComment.text = "folder, note";
    ui.inputAnswers = {std::string("old, one"), std::string("say \"hi\""), std::string("old one")};
    choose({row}, frm_rclick::kComment);

    EXPECT_EQ(ui.messages, (std::vector<std::string>{kBadComment, kBadComment}));
    ASSERT_EQ(ui.inputBoxCalls.size(), 3u);
    EXPECT_EQ(ui.inputBoxCalls[0].prompt, "現在のコメント: ");
    EXPECT_EQ(ui.inputBoxCalls[0].title, "コメントをつける");
    EXPECT_EQ(ui.inputBoxCalls[1].prompt, "現在のコメント: old, one");
    EXPECT_EQ(ui.inputBoxCalls[1].defaultText, "old, one");
    EXPECT_EQ(ui.inputBoxCalls[2].defaultText, "say \"hi\"");
    EXPECT_EQ(commentOf(rowOf("a.txt", kV1)), "old one");
    // Saved at once, with the folder comment, under the copy's row key.
    EXPECT_EQ(readBytes(commentFile()), "folder, note\r\na.txt_2020-01-02 03-04-05,old one\r\n");
}

TEST_F(Menu, ATypedCommentStaysOnOneLineCancelKeepsItAnEmptiedOneIsStoredEmpty) {
    const int row = rowOf("b.txt");
    // A line break typed into it cannot split the comment file.
    ui.inputAnswers = {std::string("keep\r\nme")};
    choose({row}, frm_rclick::kComment);
    const std::string saved = readBytes(commentFile());
    ASSERT_EQ(saved, "\r\nb.txt_2020-03-03 03-03-03,keep  me\r\n");

    window().txtFolderComment.text = "typed, not yet saved";
    choose({rowOf("b.txt")}, frm_rclick::kComment);  // no answer queued: Cancel
    EXPECT_EQ(commentOf(rowOf("b.txt")), "keep  me");
    EXPECT_EQ(readBytes(commentFile()), saved);
    EXPECT_EQ(window().txtFolderComment.text, "typed, not yet saved");

    ui.inputAnswers = {std::string("")};
    choose({rowOf("b.txt")}, frm_rclick::kComment);
    EXPECT_EQ(commentOf(rowOf("b.txt")), "");
    EXPECT_EQ(readBytes(commentFile()), "typed, not yet saved\r\n");
}

TEST_F(Menu, WithSeveralRowsOnlyDeleteAndCancelCanBeChosen) {
    select({rowOf("a.txt"), rowOf("b.txt")});
    bool commentEnabled = true, restoreEnabled = true, deleteEnabled = false;
    ui.rclickScripts.push_back([&](frm_rclick& m) {
        commentEnabled = m.Command1[frm_rclick::kComment].enabled;
        restoreEnabled = m.Command1[frm_rclick::kRestore].enabled;
        deleteEnabled = m.Command1[frm_rclick::kDelete].enabled;
        m.Command1_Click(frm_rclick::kComment);  // unavailable: ignored
    });
    const int before = loads();
    window().fun_rClick();
    EXPECT_FALSE(commentEnabled);
    EXPECT_FALSE(restoreEnabled);
    EXPECT_TRUE(deleteEnabled);
    EXPECT_TRUE(ui.inputBoxCalls.empty());
    EXPECT_EQ(loads(), before);
}

TEST_F(Menu, CancelAnEmptyListALeftButtonAndAMenuAlreadyShownDoNothing) {
    const int before = loads();
    choose({rowOf("a.txt", kV1)}, frm_rclick::kCancel);
    EXPECT_EQ(ui.modalShowings.size(), 1u);
    window().lvwFiles_MouseUp(kLeftButton, 0, 1, 1);
    ui.throwOnNextShowModal = true;
    window().lvwFiles_MouseUp(kRightButton, 0, 1, 1);
    EXPECT_EQ(ui.modalShowings.size(), 1u);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(loads(), before);
    EXPECT_FALSE(std::filesystem::exists(commentFile()));
    EXPECT_EQ(backupNames().size(), 2u);

    select({});
    window().lvwFiles_MouseUp(kRightButton, 0, 1, 1);
    EXPECT_EQ(ui.modalShowings.size(), 1u);
}

class MenuWithFaults : public Menu {
protected:
    void SetUp() override {
        fs = &faulty;
        Menu::SetUp();
    }
    platform::FaultInjectingFileSystem faulty{*nativeFs};
};

TEST_F(MenuWithFaults, ARestoreWhoseLastStepFailsSaysTheFileWasRestoredButStaysReadOnly) {
    faulty.failCallsOn(platform::FsOp::SetAttributes, "\\a.txt", platform::err::PermissionDenied);
    choose({rowOf("a.txt", kV1)}, frm_rclick::kRestore);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("in fun_aResume, err 70 (", 0), 0u) << ui.messages[0];
    EXPECT_NE(ui.messages[0].find("復活しましたが、読み取り専用のままです"), std::string::npos) << ui.messages[0];
}

}  // namespace
}  // namespace mabrel::test
