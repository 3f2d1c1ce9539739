// The folder view load on real folders: rows, tree, counts, the display
// filter, redundant backup copies, icons, and the failures it meets.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>

#include "folderview/folder_view_fixture.h"
#include "platform/errors.h"
#include "util/text.h"

namespace mabrel::test {
namespace {

using platform::FsOp;
using Strings = std::vector<std::string>;
constexpr char kTs[] = "2000-07-15 09-05-03";

class FolderLoad : public FolderViewTest {};

TEST_F(FolderLoad, ShowsTheFolderItsSubFoldersFilesAndBackupsButNothingOfTheProgramsOwn) {
    work.mkdir("Sub B");
    work.mkdir("a-sub");
    work.mkdir("Old_MABRE");
    work.mkdir(".git");
    file("report.txt", "12345", 2001, 2, 3, 14, 5, 6);
    file("README", "");
    file("my_mabre_notes.txt", "x");
    file(".profile", "x");
    nativeFs->openDirectory(root)->setAttributes(".profile", platform::attr::Hidden);
    backupCopy("report_2000-07-15 09-05-03.txt", "old");
    writeCommentFile("\r\n");
    state.p_driveAndPath = root;
    window().lvwFiles.sortOrder = 0;
    window().fun_Load();

    auto& w = window();
    EXPECT_EQ(w.caption, " " + util::toUpperAscii(root));
    EXPECT_NE(w.caption, " " + root);  // the temporary path holds lower-case letters
    ASSERT_EQ(w.tvwFolders.count(), 3);
    EXPECT_EQ(w.tvwFolders.node(1).key, "d_" + root);
    EXPECT_EQ(w.tvwFolders.node(1).text, root);
    Strings children;
    for (int i = 2; i <= 3; ++i) {
        EXPECT_EQ(w.tvwFolders.node(i).parent, 1);
        EXPECT_EQ(w.tvwFolders.node(i).key, "f_" + w.tvwFolders.node(i).text);
        children.push_back(w.tvwFolders.node(i).text);
    }
    std::sort(children.begin(), children.end());
    EXPECT_EQ(children, (Strings{"Sub B", "a-sub"}));
    EXPECT_EQ(w.tvwFolders.style, 4);
    EXPECT_TRUE(w.tvwFolders.rootExpanded);
    EXPECT_EQ(w.tvwFolders.selectedNode, 1);

    // Ordered by row key; the backup row sits beside its file.
    EXPECT_EQ(table(), (Strings{"README|2000-07-15 09-05-03|0||", "report.txt|2000-07-15 09-05-03|3|*|",
                                "report.txt|2001-02-03 14-05-06|5||"}));
    EXPECT_EQ(column(5), (Strings{"README_2000-07-15 09-05-03", "report.txt_2000-07-15 09-05-03",
                                  "report.txt_2001-02-03 14-05-06"}));
    EXPECT_EQ(status(), counts(2, 2, 1));

    ASSERT_EQ(w.lvwFiles.columns.size(), 6u);
    const Strings headers{"ファイル名", "更新日", "サイズ", "BU", "コメント", "key"};
    const std::vector<int> widths{2000, 1600, 700, 200, 10000, 0};
    const std::vector<Alignment> alignments{Alignment::Left,   Alignment::Center, Alignment::Right,
                                            Alignment::Center, Alignment::Left,   Alignment::Left};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(w.lvwFiles.columns[i].text, headers[i]);
        EXPECT_EQ(w.lvwFiles.columns[i].width, widths[i]);
        EXPECT_EQ(w.lvwFiles.columns[i].alignment, alignments[i]);
        EXPECT_EQ(w.lvwFiles.columns[i].fitsContent, i >= 1 && i <= 3) << i;
    }
    EXPECT_EQ(w.lvwFiles.sortKey, 5);
    EXPECT_TRUE(w.lvwFiles.sorted);
    EXPECT_EQ(w.lvwFiles.extendedStyle, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    EXPECT_TRUE(w.lvwFiles.smallIconsAttached);
    EXPECT_EQ(ui.waitCursorChanges, (std::vector<bool>{true, false}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FolderLoad, AnEmptyFolderShowsZeroCountsAndEachLoadStartsAfresh) {
    load();
    EXPECT_EQ(status(), counts(0, 0, 0));
    EXPECT_TRUE(rows().empty());
    EXPECT_TRUE(ui.messages.empty());

    // A reload after the folder changed shows the new state only, in the
    // direction the list had.
    window().lvwFiles.sortOrder = 1;
    file("a.txt", "1");
    file("b.txt", "1");
    window().txtFolderComment.text = "typed";
    window().lvwFiles.extendedStyle = 0;
    window().fun_Load();
    EXPECT_EQ(column(0), (Strings{"b.txt", "a.txt"}));
    EXPECT_EQ(window().lvwFiles.sortOrder, 1);
    EXPECT_EQ(window().txtFolderComment.text, "");
    EXPECT_EQ(window().tvwFolders.count(), 1);
    EXPECT_EQ(status(), counts(0, 2, 0));
}

// Days after now, on the clock the copies' age is measured by.
std::int64_t daysLater(int days) { return static_cast<std::int64_t>(std::time(nullptr)) + days * 86400; }

TEST_F(FolderLoad, CopiesOfThePresentVersionAreUnlistedAndRemovedAWeekAfterTheyWereTakenOthersStay) {
    file("report.txt", "same");                                   // 2000-07-15 09:05:03
    backupCopy("report_2000-07-15 09-05-03.txt", "same");         // the file's present version
    backupCopy("report_1999-01-01 00-00-00.txt", "older");        // an earlier version
    backupCopy("gone_2000-07-15 09-05-03.txt", "x");              // its file no longer exists
    file("tool.exe", "same");
    backupCopy("tool_2000-07-15 09-05-03.exe", "same");           // its file is hidden by the filter
    backupCopy("Notes_MABRE_2000-07-15 09-05-03.txt", "x");       // never listed, counted
    backupCopy(".hidden_2000-07-15 09-05-03.txt", "x");           // hidden: neither listed nor counted
    nativeFs->openDirectory(root + "_mabre-l94")->setAttributes(".hidden_2000-07-15 09-05-03.txt",
                                                              33 | platform::attr::Hidden);
    state.exceptionExtList1 = ".exe.";
    // Taken moments ago (by this run, an earlier one or another instance):
    // the person may still be about to change the file.
    load();
    EXPECT_TRUE(backupExists("report_2000-07-15 09-05-03.txt"));
    EXPECT_EQ(status(), counts(0, 1, 4));
    process.utcClock = daysLater(6);
    window().fun_Load();
    EXPECT_TRUE(backupExists("report_2000-07-15 09-05-03.txt"));
    process.utcClock = daysLater(8);
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

    // The next load finds nothing more to delete.
    window().fun_Load();
    EXPECT_EQ(status(), counts(0, 1, 4));
}

TEST_F(FolderLoad, ManyRedundantCopiesAreAllDeletedInOneLoadThatTellsHowFarItHasRead) {
    constexpr int kFiles = 1100;
    for (int i = 0; i < kFiles; ++i) {
        const std::string n = "f" + std::to_string(i);
        file(n + ".txt", "v");
        backupCopy(n + "_" + kTs + ".txt", "v");
    }
    process.utcClock = daysLater(8);
    load();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(rows().size(), static_cast<std::size_t>(kFiles));
    EXPECT_EQ(status(), counts(0, kFiles, 0));
    EXPECT_TRUE(std::filesystem::is_empty(work.path() / "_mabre-l94"));

    // Once before reading, then as the folder and its backup directory are
    // read, the count going on across the two; one end.
    ASSERT_GE(ui.loadReports.size(), 8u);
    EXPECT_EQ(ui.loadReports.front(), "フォルダーを読み込んでいます…　0 件");
    const auto countOf = [](const std::string& report) { return std::stoi(report.substr(report.rfind("　") + 3)); };
    for (std::size_t i = 1; i < ui.loadReports.size(); ++i) {
        EXPECT_GT(countOf(ui.loadReports[i]), countOf(ui.loadReports[i - 1])) << ui.loadReports[i];
    }
    EXPECT_GT(countOf(ui.loadReports.back()), kFiles + 256);
    EXPECT_EQ(ui.loadEnds, 1);
}

TEST_F(FolderLoad, ALoadStoppedByTheProgramsEndSaysNothingAndTheStoredCommentsStay) {
    // Enough entries to be read by more than one thread.
    for (int i = 0; i < 2100; ++i) file("f" + std::to_string(i) + ".txt", "v");
    const std::string stored = "folder note\r\nf2099.txt_" + std::string(kTs) + ",kept\r\n";
    writeCommentFile(stored);
    ui.cancelLoadWhen = [](const std::string& report) {
        return std::stoi(report.substr(report.rfind("　") + 3)) >= 512;
    };
    load();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.loadEnds, 1);
    EXPECT_LT(rows().size(), 2100u);
    // The window then closes as it does at the end of a session.
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
    EXPECT_EQ(window().txtFolderComment.text, "folder");
    // They are files of the backup directory the list does not show, like
    // those holding "_mabre": counted, never touched.
    EXPECT_EQ(status(), counts(0, 1, 4));
    EXPECT_EQ(readBytes(work.path() / "_mabre-l94" / "x.txt"), "short stem");
    EXPECT_TRUE(backupExists("reportX2000-07-15 09-05-03.txt"));
}

TEST_F(FolderLoad, TheDisplayFilterGoesByTheLastExtensionLowerCasedModeOneShowingOnlyListedOnes) {
    for (const char* n : {"Report.TXT", "archive.tar.gz", "README", "tool.exe", "b.TXTX"}) file(n, "1");
#ifndef _WIN32
    // Windows drops a trailing dot from a file name, so such a name exists on POSIX only.
    file("trailing.", "1");
    const Strings trailing{"trailing."};
#else
    const Strings trailing;
#endif
    const auto plus = [](Strings a, const Strings& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    state.exceptionExtList1Mode = 0;
    state.exceptionExtList1 = ".exe.gz.";
    load();
    // README's probe "." is in every list; "trailing." has the extension "."
    // alone, whose probe ".." is listed nowhere.
    EXPECT_EQ(column(0), plus({"b.TXTX", "Report.TXT"}, trailing));
    EXPECT_EQ(status(), counts(0, 2 + static_cast<int>(trailing.size()), 0));

    state.exceptionExtList1Mode = 1;
    state.exceptionExtList1 = ".txt.tar.";
    window().fun_Load();
    EXPECT_EQ(column(0), (Strings{"README", "Report.TXT"}));
    // A list entry typed in upper case matches nothing.
    state.exceptionExtList1 = ".TXT.";
    window().fun_Load();
    EXPECT_EQ(column(0), (Strings{"README"}));
    // Any mode other than 1 hides the listed ones; a name without a dot is always listed.
    state.exceptionExtList1Mode = -1;
    state.exceptionExtList1 = ".txt.";
    window().fun_Load();
    EXPECT_EQ(column(0), plus({"archive.tar.gz", "b.TXTX", "tool.exe"}, trailing));
}

TEST_F(FolderLoad, EveryRowGetsAnImageOfItsOwnKeyedByItsPathSharingThePictureOfItsType) {
    file("a.txt", "1");
    file("b.txt", "1");
    file("c.none", "1");
    backupCopy("a_1999-01-01 00-00-00.txt", "0");
    ui.iconExtensions = std::set<std::string>{".txt"};
    load();

    auto& images = window().ImageList1.images;
    ASSERT_EQ(images.size(), 3u);
    // Filled in enumeration order: the files (in the folder's order), then the backups.
    EXPECT_EQ((std::set<std::string>{images[0].first, images[1].first}),
              (std::set<std::string>{"i" + root + "a.txt", "i" + root + "b.txt"}));
    EXPECT_EQ(images[2].first, "i" + root + "_mabre-l94\\a_1999-01-01 00-00-00.txt");
    EXPECT_EQ(images[0].second->width, 16);
    EXPECT_EQ(images[0].second->pixels, scriptedIcon(".txt").pixels);
    // One picture for the three .txt images, held once.
    EXPECT_EQ(images[0].second, images[1].second);
    EXPECT_EQ(images[0].second, images[2].second);
    // Each row's index names the image made for its own path.
    std::map<std::string, int> iconOf;
    for (const auto& r : rows()) {
        iconOf[r.cells[0] + r.cells[3]] = r.smallIcon;
        if (r.smallIcon > 0 && r.cells[3].empty()) {
            EXPECT_EQ(images[static_cast<std::size_t>(r.smallIcon - 1)].first, "i" + root + r.cells[0]);
        }
    }
    EXPECT_EQ(iconOf["a.txt"] + iconOf["b.txt"], 3);
    EXPECT_EQ(iconOf["c.none"], 0);
    EXPECT_EQ(iconOf["a.txt*"], 3);

    // A reload starts from an empty list.
    std::filesystem::remove(work.path() / "b.txt");
    window().fun_Load();
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[1].first, "i" + root + "_mabre-l94\\a_1999-01-01 00-00-00.txt");
}

TEST_F(FolderLoad, AnIconOfAnotherSizeIsFittedAndTheResetRestoresTheImageSize) {
    class BigIcons : public ScriptedInteraction {
    public:
        SharedIcon iconFor(const std::string& path) override {
            iconRequests.push_back(path);
            return icon;
        }
        SharedIcon icon = [] {
            IconImage icon{32, 32, std::vector<std::uint32_t>(32 * 32, 0xFF00FF00u)};
            icon.pixels[0] = 0xFFFF0000u;
            return std::make_shared<const IconImage>(std::move(icon));
        }();
    };
    BigIcons big;
    frm_mabrel94 w(state, *fs, *codec, process, big);
    w.ImageList1.imageWidth = 32;
    w.ImageList1.images.push_back({"istale", nullptr});
    EXPECT_EQ(w.fun_AddIcon(""), 0);
    EXPECT_TRUE(w.ImageList1.images.empty());
    EXPECT_EQ(w.ImageList1.imageWidth, 16);
    EXPECT_EQ(w.ImageList1.imageHeight, 16);

    EXPECT_EQ(w.fun_AddIcon("C:\\x\\a.txt"), 1);
    EXPECT_EQ(w.fun_AddIcon("C:\\x\\b.txt"), 2);
    const IconImage& image = *w.ImageList1.images[0].second;
    ASSERT_EQ(image.pixels.size(), 256u);
    EXPECT_EQ(image.pixels[0], 0xFFFF0000u);
    EXPECT_EQ(image.pixels[1], 0xFF00FF00u);
    // Fitted once for both rows.
    EXPECT_EQ(w.ImageList1.images[0].second, w.ImageList1.images[1].second);
}

TEST_F(FolderLoad, AMissingFolderIsReportedWithPathNotFound) {
    load("does-not-exist\\");
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("in fun_Load, err 76 (", 0), 0u) << ui.messages[0];
    EXPECT_EQ(ui.messages[0].back(), ')');
    EXPECT_EQ(status(), counts(0, 0, 0));
    EXPECT_TRUE(window().tvwFolders.rootExpanded);
    EXPECT_EQ(ui.waitCursorChanges.back(), false);
    EXPECT_FALSE(ui.askedDuringLoad);  // the box is not under the load
}

TEST_F(FolderLoad, EntriesThatCannotBeReadAreLeftOutAndTheScanGoesOn) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links and raw byte names are POSIX cases";
#endif
    file("a.txt", "1");
    file("c.txt", "1");
    work.mkdir("A-sub");
    // A link that points nowhere, and a loop.
    std::filesystem::create_symlink(work.path() / "gone.txt", work.path() / "b.txt");
    std::filesystem::create_symlink(work.path() / "loop", work.path() / "loop");
    writeCommentFile("folder\r\na.txt_2000-07-15 09-05-03,note\r\nc.txt_2000-07-15 09-05-03,on c\r\n");
    load();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(column(0), (Strings{"a.txt", "c.txt"}));
    EXPECT_EQ(status(), counts(1, 2, 0));
    EXPECT_EQ(column(4), (Strings{"note", "on c"}));
    EXPECT_EQ(window().txtFolderComment.text, "folder");
}

TEST_F(FolderLoad, ARedundantCopyThatCannotBeDeletedStaysWithoutAMessage) {
    file("a.txt", "v");
    file("b.txt", "v");
    const auto kept = backupCopy(std::string("b_") + kTs + ".txt", "v");
    backupCopy(std::string("a_") + kTs + ".txt", "v");
    writeCommentFile("folder\r\nb.txt_2000-07-15 09-05-03,on b\r\n");
    faulty.failCallsOn(FsOp::DeleteCopy, "b_", platform::err::PermissionDenied);
    process.utcClock = daysLater(8);
    load();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(backupExists(std::string("a_") + kTs + ".txt"));
    EXPECT_TRUE(isReadOnly(kept));  // read-only again, as every copy is
    EXPECT_EQ(status(), counts(0, 2, 0));
    EXPECT_EQ(window().txtFolderComment.text, "folder");
    EXPECT_EQ(column(4), (Strings{"", "on b"}));
}

TEST_F(FolderLoad, NothingOfTheProgramsOwnIsChangedThroughALink) {
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
    std::filesystem::create_symlink(target, work.path() / "_mabre-l94" / (std::string("a_") + kTs + ".txt"));
    // A file that is a link to its own copy is not a reason to delete the copy.
    const auto copyOfB = backupCopy(std::string("b_") + kTs + ".txt", "b");
    std::filesystem::create_symlink(copyOfB, work.path() / "b.txt");
    load();
    EXPECT_TRUE(isReadOnly(target));
    EXPECT_TRUE(std::filesystem::is_symlink(work.path() / "_mabre-l94" / (std::string("a_") + kTs + ".txt")));
    EXPECT_EQ(readBytes(copyOfB), "b");
    EXPECT_EQ(column(0), (Strings{"a.txt", "b.txt", "b.txt"}));
}

TEST_F(FolderLoad, RedundancyComparesTheTimeInUtcSoTheRepeatedHourKeepsBothVersions) {
#ifdef _WIN32
    GTEST_SKIP() << "the time zone is set through TZ, a POSIX variable";
#else
    // 2020-11-01 01:30 happens twice in New York: 05:30 and 06:30 UTC. The
    // same part of the second on both, so their bytes are never compared:
    // only the time in UTC tells them apart.
    ASSERT_EQ(::setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1), 0);
    ::tzset();
    const auto at = [](std::time_t t) {
        return std::filesystem::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(t)) +
               std::chrono::milliseconds(250);
    };
    const auto f = work.write("a.txt", "second");
    std::filesystem::last_write_time(f, at(1604208600));  // 06:30 UTC
    const auto copy = work.write("_mabre-l94/a_2020-11-01 01-30-00.txt", "first!");
    std::filesystem::last_write_time(copy, at(1604205000));  // 05:30 UTC, the same size
    load();
    ::unsetenv("TZ");
    ::tzset();
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(column(3), (Strings{"", "*"}));
#endif
}

// A copy with the file's name, second and size is the file's present
// version only when its time is the same to the file system's full
// precision, and where that is whole seconds, its bytes too; any other, and
// one whose bytes cannot be compared, is a version of its own, listed and
// never removed.
TEST_F(FolderLoad, ACopyThatOnlyLooksLikeThePresentVersionIsAVersionOfItsOwn) {
    struct Case {
        const char* name;
        const char* file;
        long fileNanos;
        const char* copy;
        long copyNanos;
        bool ownVersion;
        bool unreadable = false;  // the bytes cannot be compared
    };
    const Case cases[] = {
        {"same", "twelve bytes", 0, "twelve bytes", 0, false},
        {"edited in the same second", "twelve bytes", 0, "TWELVE BYTES", 0, true},
        {"same to the nanosecond", "twelve bytes", 250000000, "twelve bytes", 250000000, false},
        {"another part of the second", "twelve bytes", 750000000, "twelve bytes", 250000000, true},
        {"whole second on one side", "twelve bytes", 0, "twelve bytes", 500000000, true},
        {"whole seconds, cannot be compared", "twelve bytes", 0, "twelve bytes", 0, true, true},
    };
    process.utcClock = daysLater(30);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = std::string("f") + std::to_string(&c - cases) + ".txt";
        const std::string copyName = name.substr(0, name.size() - 4) + "_" + kTs + ".txt";
        const auto f = file(name, c.file);
        const auto copy = backupCopy(copyName, c.copy);
        setModificationTime(f, 2000, 7, 15, 9, 5, 3, c.fileNanos);
        setModificationTime(copy, 2000, 7, 15, 9, 5, 3, c.copyNanos);
        if (c.unreadable) faulty.failCallsOn(FsOp::HoldsCopyOf, copyName, platform::err::DeviceIo);
    }
    load();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = std::string("f") + std::to_string(&c - cases) + ".txt";
        EXPECT_EQ(backupExists(name.substr(0, name.size() - 4) + "_" + kTs + ".txt"), c.ownVersion);
        EXPECT_EQ(rowOf(name, kTs) >= 0, c.ownVersion);
        EXPECT_GE(rowOf(name), 0);
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
    ASSERT_EQ(backupNames(), (std::vector<std::string>{"f_2000-07-15 09-05-03.txt"}));
    load("alias\\");
    load();
    file("f.txt", "after the edit", 2000, 7, 16);
    load();
    EXPECT_EQ(readBytes(work.path() / "_mabre-l94" / "f_2000-07-15 09-05-03.txt"), "before the edit");
    EXPECT_GE(rowOf("f.txt", kTs), 0);
}

}  // namespace
}  // namespace mabrel::test
