// The comment file on real folders: comments read onto the right rows, the
// save of this instance's changes over what is stored (byte for byte where
// nothing changed), its encodings, and the stored comments a load could not
// show.
#include <gtest/gtest.h>

#include <filesystem>

#include "folderview/folder_view_fixture.h"
#include "platform/errors.h"
#include "support/forwarding_filesystem.h"

namespace mabrel::test {
namespace {

using platform::FsOp;
using Strings = std::vector<std::string>;
constexpr char kTs[] = "2000-07-15 09-05-03";

class CommentFile : public FolderViewTest {
protected:
    std::string& commentOn(const std::string& name, const std::string& backupTimestamp = "") {
        const int row = rowOf(name, backupTimestamp);
        EXPECT_GE(row, 0) << name;
        return commentOf(row < 0 ? 0 : row);
    }
};

TEST_F(CommentFile, CommentsComeBackOnTheirVersionsAndOnlyTheChangedRecordsAreWritten) {
    file("report.doc", "new", 2001, 1, 1, 8, 0, 0);
    backupCopy("report_2000-07-15 09-05-03.doc", "old");
    for (const char* n : {"b, with comma.txt", "plain.txt", "lead.txt", "quoted.txt", "comma.txt"}) file(n, "1");
    writeCommentFile(
        "Folder, with a comma\r\n"
        "report.doc_2000-07-15 09-05-03,   old version\r\n"  // stored under the previous time
        "b, with comma.txt_2000-07-15 09-05-03,kept by its key\r\n"
        "plain.txt_2000-07-15 09-05-03,\"quoted\" rest dropped\r\n"
        "gone.txt_1999-01-01 00-00-00,no such version\r\n"
        "no comma at all\r\n"
        // Written by others by the field rules: blanks before a key, quotes
        // around a key or around a comment that holds a comma.
        "  lead.txt_2000-07-15 09-05-03,after blanks\r\n"
        "\"quoted.txt_2000-07-15 09-05-03\",in quotes\r\n"
        "comma.txt_2000-07-15 09-05-03,\"one, two\"\r\n");
    load();
    ASSERT_TRUE(ui.messages.empty()) << ui.messages.front();
    EXPECT_EQ(window().txtFolderComment.text, "Folder, with a comma");
    const std::pair<std::string, std::string> shown[] = {
        {"report.doc", ""}, {"b, with comma.txt", "kept by its key"}, {"plain.txt", "quoted"},
        {"lead.txt", "after blanks"}, {"quoted.txt", "in quotes"}, {"comma.txt", "one, two"}};
    for (const auto& [name, comment] : shown) EXPECT_EQ(commentOn(name), comment) << name;
    EXPECT_EQ(commentOn("report.doc", kTs), "old version");
    for (const char* name : {"lead.txt", "quoted.txt", "comma.txt"}) commentOn(name) = "";

    commentOn("report.doc") = "new version ";
    window().lvwFiles.sortOrder = 1;
    window().saveCommentFile();
    // The others as stored; the record of a name no entry has is dropped.
    EXPECT_EQ(commentBytes(),
              "Folder, with a comma\r\n"
              "report.doc_2000-07-15 09-05-03,   old version\r\n"
              "b, with comma.txt_2000-07-15 09-05-03,kept by its key\r\n"
              "plain.txt_2000-07-15 09-05-03,\"quoted\" rest dropped\r\n"
              "no comma at all\r\n"
              "report.doc_2001-01-01 08-00-00,new version \r\n");
    EXPECT_EQ(window().lvwFiles.sortOrder, 0);
    window().fun_Load();
    EXPECT_EQ(commentOn("report.doc"), "new version ");
    EXPECT_EQ(commentOn("b, with comma.txt"), "kept by its key");
}

TEST_F(CommentFile, AFileAndACopyOfAnotherVersionInTheSameSecondKeepTheirOwnComments) {
    file("a.txt", "the file now");
    backupCopy("a_2000-07-15 09-05-03.txt", "older");
    load();
    commentOn("a.txt", kTs) = "on the copy";
    window().txtFolderComment.text = "folder";
    window().cmdUpdate_Click();  // a refresh saves first
    EXPECT_EQ(window().txtFolderComment.text, "folder");
    EXPECT_EQ(commentOn("a.txt"), "");
    EXPECT_EQ(commentOn("a.txt", kTs), "on the copy");
    commentOn("a.txt") = "on the file";
    // Sorted the other way first: the save still writes the file row's first.
    window().lvwFiles_ColumnClick(1);
    window().lvwFiles_ColumnClick(1);
    for (int i = 0; i < 2; ++i) {
        window().cmdUpdate_Click();
        EXPECT_EQ(commentOn("a.txt"), "on the file");
        EXPECT_EQ(commentOn("a.txt", kTs), "on the copy");
    }
}

TEST_F(CommentFile, SavingAfterASortByAnotherColumnWritesRowKeysOnOneLineEachAndLeavesTheListByName) {
    file("b.txt", "1");
    file("a.txt", "22");
    writeCommentFile("\r\na.txt_2000-07-15 09-05-03,zz\r\nb.txt_2000-07-15 09-05-03,aa\r\n");
    load();
    window().lvwFiles_ColumnClick(5);  // コメント
    window().lvwFiles_ColumnClick(5);
    EXPECT_EQ(column(5), (Strings{"zz_a.txt", "aa_b.txt"}));
    // Line breaks in a text cannot start a record of their own.
    window().txtFolderComment.text = "one\r\ntwo";
    commentOn("b.txt") = "x\ny";
    window().saveCommentFile();
    EXPECT_EQ(commentBytes(), "one  two\r\na.txt_2000-07-15 09-05-03,zz\r\nb.txt_2000-07-15 09-05-03,x y\r\n");
    EXPECT_EQ(column(5), (Strings{"a.txt_2000-07-15 09-05-03", "b.txt_2000-07-15 09-05-03"}));
    EXPECT_EQ(window().lvwFiles.sortOrder, 0);
    EXPECT_EQ(window().lastSortColumn, 0);
}

TEST_F(CommentFile, CommentsOfVersionsHiddenByTheDisplayFilterSurviveASaveAndAnEmptyFileIsReported) {
    file("tool.exe", "1");
    file("a.txt", "1");
    const std::string kept = "f\r\ntool.exe_2000-07-15 09-05-03,the tool\r\na.txt_2000-07-15 09-05-03,text\r\n";
    writeCommentFile(kept + "deleted.txt_2000-07-15 09-05-03,its file is gone\r\n");
    state.exceptionExtList1 = ".exe.";
    load();
    EXPECT_EQ(column(0), (Strings{"a.txt"}));
    window().saveCommentFile();
    EXPECT_EQ(commentBytes(), kept);  // the record no entry has any more goes
    state.exceptionExtList1 = ".";
    window().fun_Load();
    EXPECT_EQ(commentOn("tool.exe"), "the tool");

    // An empty comment file is reported; the next save writes the list.
    writeCommentFile("");
    window().fun_Load();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("in fun_Load, err 62 (", 0), 0u) << ui.messages[0];
    commentOn("a.txt") = "new";
    window().saveCommentFile();
    EXPECT_EQ(commentBytes(), "\r\na.txt_2000-07-15 09-05-03,new\r\n");
}

// A folder only looked at gets no file: the navigation test's.
TEST_F(CommentFile, AnUnchangedFileIsNotRewritten) {
    file("a.txt", "1");
    setModificationTime(file("_mabre.l94", "folder\r\na.txt_2000-07-15 09-05-03,on a\r\n"), 2001, 1, 1, 0, 0, 0);
    const auto stored = std::filesystem::last_write_time(work.path() / "_mabre.l94");
    load();
    // Changed and changed back before the save: the same is stored.
    commentOn("a.txt") = "other";
    commentOn("a.txt") = "on a";
    window().cmdExit_Click();
    EXPECT_EQ(std::filesystem::last_write_time(work.path() / "_mabre.l94"), stored);
    EXPECT_EQ(faulty.calls(FsOp::UpdateFile), 0);  // not even tried: a read-only folder is simply viewed
    EXPECT_TRUE(ui.messages.empty());
}

// One written by hand in UTF-8 without a mark (text that is code page 932
// too) and one behind a mark with a damaged record: each read as UTF-8 and
// written back in it, the damaged record byte for byte; one in code page 932.
TEST_F(CommentFile, AUtf8FileIsReadAsUtf8AndWrittenInItsOneEncodingADamagedRecordKept) {
    file("a.txt", "1");
    file("b.txt", "1");
    const std::string memo = "\xE3\x83\xA1\xE3\x83\xA2\r\n";  // メモ
    const std::string first = "a.txt_2000-07-15 09-05-03,\xE5\x88\x9D\xE7\x89\x88\r\n";  // 初版
    const std::string damaged = "b.txt_2000-07-15 09-05-03,bad \xFF\xE3\x83\r\n";
    const struct {
        std::string stored, typedOn, typed, saved;
    } cases[] = {
        {memo + first, "b.txt", "第二版", memo + first + "b.txt_2000-07-15 09-05-03,第二版\r\n"},
        {"\xEF\xBB\xBF" + memo + damaged + first, "a.txt", "二版",
         "\xEF\xBB\xBF" + memo + damaged + "a.txt_2000-07-15 09-05-03,二版\r\n"},
        // Code page 932 until a comment it cannot hold: then the whole file in UTF-8.
        {*codec->toAnsi(memo + first), "b.txt", "café", "\xEF\xBB\xBF" + memo + first + "b.txt_2000-07-15 09-05-03,café\r\n"},
    };
    for (const auto& c : cases) {
        writeCommentFile(c.stored);
        load();
        EXPECT_EQ(window().txtFolderComment.text, "メモ");
        EXPECT_EQ(commentOn("a.txt"), "初版");
        commentOn(c.typedOn) = c.typed;
        window().saveCommentFile();
        EXPECT_EQ(commentBytes(), c.saved);
    }
}

// A folder as a Windows archive leaves it: Shift_JIS names (表計算 holds the
// byte 5C of "\\"), half-width kana, Latin-1, a UTF-8 name that shows like a
// Shift_JIS one, and names that cannot be shown at all.
TEST_F(CommentFile, NamesFromAWindowsArchiveAreListedUsedByTheirBytesAndKeepTheirComments) {
#ifdef _WIN32
    GTEST_SKIP() << "names of bytes that are not UTF-8 exist on POSIX file systems";
#else
    const std::string sjis = "\x95\x5C\x8C\x76\x8E\x5A.txt";  // 表計算.txt
    const std::string kana = "\xB1\xB2\xB3.txt";               // ｱｲｳ.txt
    const std::string latin = "caf\xE9.txt";                   // café.txt
    const std::string ts = "_2000-07-15 09-05-03";
    file(sjis, "hyou");
    file(kana, "aiu");
    file(latin, "cafe");
    file("表計算.txt", "in UTF-8");
    file("two\nlines.txt", "x");
    file("back\\slash.txt", "x");
    backupCopy("\x95\x5C\x8C\x76\x8E\x5A_1999-01-01 00-00-00.txt", "old hyou");
    // As the Windows program writes it, in code page 932.
    const std::string stored = "folder\r\n" + sjis + ts + ",\x8C\x76\x8E\x5A\x95\x5C\r\n" +  // 計算表
                               "back\\slash.txt" + ts + ",kept though not shown\r\n";
    writeCommentFile(stored);
    load();
    ASSERT_TRUE(ui.messages.empty()) << ui.messages.front();
    // The cell of the row whose name is `own` (its bytes), to read or to type into.
    const auto cell = [&](const std::string& own, std::size_t column, bool backup = false) -> std::string& {
        for (auto& r : window().lvwFiles.rows) {
            if (window().lvwFiles.nameOf(r) == own && (r.cells[3] == "*") == backup) return r.cells[column];
        }
        ADD_FAILURE() << "no row " << own;
        return window().lvwFiles.rows.at(0).cells[column];
    };
    EXPECT_EQ(cell(sjis, 0), "表計算.txt");
    EXPECT_EQ(cell(sjis, 0, true), "表計算.txt");
    EXPECT_EQ(cell(kana, 0), "ｱｲｳ.txt");
    EXPECT_EQ(cell(latin, 0), "caf\xEF\xBF\xBD.txt");
    EXPECT_EQ(status(), counts(0, 4, 1) + "、名前を表示できないもの：2");
    EXPECT_EQ(cell(sjis, 4), "計算表");
    EXPECT_EQ(cell("表計算.txt", 4), "");

    // Typed on each, saved, and after a restart each on its own row; the
    // stored records as they were, each name as its own bytes in code page 932.
    const std::pair<std::string, std::string> typed[] = {
        {kana, "kana note"}, {latin, "latin note"}, {"表計算.txt", "utf8 note"}};
    for (const auto& [own, text] : typed) cell(own, 4) = text;
    window().cmdUpdate_Click();
    nextRun();
    EXPECT_EQ(cell(sjis, 4), "計算表");
    for (const auto& [own, text] : typed) EXPECT_EQ(cell(own, 4), text);
    EXPECT_EQ(commentBytes(), stored + latin + ts + ",latin note\r\n" + "表計算.txt" + ts + ",utf8 note\r\n" + kana + ts +
                                  ",kana note\r\n");

#endif
}

class StoredCommentsKept : public CommentFile {
protected:
    StoredCommentsKept() {
        for (const char* n : {"a.txt", "b.txt", "c.txt"}) file(n, "1");
        writeCommentFile(kStored);
    }
    static constexpr char kStored[] =
        "stored folder\r\n"
        "a.txt_2000-07-15 09-05-03,on a\r\n"
        "b.txt_2000-07-15 09-05-03,on b\r\n"
        "c.txt_2000-07-15 09-05-03,on c\r\n";
    // kStored after "typed on a" was saved over it.
    static constexpr char kTypedOnA[] =
        "stored folder\r\n"
        "a.txt_2000-07-15 09-05-03,typed on a\r\n"
        "b.txt_2000-07-15 09-05-03,on b\r\n"
        "c.txt_2000-07-15 09-05-03,on c\r\n";
};

TEST_F(StoredCommentsKept, ALoadThatStoppedBeforeTheCommentsDoesNotLetTheSaveDropThem) {
    // A "not found" from a comment file that is there (a network file system
    // that lost it for a moment) is silent, and is not "nothing stored".
    faulty.failCallsOn(FsOp::ReadFile, "_mabre.l94", platform::err::FileNotFound);
    load();
    faulty.clear();
    ASSERT_TRUE(ui.messages.empty());
    EXPECT_EQ(column(4), (Strings{"", "", ""}));
    // What the person typed meanwhile wins; everything else stays stored.
    commentOn("a.txt") = "typed on a";
    window().saveCommentFile();
    EXPECT_EQ(commentBytes(), kTypedOnA);
    commentOn("a.txt") = "";
    window().txtFolderComment.text = "typed folder";
    window().saveCommentFile();
    EXPECT_EQ(commentBytes(), "typed folder\r\nb.txt_2000-07-15 09-05-03,on b\r\nc.txt_2000-07-15 09-05-03,on c\r\n");
}

// At a save, a record whose file the load did not find goes only if no entry
// of its name is there by then: not the file, nor a kept copy.
TEST_F(StoredCommentsKept, ARecordGoesOnlyWhenNoEntryOfItsNameIsThereAtTheSave) {
    const struct {
        const char* name;
        bool fileAgain, copyAgain, kept;
    } cases[] = {
        {"gone", false, false, false},
        {"made again since the load", true, false, true},
        {"a copy of it kept since the load", false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeCommentFile(kStored);
        std::filesystem::remove(work.path() / "c.txt");
        std::filesystem::remove_all(work.path() / "_mabre-l94");
        load();
        if (c.fileAgain) file("c.txt", "2");
        if (c.copyAgain) backupCopy("c_2000-07-15 09-05-03.txt", "1");
        commentOn("a.txt") = c.name;
        window().saveCommentFile();
        const std::string stored = commentBytes();
        EXPECT_NE(stored.find(std::string("a.txt_2000-07-15 09-05-03,") + c.name + "\r\n"), std::string::npos);
        EXPECT_EQ(stored.find("c.txt_2000-07-15 09-05-03,on c\r\n") != std::string::npos, c.kept) << stored;
    }
}

// Some file systems list a folder without its own entry (a Windows drive
// root, some network shares): what such a listing left out cannot be told,
// so no record goes for want of its file.
TEST_F(StoredCommentsKept, AListingWithoutTheFoldersOwnEntryLetsNoRecordGo) {
    struct Dotless : platform::ForwardingFileSystem {
        using ForwardingFileSystem::ForwardingFileSystem;
        void listed(std::vector<platform::DirEntry>& entries) override {
            std::erase_if(entries, [](const platform::DirEntry& e) { return e.name == "."; });
        }
    } dotless(*nativeFs);
    fs = &dotless;
    std::filesystem::remove(work.path() / "c.txt");
    load();
    EXPECT_EQ(column(0), (Strings{"a.txt", "b.txt"}));
    commentOn("a.txt") = "typed on a";
    window().saveCommentFile();
    EXPECT_EQ(commentBytes(), kTypedOnA);
}

TEST_F(StoredCommentsKept, ACommentFileThatCannotBeReadIsNeverOverwrittenNorBeforeAnyLoadOrByAFailedWrite) {
    state.p_driveAndPath = root;
    EXPECT_TRUE(window().saveCommentFile());
    EXPECT_EQ(commentBytes(), kStored);
    faulty.failCallsOn(FsOp::ReadFile, "_mabre.l94", platform::err::PermissionDenied);
    load();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("in fun_Load, err 70 (", 0), 0u) << ui.messages[0];
    EXPECT_EQ(rows().size(), 3u);
    commentOn("a.txt") = "typed";
    EXPECT_FALSE(window().saveCommentFile());
    EXPECT_EQ(commentBytes(), kStored);
    EXPECT_EQ(faulty.calls(FsOp::WriteFileAtomic), 0);
    ASSERT_EQ(ui.messages.size(), 2u);  // what was typed is not stored: told
    EXPECT_EQ(ui.messages[1].rfind("in saveCommentFile, err 70 (", 0), 0u) << ui.messages[1];
    faulty.clear();
    window().fun_Load();
    commentOn("a.txt") = "changed";
    faulty.failCallsOn(FsOp::WriteFileAtomic, "_mabre.l94", platform::err::PermissionDenied);
    EXPECT_FALSE(window().saveCommentFile());
    EXPECT_EQ(commentBytes(), kStored);
    EXPECT_EQ(ui.messages.size(), 3u);
}

}  // namespace
}  // namespace mabrel::test
