// Hostile names and places through the whole cycle (load, open, restore,
// delete, comment, save, reload): each either works or gets a message that
// says what happened, and nothing is lost.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <functional>

#include "backup/frm_compare.h"
#include "platform/as_other_user.h"
#include "proof/invariants.h"
#include "proof/person.h"

namespace mabrel::test {
namespace {

using namespace proof;

constexpr char kV1[] = "2020-01-02 03-04-05";
constexpr char kV2[] = "2021-06-07 08-09-10";
constexpr char kDenied[] = "アクセスが拒否されました";

class Hostile : public WindowTest {
protected:
    void menu(int row, int button) {
        ASSERT_GE(row, 0);
        proof::menu(window(), ui, {row}, button);
    }
    void comment(int row, const std::string& text) {
        ui.inputAnswers.push_back(text);
        menu(row, frm_rclick::kComment);
    }
    void open(int row) {
        select({row});
        window().lvwFiles_DblClick();
    }
    bool hasCopyOf(const std::string& version) const {
        const auto copies = filesBelow(work.path() / kBackupDir);
        return std::ranges::any_of(copies, [&](const auto& c) { return c.second == version; });
    }
};

// A name as stored on disk (raw bytes) and what the cycle should do with it.
struct Name {
    std::string bytes;
    bool listed = true;    // names that are no valid UTF-8 or hold a line break are not
    bool copyable = true;  // false: its copy's name would be too long
};

TEST_F(Hostile, EveryNameGoesThroughTheWholeCycle) {
    const std::vector<Name> names = {
        {"it's \"quoted\".txt"}, {"a,b,c.txt"}, {"semi;colon.txt"}, {"$(touch pwned).txt"}, {"`id`.txt"},
        {"-rf.txt"}, {"--help.txt"},
        {std::string(231, 'n') + ".txt"},  // its copy's name is 255 bytes: the most there is
        {std::string(251, 'm') + ".txt", true, false}, {std::string(240, 'k') + ".txt", true, false},
        {"日本語の文書.txt"}, {"表示.txt"},  // the second byte of 表 in Shift_JIS is "\"
        {"ﾃｽﾄ.txt"}, {"emoji😀.txt"}, {"Ünïcödé ẞ.txt"}, {"Case.txt"}, {"case.txt"},
        {"\xff\xfe.txt", false}, {"\x83\x65\x83\x58\x83\x67.txt", false},  // Shift_JIS bytes
        {"\x80\xbf\xa0\x81", false}, {"line\nbreak.txt", false},
    };
    for (std::size_t i = 0; i < names.size(); ++i) put(work.path() / names[i].bytes, "v1 of " + std::to_string(i), kV1);
    startIn(root);
    ASSERT_TRUE(ui.messages.empty()) << messagesSince(ui, 0);

    // Open every listed file, then change it as its application would.
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto& n = names[i].bytes;
        const int row = rowOf(n);
        EXPECT_EQ(row >= 0, names[i].listed) << n;
        if (row < 0) continue;
        const std::size_t before = ui.messages.size(), shells = ui.shellRequests.size();
        open(row);
        if (!names[i].copyable) {
            EXPECT_EQ(ui.shellRequests.size(), shells) << "opened without its copy: " << n;
            EXPECT_NE(messagesSince(ui, before).find("長すぎ"), std::string::npos) << messagesSince(ui, before);
            continue;
        }
        EXPECT_EQ(messagesSince(ui, before), "") << n;
        ASSERT_EQ(ui.shellRequests.size(), shells + 1) << n;
        put(work.path() / n, "v2 of " + std::to_string(i), kV2);
    }
    for (const WindowState s : {WindowState::Minimized, WindowState::Normal}) {
        window().windowState = s;
        window().Form_Resize();  // to the task bar and back from the application: the reload
    }

    // Comments on both versions, restore of the first, deletion of the copy of the second.
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!names[i].listed || !names[i].copyable) continue;
        const std::string& n = names[i].bytes;
        const std::string k = std::to_string(i);
        const std::size_t before = ui.messages.size();
        comment(rowOf(n), "now " + k);
        comment(rowOf(n, kV1), "old " + k);
        menu(rowOf(n, kV1), frm_rclick::kRestore);
        EXPECT_EQ(readBytes(work.path() / n), "v1 of " + k) << n;
        EXPECT_FALSE(isReadOnly(work.path() / n)) << n;
        EXPECT_EQ(commentOf(rowOf(n)), "old " + k) << n;
        EXPECT_EQ(commentOf(rowOf(n, kV2)), "now " + k) << n;
        const auto copyOfV2 = work.path() / kBackupDir / (n.substr(0, n.rfind('.')) + "_" + kV2 + ".txt");
        EXPECT_EQ(readBytes(copyOfV2), "v2 of " + k) << n;
        EXPECT_TRUE(isReadOnly(copyOfV2)) << n;
        menu(rowOf(n, kV2), frm_rclick::kDelete);
        EXPECT_FALSE(stdfs::exists(copyOfV2)) << n;
        EXPECT_EQ(rowOf(n, kV2), -1) << n;
        EXPECT_EQ(messagesSince(ui, before), "") << n;
    }

    // Saved, read back by the next run.
    window().cmdExit_Click();
    nextRun();
    EXPECT_EQ(messagesSince(ui, 0).find("fun_Load"), std::string::npos) << messagesSince(ui, 0);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& n = names[i].bytes;
        if (names[i].listed && names[i].copyable) EXPECT_EQ(commentOf(rowOf(n)), "old " + std::to_string(i)) << n;
        else EXPECT_EQ(readBytes(work.path() / n), "v1 of " + std::to_string(i)) << "touched: " << n;
    }
    EXPECT_FALSE(stdfs::exists(work.path() / "pwned"));
    EXPECT_TRUE(temporariesBelow(work.path()).empty());
}

// --- Symbolic links where the program's files go ------------------------------

class Links : public Hostile {
protected:
    void SetUp() override {
        put(work.path() / "a.txt", "a of now", kV1);
        put(outside.path() / "precious.txt", "precious", kV1);
        stdfs::create_directories(work.path() / kBackupDir);
    }
    void expectOutsideUntouched() {
        EXPECT_EQ(filesBelow(outside.path()), outsideBefore);
        EXPECT_FALSE(isReadOnlyFile(outside.path() / "precious.txt"));
    }
    const stdfs::path copyOfV1 = work.path() / kBackupDir / (std::string("a_") + kV1 + ".txt");
    TempDir outside;
    std::map<std::string, std::string> outsideBefore;
};

TEST_F(Links, ACommentFileLinkedElsewhereIsNeitherWrittenThroughNorLosesWhatIsTyped) {
    stdfs::create_symlink(outside.path() / "precious.txt", work.path() / kCommentFile);
    outsideBefore = filesBelow(outside.path());
    startIn(root);
    comment(rowOf("a.txt"), "typed");
    window().cmdUpdate_Click();
    expectOutsideUntouched();
    EXPECT_TRUE(bytesOr(work.path() / kCommentFile, "").find("typed") != std::string::npos ||
                commentOf(rowOf("a.txt")) == "typed")
        << "the typed comment is neither stored nor shown; messages: " << messagesSince(ui, 0);
}

// The backup directory is a link to another folder at the moment of an open
// or a delete (made so before the load, or swapped in after it): nothing
// there is made, changed or removed, the file is not opened as if its
// version were kept, and the person is told.
TEST_F(Links, ABackupDirectoryLinkedElsewhereIsNeverWorkedIn) {
    struct Case {
        const char* what;
        bool linkBeforeLoad;
        bool open;  // else a delete
    };
    const std::string copyName = std::string("a_") + kV2 + ".txt";
    bool started = false;
    for (const Case& c : {Case{"linked before the load, then an open", true, true},
                          Case{"swapped after the load, then an open", false, true},
                          Case{"swapped after the load, then a delete", false, false}}) {
        SCOPED_TRACE(c.what);
        TempDir elsewhere;
        put(elsewhere.path() / "precious.txt", "precious", kV1);
        put(elsewhere.path() / copyName, "elsewhere's", kV2);
        const auto backupDir = work.path() / kBackupDir;
        stdfs::remove_all(backupDir);
        stdfs::remove_all(work.path() / ".held");
        if (c.linkBeforeLoad) stdfs::create_directory_symlink(elsewhere.path(), backupDir);
        else put(backupDir / copyName, "a of then", kV2);
        const auto before = filesBelow(elsewhere.path());
        if (started) nextRun();
        else startIn(root);
        started = true;
        if (!c.linkBeforeLoad) {
            stdfs::rename(backupDir, work.path() / ".held");
            stdfs::create_directory_symlink(elsewhere.path(), backupDir);
        }
        const std::size_t messages = ui.messages.size(), shells = ui.shellRequests.size();
        if (c.open) {
            open(rowOf("a.txt"));
            EXPECT_EQ(ui.shellRequests.size(), shells) << "opened without a copy of its version";
        } else {
            menu(rowOf("a.txt", kV2), frm_rclick::kDelete);
        }
        EXPECT_EQ(filesBelow(elsewhere.path()), before);
        EXPECT_NE(messagesSince(ui, messages), "") << "refused without a word";
    }
}

TEST_F(Links, ACopyThatIsALinkLeavesItsTargetAlone) {
    put(outside.path() / "target.txt", "a of now", kV1);  // same size and time as a.txt
    stdfs::create_symlink(outside.path() / "target.txt", copyOfV1);
    outsideBefore = filesBelow(outside.path());
    startIn(root);
    if (const int row = proof::rowOf(window(), "a.txt", true); row >= 0) {
        menu(row, frm_rclick::kRestore);
        menu(row, frm_rclick::kDelete);
    }
    window().cmdUpdate_Click();
    expectOutsideUntouched();
    EXPECT_EQ(readBytes(work.path() / "a.txt"), "a of now");
}

TEST_F(Links, ADanglingLinkUnderTheNextCopysNameNeitherPassesForTheCopyNorIsWrittenThrough) {
    const auto nowhere = outside.path() / "nowhere.txt";
    stdfs::create_symlink(nowhere, copyOfV1);
    startIn(root);
    open(rowOf("a.txt"));
    EXPECT_FALSE(stdfs::exists(nowhere)) << "written through the link";
    if (!ui.shellRequests.empty()) {
        EXPECT_TRUE(hasCopyOf("a of now")) << "opened without a copy of its version";
    } else {
        EXPECT_NE(messagesSince(ui, 0), "");
    }
}

// Another account that may write the folder swaps the backup directory for a
// link to a folder of the person's, again and again, while the program (a
// process of its own) opens, saves, restores, deletes and refreshes: nothing
// in that folder is made, removed or changed.
TEST(AnotherAccount, SwappingTheBackupDirectoryForALinkReachesNothingOutsideTheFolder) {
    TempDir shared(scratchParent()), victim(scratchParent()), exe(scratchParent());
    ::chmod(shared.path().c_str(), 0777);
    ::chmod(victim.path().c_str(), 0755);
    setModificationTime(shared.write("a.txt", "version 099"), 2020, 1, 1, 0, 59, 0);
    // Look-alikes of every copy the cycle takes, and a file of the person's.
    for (int minute = 0; minute < 60; ++minute) {
        char name[64];
        std::snprintf(name, sizeof name, "a_2020-01-01 01-%02d-00.txt", minute);
        setModificationTime(victim.write(name, "version 1xx"), 2020, 1, 1, 1, minute, 0);
    }
    setModificationTime(victim.write("a_2020-01-01 00-59-00.txt", "version 099"), 2020, 1, 1, 0, 59, 0);
    victim.write("precious.txt", "precious");
    const auto before = filesBelow(victim.path());

    const pid_t attacker = ::fork();
    if (attacker == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const auto dir = shared.path() / kBackupDir, held = shared.path() / ".held";
        for (long swaps = 0;; ++swaps) {
            ::rename(dir.c_str(), held.c_str());
            ::symlink(victim.path().c_str(), dir.c_str());
            ::usleep(static_cast<useconds_t>(swaps % 7) * 100);
            ::unlink(dir.c_str());
            ::rename(held.c_str(), dir.c_str());
            ::usleep(static_cast<useconds_t>(swaps % 5) * 100);
        }
    }
    // Its messages are refusals the race causes.
    Child program = spawn({MABREL_CRASH_DRIVER, "cycle", shared.drivePath(), exe.drivePath(), shared.path().string()},
                          {}, true);
    wait(program, 1e6);
    ::kill(attacker, SIGKILL);
    ::waitpid(attacker, nullptr, 0);

    EXPECT_TRUE(program.succeeded()) << "the program did not run to its end: " << program.status;
    EXPECT_EQ(filesBelow(victim.path()), before);
    for (const auto& [rel, bytes] : before) EXPECT_FALSE(isReadOnlyFile(victim.path() / rel)) << rel;
}

// --- Places --------------------------------------------------------------------

// Runs `body` as a person in a child process (as "nobody" when asked, or
// as the account `as`), the window on `folder`; each finding is printed and
// fails the test. `prepare` returns false where the place cannot be made here.
void inChild(const Account* as, const std::string& folder,
             const std::function<void(Session&, std::vector<std::string>&)>& body,
             const std::function<bool()>& prepare = {}) {
    TempDir exe;
    ::chmod(exe.path().c_str(), 0777);
    const int code = runInChild(
        [&] {
            if (prepare && !prepare()) return 77;
            std::vector<std::string> found;
            Session run(exe.drivePath(), folder);
            run.newWindow().Form_Load();
            body(run, found);
            for (const auto& f : found) std::fprintf(stderr, "%s\n", f.c_str());
            return found.empty() ? 0 : 1;
        },
        as);
    if (code == 77) GTEST_SKIP() << "not possible here";
    EXPECT_EQ(code, 0) << "findings above";
}
void inChild(bool asNobody, const std::string& folder,
             const std::function<void(Session&, std::vector<std::string>&)>& body,
             const std::function<bool()>& prepare = {}) {
    const Account nobody;
    inChild(asNobody ? &nobody : nullptr, folder, body, prepare);
}

// The open of the file `name` is refused with a message holding `wording`.
void expectOpenRefused(Session& run, const std::string& name, const std::string& wording,
                       std::vector<std::string>& found) {
    run.window->lvwFiles.selectedItem = run.rowOf(name);
    run.window->lvwFiles_DblClick();
    if (!run.ui->shellRequests.empty()) found.push_back("opened without its copy");
    if (run.ui->messages.empty() || run.ui->messages.back().find(wording) == std::string::npos) {
        found.push_back("the open's message does not say " + wording + ": " + messagesSince(*run.ui));
    }
}

// Another user's folder, and one of ours made read-only: readable, not writable.
TEST_F(Hostile, AFolderThatCannotBeWrittenKeepsEverythingAndSaysWhyNoCopyCanBeTaken) {
    for (const bool ours : {false, true}) {
        const std::string sub = ours ? "ro" : "theirs";
        SCOPED_TRACE(sub);
        put(work.path() / sub / "a.txt", "mine", kV1);
        work.write(sub + "/" + kCommentFile, "kept note\r\na.txt_" + std::string(kV1) + ",kept\r\n");
        if (ours) ::chown((work.path() / sub).c_str(), 65534, 65534);
        ::chmod((work.path() / sub).c_str(), 0555);
        const auto before = filesBelow(work.path() / sub);
        inChild(true, root + sub + "\\", [&](Session& run, std::vector<std::string>& found) {
            if (!run.ui->messages.empty()) found.push_back("the load complained: " + messagesSince(*run.ui));
            expectOpenRefused(run, "a.txt", kDenied, found);
            run.window->cmdExit_Click();
        });
        ::chmod((work.path() / sub).c_str(), 0755);
        EXPECT_EQ(filesBelow(work.path() / sub), before);
        EXPECT_TRUE(temporariesBelow(work.path()).empty());
    }
}

// A team's folder (setgid, group-writable) that two colleagues with
// accounts of their own use in turns, each with the same umask: what one
// made the other opens, compares, restores, deletes and comments, and the
// program makes nothing writable beyond those who may write the folder.
TEST_F(Hostile, ColleaguesTakeTurnsInAGroupFolderWhateverTheirUmask) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to be two colleagues";
    for (const mode_t umask : {022, 077}) {
        SCOPED_TRACE(umask);
        const Account first = colleague(1500, umask), second = colleague(1600, umask);
        const std::string sub = "team" + std::to_string(umask);
        const auto folder = work.path() / sub;
        for (const char* name : {"a.txt", "b.txt"}) put(folder / name, std::string(name) + " v1", kV1);
        shareWithTeam(folder, first);
        const auto comment = [](Session& run, int row, const std::string& text) {
            run.ui->inputAnswers.push_back(text);
            run.menu({row}, frm_rclick::kComment);
        };
        const auto quiet = [](Session& run, std::vector<std::string>& found, const char* step) {
            if (!run.ui->messages.empty()) found.push_back(std::string(step) + ": " + messagesSince(*run.ui));
        };
        // A copy the other made, beside its file as it is now.
        const auto compare = [](Session& run, int row, std::vector<std::string>& found) {
            bool shown = false;
            run.ui->compareScripts.push_back(
                [&](frm_compare& c) { shown = c.outcome() == frm_compare::Outcome::Shown; });
            run.menu({row}, frm_rclick::kCompare);
            if (!shown) found.push_back("the compare window showed no comparison");
        };

        // The first opens both files (the backup folder is made), comments, leaves.
        inChild(&first, root + sub + "\\", [&](Session& run, std::vector<std::string>& found) {
            for (const char* name : {"a.txt", "b.txt"}) {
                run.window->lvwFiles.selectedItem = run.rowOf(name);
                run.window->lvwFiles_DblClick();
            }
            run.window->txtFolderComment.text = "team";
            comment(run, run.rowOf("a.txt"), "first on a");
            quiet(run, found, "open, comment");
            run.window->cmdExit_Click();
        });
        for (const char* name : {"a.txt", "b.txt"}) put(folder / name, std::string(name) + " v2", kV2);

        // The second compares and restores a's first version, deletes b's
        // copy, comments.
        inChild(&second, root + sub + "\\", [&](Session& run, std::vector<std::string>& found) {
            quiet(run, found, "load");
            if (run.window->txtFolderComment.text != "team") found.push_back("the folder comment is gone");
            compare(run, run.rowOf("a.txt", kV1), found);
            comment(run, run.rowOf("a.txt", kV1), "second on a v1");
            run.menu({run.rowOf("a.txt", kV1)}, frm_rclick::kRestore);
            run.menu({run.rowOf("b.txt", kV1)}, frm_rclick::kDelete);
            comment(run, run.rowOf("b.txt"), "second on b");
            quiet(run, found, "compare, restore, delete, comment");
            run.window->cmdExit_Click();
        });

        // The first again: compares and restores what the second's restore
        // kept, and comments.
        inChild(&first, root + sub + "\\", [&](Session& run, std::vector<std::string>& found) {
            quiet(run, found, "load");
            for (const auto& [name, stamp, text] : {std::tuple{"a.txt", "", "second on a v1"},
                                                    std::tuple{"b.txt", "", "second on b"}}) {
                const int row = run.rowOf(name, stamp);
                if (row < 0 || run.window->lvwFiles.rows[static_cast<std::size_t>(row)].cells[4] != text) {
                    found.push_back(std::string("no comment \"") + text + "\" on " + name);
                }
            }
            compare(run, run.rowOf("a.txt", kV2), found);
            run.menu({run.rowOf("a.txt", kV2)}, frm_rclick::kRestore);
            comment(run, run.rowOf("a.txt"), "first on a v2");
            quiet(run, found, "compare, restore, comment");
            run.window->cmdExit_Click();
        });
        EXPECT_EQ(readBytes(folder / "a.txt"), "a.txt v2");
        EXPECT_EQ(readBytes(folder / "b.txt"), "b.txt v2");
        const std::string comments = readBytes(folder / kCommentFile);
        for (const char* text : {"team\r\n", ",first on a v2\r\n", ",second on a v1\r\n", ",second on b\r\n"}) {
            EXPECT_NE(comments.find(text), std::string::npos) << text << " missing from " << comments;
        }

        // What the program made: the folder's group, writable by it, by no other.
        const auto modeOf = [](const stdfs::path& p) {
            struct stat st{};
            ::lstat(p.c_str(), &st);
            return std::pair{st.st_mode & 07777, st.st_gid};
        };
        EXPECT_EQ(modeOf(folder / kBackupDir), std::pair(02770u | (umask == 022 ? 05u : 0u), kTeam));
        for (const std::string& own : {std::string(kCommentFile), std::string(kCommentFile) + ".lock"}) {
            EXPECT_EQ(modeOf(folder / own), std::pair(0660u | (umask == 022 ? 04u : 0u), kTeam)) << own;
        }
        EXPECT_EQ(modeOf(folder / "a.txt").first & 0222, 0220u);  // taken over, and back
        const auto copies = filesBelow(folder / kBackupDir);
        EXPECT_EQ(copies.size(), 2u);  // a's two versions
        for (const auto& [rel, bytes] : copies) EXPECT_EQ(modeOf(folder / kBackupDir / rel).first, 0444u) << rel;
        EXPECT_TRUE(temporariesBelow(folder).empty());
    }
}

TEST_F(Hostile, AFolderThatCannotBeReadSaysThatReadingWasDenied) {
    put(work.path() / "secret/a.txt", "theirs", kV1);
    ::chmod((work.path() / "secret").c_str(), 0700);
    const std::string folder = root + "secret\\";
    inChild(true, folder, [&](Session& run, std::vector<std::string>& found) {
        if (run.state.p_driveAndPath != folder) found.push_back("start-up chose " + run.state.p_driveAndPath);
        const std::string m = messagesSince(*run.ui);
        for (const char* w : {"err 70", kDenied, "読み取り"}) {
            if (m.find(w) == std::string::npos) found.push_back("the message does not say reading was denied: " + m);
        }
    });
    ::chmod((work.path() / "secret").c_str(), 0755);
    EXPECT_EQ(readBytes(work.path() / "secret/a.txt"), "theirs");
}

TEST_F(Hostile, AFullDiskKeepsTheOldCommentsAndLeavesNoHalfCopy) {
    const auto mount = work.mkdir("small");
    const std::string comments = "old note\r\nbig.txt_" + std::string(kV1) + ",kept\r\n";
    inChild(
        false, root + "small\\",
        [&](Session& run, std::vector<std::string>& found) {
            expectOpenRefused(run, "big.txt", "err 61", found);
            run.window->txtFolderComment.text = std::string(200 << 10, 'x');
            // 終了 asks whether to end without the comment: いいえ stays, はい ends.
            run.window->cmdExit_Click();
            if (run.ui->questions.size() != 1 || run.ui->endProgramCalls != 0) found.push_back("ended unasked");
            run.ui->yesNoAnswers.push_back(true);
            run.window->cmdExit_Click();
            if (run.ui->endProgramCalls != 1) found.push_back("did not end on はい");
            if (readBytes(mount / kCommentFile) != comments) found.push_back("the comment file changed");
            for (const auto& [rel, bytes] : filesBelow(mount)) {
                if (isInBackupDir(mount / rel)) found.push_back("a copy on a full disk: " + rel);
            }
            for (const auto& t : temporariesBelow(mount)) found.push_back("temporary left: " + t);
            ::umount2(mount.c_str(), MNT_DETACH);
        },
        [&] {
            // A small memory file system in a mount namespace of its own, filled up.
            if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=512k") != 0) {
                return false;
            }
            put(mount / "big.txt", std::string(300 << 10, 'b'), kV1);
            std::ofstream(mount / kCommentFile, std::ios::binary) << comments;
            std::ofstream fill(mount / "fill.bin", std::ios::binary);
            const std::string block(4096, 'f');
            while (fill.write(block.data(), block.size())) {
            }
            return true;
        });
}

TEST_F(Hostile, VanishedFilesAndCopiesGetAMessageAndTheRestStays) {
    put(work.path() / "a.txt", "a now", kV2);
    put(work.path() / kBackupDir / (std::string("a_") + kV1 + ".txt"), "a before", kV1);
    put(work.path() / "b.txt", "b now", kV2);
    startIn(root);
    const int aCopy = rowOf("a.txt", kV1);
    stdfs::remove(work.path() / kBackupDir / (std::string("a_") + kV1 + ".txt"));
    menu(aCopy, frm_rclick::kRestore);
    EXPECT_NE(messagesSince(ui, 0).find("err 53"), std::string::npos) << messagesSince(ui, 0);
    EXPECT_EQ(readBytes(work.path() / "a.txt"), "a now");
    EXPECT_TRUE(hasCopyOf("a now")) << "the present version was not copied before the restore";

    const std::size_t before = ui.messages.size();
    const int b = rowOf("b.txt");
    stdfs::remove(work.path() / "b.txt");
    open(b);
    EXPECT_NE(messagesSince(ui, before).find("err 53"), std::string::npos) << messagesSince(ui, before);
    EXPECT_TRUE(ui.shellRequests.empty());
}

TEST_F(Hostile, ACommentFileThatIsAFolderIsNamedAsSuch) {
    put(work.path() / "a.txt", "a", kV1);
    work.mkdir(std::string(kCommentFile) + "/inside");
    startIn(root);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_NE(ui.messages.front().find("フォルダー"), std::string::npos) << ui.messages.front();
    window().cmdExit_Click();
    EXPECT_TRUE(stdfs::is_directory(work.path() / kCommentFile / "inside"));
}

}  // namespace
}  // namespace mabrel::test
