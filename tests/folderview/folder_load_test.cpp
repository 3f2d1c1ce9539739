// The folder view load on real folders: rows, tree, counts, redundant
// backup copies, and the failures it meets.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "folderview/folder_view_fixture.h"
#include "platform/errors.h"
#include "util/text.h"

namespace mabrel::test {
namespace {

using platform::FsOp;
using Strings = std::vector<std::string>;
constexpr char kTs[] = "2000-07-15 09-05-03";
std::string copyOf(const std::string& stem) { return stem + "_" + kTs + ".txt"; }
// Days after now, on the clock the copies' age is measured by.
std::int64_t daysLater(int days) { return static_cast<std::int64_t>(std::time(nullptr)) + days * 86400; }

class FolderLoad : public FolderViewTest {};

TEST_F(FolderLoad, ShowsTheFolderItsSubFoldersFilesAndBackupsButNothingOfTheProgramsOwnAndAMissingOneIsReported) {
    for (const char* d : {"Sub B", "a-sub", "Old_MABRE", ".git"}) work.mkdir(d);
    file("report.txt", "12345", 2001, 2, 3, 14, 5, 6);
    file("README", "");
    file("my_mabre_notes.txt", "x");
    file(".profile", "x");
    nativeFs->openDirectory(root)->setAttributes(".profile", platform::attr::Hidden);
    backupCopy("report_2000-07-15 09-05-03.txt", "old");
    writeCommentFile("\r\n");
    load();

    auto& w = window();
    EXPECT_EQ(w.caption, " " + util::toUpperAscii(root));
    ASSERT_EQ(w.tvwFolders.count(), 3);
    EXPECT_EQ(w.tvwFolders.node(1).text, root);
    Strings children{w.tvwFolders.node(2).text, w.tvwFolders.node(3).text};
    std::sort(children.begin(), children.end());
    EXPECT_EQ(children, (Strings{"Sub B", "a-sub"}));
    EXPECT_EQ(w.tvwFolders.node(2).parent, 1);
    // Ordered by row key; the backup row sits beside its file.
    EXPECT_EQ(table(), (Strings{"README|2000-07-15 09-05-03|0||", "report.txt|2000-07-15 09-05-03|3|*|",
                                "report.txt|2001-02-03 14-05-06|5||"}));
    EXPECT_EQ(status(), counts(2, 2, 1));
    EXPECT_EQ(ui.waitCursorChanges, (std::vector<bool>{true, false}));
    EXPECT_TRUE(ui.messages.empty());

    // A reload shows the new state only, in the direction the list had.
    window().lvwFiles.sortOrder = 1;
    std::filesystem::remove_all(work.path() / "Sub B");
    file("b.txt", "1");
    window().txtFolderComment.text = "typed";
    window().fun_Load();
    EXPECT_EQ(column(0), (Strings{"report.txt", "report.txt", "README", "b.txt"}));
    EXPECT_EQ(window().txtFolderComment.text, "");
    EXPECT_EQ(status(), counts(1, 3, 1));

    load("does-not-exist\\");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("in fun_Load, err 76 (", 0), 0u) << ui.messages[0];
    EXPECT_EQ(status(), counts(0, 0, 0));
    EXPECT_EQ(ui.waitCursorChanges.back(), false);
    EXPECT_FALSE(ui.askedDuringLoad);  // the box is not under the load
}

TEST_F(FolderLoad, CopiesOfThePresentVersionAreUnlistedAndRemovedAWeekAfterTheyWereTakenOthersStay) {
    file("report.txt", "same");
    backupCopy("report_2000-07-15 09-05-03.txt", "same");    // the file's present version
    backupCopy("report_1999-01-01 00-00-00.txt", "older");   // an earlier version
    backupCopy("gone_2000-07-15 09-05-03.txt", "x");         // its file no longer exists
    file("tool.exe", "same");
    backupCopy("tool_2000-07-15 09-05-03.exe", "same");      // its file is hidden by the filter
    backupCopy("Notes_MABRE_2000-07-15 09-05-03.txt", "x");  // never listed, counted
    backupCopy(".hidden_2000-07-15 09-05-03.txt", "x");      // hidden: neither listed nor counted
    nativeFs->openDirectory(root + "_mabre-l94")->setAttributes(".hidden_2000-07-15 09-05-03.txt",
                                                              33 | platform::attr::Hidden);
    state.exceptionExtList1 = ".exe.";
    // Taken moments ago: the person may still be about to change the file.
    for (const int days : {0, 6}) {
        process.utcClock = daysLater(days);
        load();
        EXPECT_TRUE(backupExists("report_2000-07-15 09-05-03.txt")) << days;
    }
    process.utcClock = daysLater(8);
    // Its age cannot be told: it stays.
    faulty.failCallsOn(FsOp::TakenTime, "report_", platform::err::PermissionDenied);
    window().fun_Load();
    EXPECT_TRUE(backupExists("report_2000-07-15 09-05-03.txt"));
    faulty.clear();
    window().fun_Load();
    EXPECT_FALSE(backupExists("report_2000-07-15 09-05-03.txt"));
    for (const char* kept : {"report_1999-01-01 00-00-00.txt", "gone_2000-07-15 09-05-03.txt",
                             "tool_2000-07-15 09-05-03.exe", "Notes_MABRE_2000-07-15 09-05-03.txt",
                             ".hidden_2000-07-15 09-05-03.txt"}) {
        EXPECT_TRUE(backupExists(kept)) << kept;
    }
    EXPECT_EQ(table(), (Strings{"gone.txt|2000-07-15 09-05-03|1|*|", "report.txt|1999-01-01 00-00-00|5|*|",
                                "report.txt|2000-07-15 09-05-03|4||", "tool.exe|2000-07-15 09-05-03|4|*|"}));
    EXPECT_EQ(status(), counts(0, 1, 4));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FolderLoad, ALoadToldHowFarItHasReadAndStoppedByTheProgramsEndSaysNothingAndTheStoredCommentsStay) {
    // Read by one thread, which tells each piece of 256 entries it begins:
    // the report the program ends at comes on any machine.
    for (int i = 0; i < 1500; ++i) file("f" + std::to_string(i) + ".txt", "v");
    const std::string stored = "folder note\r\nf1499.txt_" + std::string(kTs) + ",kept\r\n";
    writeCommentFile(stored);
    const auto countOf = [](const std::string& report) { return std::stoi(report.substr(report.rfind("　") + 3)); };
    ui.cancelLoadWhen = [&](const std::string& report) { return countOf(report) >= 512; };
    load();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(rows().empty());
    // Once before reading, then on as the folder is read, never back; one end.
    EXPECT_EQ(ui.loadReports.front(), "フォルダーを読み込んでいます…　0 件");
    EXPECT_EQ(countOf(ui.loadReports.back()), 512);
    for (std::size_t i = 1; i < ui.loadReports.size(); ++i) EXPECT_GE(countOf(ui.loadReports[i]), countOf(ui.loadReports[i - 1]));
    EXPECT_EQ(ui.loadEnds, 1);
    window().Form_Unload();
    EXPECT_EQ(commentBytes(), stored);
}

TEST_F(FolderLoad, NamesThatAreNoBackupCopyNamesGetNoRowAndDoNotStopTheScan) {
    file("report.txt", "v");
    backupCopy("x.txt", "short stem");
    backupCopy("reportX2000-07-15 09-05-03.txt", "v");  // would read back as the file's own key
    backupCopy("report_1999-01-01 00-00-00.txt", "older");
    backupCopy("z_2000-07-15 09-05-03.txt", "z");
    writeCommentFile("folder\r\nreport.txt_1999-01-01 00-00-00,was older\r\n");
    load();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(table(), (Strings{"report.txt|1999-01-01 00-00-00|5|*|was older", "report.txt|2000-07-15 09-05-03|1||",
                                "z.txt|2000-07-15 09-05-03|1|*|"}));
    // Files of the backup directory the list does not show: counted, never touched.
    EXPECT_EQ(status(), counts(0, 1, 4));
    EXPECT_TRUE(backupExists("x.txt"));
    EXPECT_TRUE(backupExists("reportX2000-07-15 09-05-03.txt"));
}

TEST_F(FolderLoad, NothingOfTheProgramsOwnIsChangedThroughALinkAndBrokenLinksAreLeftOut) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege there";
#endif
    test::TempDir elsewhere;
    // A copy that is a link: what it points at stays as it is; it gets no row.
    const auto target = elsewhere.write("target.txt", "v");
    setModificationTime(target, 2000, 7, 15, 9, 5, 3);
    std::filesystem::permissions(target, std::filesystem::perms::owner_read);
    file("a.txt", "v");
    work.mkdir("_mabre-l94");
    work.mkdir("A-sub");
    std::filesystem::create_symlink(target, work.path() / "_mabre-l94" / copyOf("a"));
    // A file that is a link to its own copy is not a reason to delete the copy.
    const auto copyOfB = backupCopy(copyOf("b"), "b");
    std::filesystem::create_symlink(copyOfB, work.path() / "b.txt");
    // A link that points nowhere, and a loop: left out, the scan goes on.
    std::filesystem::create_symlink(work.path() / "gone.txt", work.path() / "c.txt");
    std::filesystem::create_symlink(work.path() / "loop", work.path() / "loop");
    file("d.txt", "1");
    writeCommentFile("folder\r\na.txt_2000-07-15 09-05-03,note\r\nd.txt_2000-07-15 09-05-03,on d\r\n");
    load();
    EXPECT_TRUE(isReadOnly(target));
    EXPECT_TRUE(std::filesystem::is_symlink(work.path() / "_mabre-l94" / copyOf("a")));
    EXPECT_EQ(readBytes(copyOfB), "b");
    EXPECT_EQ(table(), (Strings{"a.txt|2000-07-15 09-05-03|1||note", "b.txt|2000-07-15 09-05-03|1||",
                                "b.txt|2000-07-15 09-05-03|1|*|", "d.txt|2000-07-15 09-05-03|1||on d"}));
    EXPECT_EQ(status(), counts(1, 3, 2));
    EXPECT_EQ(window().txtFolderComment.text, "folder");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FolderLoad, RedundancyComparesTheTimeInUtcSoTheRepeatedHourKeepsBothVersions) {
#ifdef _WIN32
    GTEST_SKIP() << "the time zone is set through TZ, a POSIX variable";
#else
    // 2020-11-01 01:30 happens twice in New York: 05:30 and 06:30 UTC, at the
    // same part of the second: only the time in UTC tells them apart.
    ASSERT_EQ(::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1), 0);
    ::tzset();
    const auto at = [](std::time_t t) {
        return std::filesystem::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(t)) +
               std::chrono::milliseconds(250);
    };
    std::filesystem::last_write_time(work.write("a.txt", "second"), at(1604208600));
    const auto copy = work.write("_mabre-l94/a_2020-11-01 01-30-00.txt", "first!");
    std::filesystem::last_write_time(copy, at(1604205000));
    load();
    ::unsetenv("TZ");
    ::tzset();
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(column(3), (Strings{"", "*"}));
#endif
}

// A copy with the file's name, second and size is the file's present version
// only when its time is the same to the file system's full precision, and
// where that is whole seconds, its bytes too; any other, and one whose bytes
// cannot be compared, is a version of its own, listed and never removed.
TEST_F(FolderLoad, ACopyThatOnlyLooksLikeThePresentVersionIsAVersionOfItsOwn) {
    struct Case {
        const char* name;
        const char* copy;
        long fileNanos, copyNanos;
        bool ownVersion;
        bool unreadable = false;
    };
    const Case cases[] = {
        {"same", "twelve bytes", 0, 0, false},
        {"edited in the same second", "TWELVE BYTES", 0, 0, true},
        {"same to the nanosecond", "twelve bytes", 250000000, 250000000, false},
        {"another part of the second", "twelve bytes", 750000000, 250000000, true},
        {"whole second on one side", "twelve bytes", 0, 500000000, true},
        {"whole seconds, cannot be compared", "twelve bytes", 0, 0, true, true},
    };
    process.utcClock = daysLater(30);
    const auto stem = [&](const Case& c) { return "f" + std::to_string(&c - cases); };
    for (const auto& c : cases) {
        setModificationTime(file(stem(c) + ".txt", "twelve bytes"), 2000, 7, 15, 9, 5, 3, c.fileNanos);
        setModificationTime(backupCopy(copyOf(stem(c)), c.copy), 2000, 7, 15, 9, 5, 3, c.copyNanos);
        if (c.unreadable) faulty.failCallsOn(FsOp::HoldsCopyOf, copyOf(stem(c)), platform::err::DeviceIo);
    }
    load();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(backupExists(copyOf(stem(c))), c.ownVersion);
        EXPECT_EQ(rowOf(stem(c) + ".txt", kTs) >= 0, c.ownVersion);
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FolderLoad, ACopyJustTakenStaysWhenTheFolderIsReachedThroughAnotherPath) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege there";
#endif
    file("f.txt", "before the edit");
    std::filesystem::create_directory_symlink(".", work.path() / "alias");
    load();
    window().fun_aOpen(rowOf("f.txt"));
    ASSERT_EQ(backupNames(), (Strings{copyOf("f")}));
    load("alias\\");
    load();
    file("f.txt", "after the edit", 2000, 7, 16);
    load();
    EXPECT_EQ(readBytes(work.path() / "_mabre-l94" / copyOf("f")), "before the edit");
    EXPECT_GE(rowOf("f.txt", kTs), 0);
}

}  // namespace
}  // namespace mabrel::test
