// Hostile names and places through the whole cycle (load, open, restore,
// delete, comment, save, reload): each either works or gets a message that
// says what happened, and nothing is lost.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <set>

#include "app/window_fixture.h"
#include "backup/frm_rclick.h"
#include "platform/as_other_user.h"
#include "proof/invariants.h"

namespace mabrel::test {
namespace {

using namespace proof;

constexpr char kV1[] = "2020-01-02 03-04-05";
constexpr char kV2[] = "2021-06-07 08-09-10";
// What a message says for permission denied, and for a read that was denied.
constexpr char kDeniedWording[] = "アクセスが拒否されました";
constexpr char kReadWording[] = "読み取り";

void putAt(const stdfs::path& p, const std::string& bytes, bool second) {
    stdfs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (second) setModificationTime(p, 2021, 6, 7, 8, 9, 10);
    else setModificationTime(p, 2020, 1, 2, 3, 4, 5);
}

// The window as a person uses it.
class Hostile : public WindowTest {
protected:
    void menu(int row, int button) {
        ASSERT_GE(row, 0);
        select({row});
        ui.rclickScripts.push_back([button](frm_rclick& m) { m.Command1_Click(button); });
        window().lvwFiles_MouseUp(kRightButton, 0, 1, 1);
    }
    void comment(int row, const std::string& text) {
        ui.inputAnswers.push_back(text);
        menu(row, frm_rclick::kComment);
    }
    std::string commentOf(int row) const {
        return row < 0 ? "<no row>" : const_cast<Hostile*>(this)->window().lvwFiles.rows[static_cast<std::size_t>(row)].cells[4];
    }
    void reopenWindow() {
        window().cmdExit_Click();
        nextRun();
    }
    // Messages since `from`, one per line.
    std::string messagesSince(std::size_t from) const {
        std::string out;
        for (std::size_t i = from; i < ui.messages.size(); ++i) out += ui.messages[i] + "\n";
        return out;
    }
};

// A name as stored on disk (raw bytes) and what the cycle should do with it.
struct Name {
    std::string bytes;
    bool listed = true;   // names that are no valid UTF-8 or hold a line break are not
    bool copyable = true;  // false: its copy's name would be too long
};

TEST_F(Hostile, EveryNameGoesThroughTheWholeCycle) {
    const std::vector<Name> names = {
        {"it's \"quoted\".txt"},
        {"a,b,c.txt"},
        {"semi;colon.txt"},
        {"$(touch pwned).txt"},
        {"`id`.txt"},
        {"-rf.txt"},
        {"--help.txt"},
        {std::string(231, 'n') + ".txt"},  // its copy's name is 255 bytes: the most there is
        {std::string(251, 'm') + ".txt", true, false},  // 255 bytes: its copy's cannot be
        {std::string(240, 'k') + ".txt", true, false},
        {"日本語の文書.txt"},
        {"表示.txt"},  // the second byte of 表 in Shift_JIS is "\"
        {"ﾃｽﾄ.txt"},
        {"emoji😀.txt"},
        {"Ünïcödé ẞ.txt"},
        {"Case.txt"},
        {"case.txt"},
        {"\xff\xfe.txt", false},
        {"\x83\x65\x83\x58\x83\x67.txt", false},  // Shift_JIS bytes
        {"\x80\xbf\xa0\x81", false},
        {"line\nbreak.txt", false},
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        putAt(work.path() / names[i].bytes, "v1 of " + std::to_string(i), false);
    }
    startIn(root);
    ASSERT_TRUE(ui.messages.empty()) << messagesSince(0);

    // Open every listed file, then change it as its application would.
    for (std::size_t i = 0; i < names.size(); ++i) {
        const int row = rowOf(names[i].bytes);
        if (!names[i].listed) {
            EXPECT_EQ(row, -1) << "listed: " << names[i].bytes;
            continue;
        }
        ASSERT_GE(row, 0) << "not listed: " << names[i].bytes;
        const std::size_t before = ui.messages.size(), shells = ui.shellRequests.size();
        select({row});
        window().lvwFiles_DblClick();
        if (!names[i].copyable) {
            EXPECT_EQ(ui.shellRequests.size(), shells) << "opened without its copy: " << names[i].bytes;
            EXPECT_NE(messagesSince(before).find("長すぎ"), std::string::npos)
                << names[i].bytes.substr(0, 20) << "...: the message does not say the name is too long: "
                << messagesSince(before);
            continue;
        }
        EXPECT_EQ(messagesSince(before), "") << names[i].bytes;
        ASSERT_EQ(ui.shellRequests.size(), shells + 1) << names[i].bytes;
        putAt(work.path() / names[i].bytes, "v2 of " + std::to_string(i), true);
    }
    for (const WindowState s : {WindowState::Minimized, WindowState::Normal}) {
        window().windowState = s;
        window().Form_Resize();  // to the task bar and back from the application: the reload
    }

    // Comments on both versions, restore of the first, deletion of the copy of
    // the second, each through the menu.
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!names[i].listed || !names[i].copyable) continue;
        const std::string& n = names[i].bytes;
        const std::size_t before = ui.messages.size();
        comment(rowOf(n), "now " + std::to_string(i));
        comment(rowOf(n, kV1), "old " + std::to_string(i));
        menu(rowOf(n, kV1), frm_rclick::kRestore);
        EXPECT_EQ(readBytes(work.path() / n), "v1 of " + std::to_string(i)) << n;
        EXPECT_FALSE(isReadOnly(work.path() / n)) << n;
        EXPECT_EQ(commentOf(rowOf(n)), "old " + std::to_string(i)) << n;
        EXPECT_EQ(commentOf(rowOf(n, kV2)), "now " + std::to_string(i)) << n;
        const auto copyOfV2 = work.path() / kBackupDir / (n.substr(0, n.rfind('.')) + "_" + kV2 + ".txt");
        EXPECT_EQ(readBytes(copyOfV2), "v2 of " + std::to_string(i)) << n;
        EXPECT_TRUE(isReadOnly(copyOfV2)) << n;
        menu(rowOf(n, kV2), frm_rclick::kDelete);
        EXPECT_FALSE(stdfs::exists(copyOfV2)) << n;
        EXPECT_EQ(rowOf(n, kV2), -1) << n;
        EXPECT_EQ(messagesSince(before), "") << n;
    }

    // Saved, read back by the next run.
    reopenWindow();
    EXPECT_EQ(messagesSince(0).find("fun_Load"), std::string::npos) << messagesSince(0);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& n = names[i].bytes;
        if (!names[i].listed || !names[i].copyable) {
            EXPECT_EQ(readBytes(work.path() / n), "v1 of " + std::to_string(i)) << "touched: " << n;
            continue;
        }
        EXPECT_EQ(commentOf(rowOf(n)), "old " + std::to_string(i)) << n;
    }
    EXPECT_FALSE(stdfs::exists(work.path() / "pwned"));
    EXPECT_TRUE(temporariesBelow(work.path()).empty());
}

// --- Symbolic links where the program's files go ------------------------------

class Links : public Hostile {
protected:
    void SetUp() override {
        putAt(work.path() / "a.txt", "a of now", false);
        putAt(outside.path() / "precious.txt", "precious", false);
    }
    // The outside folder exactly as it was.
    void expectOutsideUntouched() {
        EXPECT_EQ(filesBelow(outside.path()), outsideBefore);
        EXPECT_FALSE(isReadOnlyFile(outside.path() / "precious.txt"));
    }
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
    const bool stored = readCommentFile(work.path() / kCommentFile, *codec).value_or(StoredComments{}).records.size() > 0;
    EXPECT_TRUE(stored || commentOf(rowOf("a.txt")) == "typed")
        << "the typed comment is neither stored nor shown; messages: " << messagesSince(0);
}

TEST_F(Links, ABackupDirectoryLinkedElsewhereLosesNothingThere) {
    // Looks like a redundant copy of a.txt, but lives in another folder.
    putAt(outside.path() / (std::string("a_") + kV1 + ".txt"), "a of now", false);
    stdfs::create_directory_symlink(outside.path(), work.path() / kBackupDir);
    outsideBefore = filesBelow(outside.path());
    startIn(root);
    const std::size_t before = ui.messages.size();
    select({rowOf("a.txt")});
    window().lvwFiles_DblClick();
    window().cmdUpdate_Click();
    EXPECT_EQ(readBytes(outside.path() / (std::string("a_") + kV1 + ".txt")), "a of now");
    EXPECT_EQ(readBytes(outside.path() / "precious.txt"), "precious");
    if (ui.shellRequests.empty()) {
        EXPECT_NE(messagesSince(before), "") << "refused without a word";
    }
}

TEST_F(Links, ACopyThatIsALinkLeavesItsTargetAlone) {
    putAt(outside.path() / "target.txt", "a of now", false);  // same size and time as a.txt
    stdfs::create_directories(work.path() / kBackupDir);
    stdfs::create_symlink(outside.path() / "target.txt", work.path() / kBackupDir / (std::string("a_") + kV1 + ".txt"));
    outsideBefore = filesBelow(outside.path());
    startIn(root);
    for (int row = 0; row < static_cast<int>(window().lvwFiles.rows.size()); ++row) {
        if (window().lvwFiles.rows[static_cast<std::size_t>(row)].cells[3] == "*") {
            menu(row, frm_rclick::kRestore);
            menu(row, frm_rclick::kDelete);
            break;
        }
    }
    window().cmdUpdate_Click();
    expectOutsideUntouched();
    EXPECT_EQ(readBytes(work.path() / "a.txt"), "a of now");
}

TEST_F(Links, ADanglingLinkUnderTheNextCopysNameNeitherPassesForTheCopyNorIsWrittenThrough) {
    stdfs::create_directories(work.path() / kBackupDir);
    const auto nowhere = outside.path() / "nowhere.txt";
    stdfs::create_symlink(nowhere, work.path() / kBackupDir / (std::string("a_") + kV1 + ".txt"));
    startIn(root);
    select({rowOf("a.txt")});
    window().lvwFiles_DblClick();
    EXPECT_FALSE(stdfs::exists(nowhere)) << "written through the link";
    if (!ui.shellRequests.empty()) {
        bool secured = false;
        for (const auto& [rel, bytes] : filesBelow(work.path() / kBackupDir)) secured |= bytes == "a of now";
        EXPECT_TRUE(secured) << "opened without a copy of its version";
    } else {
        EXPECT_NE(messagesSince(0), "");
    }
}

// Another account that may write the folder swaps the backup directory for a
// link to a folder of the person's, again and again, while the program (a
// process of its own) opens, saves, restores, deletes and refreshes: nothing
// in that folder is made, removed or changed.
TEST(AnotherAccount, SwappingTheBackupDirectoryForALinkReachesNothingOutsideTheFolder) {
    TempDir shared(scratchParent());
    TempDir victim(scratchParent());
    TempDir exe(scratchParent());
    ::chmod(shared.path().c_str(), 0777);
    ::chmod(victim.path().c_str(), 0755);
    const auto a = shared.write("a.txt", "version 099");
    setModificationTime(a, 2020, 1, 1, 0, 59, 0);
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
        const auto dir = shared.path() / kBackupDir;
        const auto held = shared.path() / ".held";
        for (long swaps = 0;; ++swaps) {
            ::rename(dir.c_str(), held.c_str());
            ::symlink(victim.path().c_str(), dir.c_str());
            ::usleep(static_cast<useconds_t>(swaps % 7) * 100);
            ::unlink(dir.c_str());
            ::rename(held.c_str(), dir.c_str());
            ::usleep(static_cast<useconds_t>(swaps % 5) * 100);
        }
    }
    std::vector<std::string> args = {MABREL_CRASH_DRIVER, "cycle", shared.drivePath(), exe.drivePath(),
                                     shared.path().string()};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t program = ::fork();
    if (program == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);  // its messages: refusals the race causes
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(program, &status, 0);
    ::kill(attacker, SIGKILL);
    ::waitpid(attacker, nullptr, 0);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the program did not run to its end: " << status;
    EXPECT_EQ(filesBelow(victim.path()), before);
    for (const auto& [rel, bytes] : before) EXPECT_FALSE(isReadOnlyFile(victim.path() / rel)) << rel;
}

// --- Places --------------------------------------------------------------------

// Runs `body` in a child process (as "nobody" when asked); what it finds
// comes back as lines of text.
std::vector<std::string> inChild(bool asNobody, const std::function<void(std::vector<std::string>&)>& body,
                                 const std::function<bool()>& prepare = {}) {
    int fds[2];
    if (::pipe(fds) != 0) return {"no pipe"};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::vector<std::string> found;
        if (prepare && !prepare()) found.push_back("skip");
        else if (asNobody && (::setgid(65534) != 0 || ::setuid(65534) != 0)) found.push_back("cannot become nobody");
        else {
            try {
                body(found);
            } catch (const std::exception& e) {
                found.push_back(std::string("exception: ") + e.what());
            }
        }
        for (const auto& f : found) {
            const std::string line = f + "\n";
            [[maybe_unused]] auto n = ::write(fds[1], line.data(), line.size());
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string all;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) all.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < all.size();) {
        const auto end = all.find('\n', start);
        lines.push_back(all.substr(start, end - start));
        start = end == std::string::npos ? all.size() : end + 1;
    }
    if (!WIFEXITED(status)) lines.push_back("the child died");
    return lines;
}

// A person in a child process (the window and its folders are made there).
struct ChildRun {
    ChildRun(const TempDir& exe, const std::string& folder) {
        process.exeFolder = withoutTrailingSeparator(exe.drivePath());
        process.commandLineText = folder;
        process.currentDir = withoutTrailingSeparator(folder);
    }
    int rowOf(const std::string& name) const {
        for (std::size_t i = 0; i < window.lvwFiles.rows.size(); ++i) {
            if (window.lvwFiles.rows[i].cells[0] == name && window.lvwFiles.rows[i].cells[3].empty()) return static_cast<int>(i);
        }
        return -1;
    }
    std::string messages() const {
        std::string out;
        for (const auto& m : ui.messages) out += m + " | ";
        return out;
    }
    std::unique_ptr<platform::FileSystem> fs = platform::makeNativeFileSystem();
    std::unique_ptr<platform::Codec> codec = platform::makeNativeCodec();
    ProcessState state;
    TestProcess process;
    ScriptedInteraction ui;
    frm_mabrel94 window{state, *fs, *codec, process, ui};
};

void expectNone(const std::vector<std::string>& found) {
    if (!found.empty() && found.front() == "skip") GTEST_SKIP() << "not possible here";
    for (const auto& f : found) ADD_FAILURE() << f;
}

// Another user's folder, and one of ours made read-only: readable, not writable.
TEST_F(Hostile, AFolderThatCannotBeWrittenKeepsEverythingAndSaysWhyNoCopyCanBeTaken) {
    TempDir exe;
    ::chmod(exe.path().c_str(), 0777);
    for (const bool ours : {false, true}) {
        const std::string sub = ours ? "ro" : "theirs";
        SCOPED_TRACE(sub);
        putAt(work.path() / sub / "a.txt", "mine", false);
        work.write(sub + "/" + kCommentFile, "kept note\r\na.txt_" + std::string(kV1) + ",kept\r\n");
        if (ours) ::chown((work.path() / sub).c_str(), 65534, 65534);
        ::chmod((work.path() / sub).c_str(), 0555);
        const auto before = filesBelow(work.path() / sub);
        const std::string folder = root + sub + "\\";
        expectNone(inChild(true, [&](std::vector<std::string>& found) {
            ChildRun run(exe, folder);
            run.window.Form_Load();
            if (!run.ui.messages.empty()) found.push_back("the load complained: " + run.messages());
            run.window.lvwFiles.selectedItem = run.rowOf("a.txt");
            run.window.lvwFiles_DblClick();
            if (!run.ui.shellRequests.empty()) found.push_back("opened without its copy");
            if (run.ui.messages.empty() || run.ui.messages.back().find(kDeniedWording) == std::string::npos) {
                found.push_back("the open's message does not say permission was denied: " + run.messages());
            }
            run.window.cmdExit_Click();
        }));
        ::chmod((work.path() / sub).c_str(), 0755);
        EXPECT_EQ(filesBelow(work.path() / sub), before);
        EXPECT_TRUE(temporariesBelow(work.path()).empty());
    }
}

TEST_F(Hostile, AFolderThatCannotBeReadSaysThatReadingWasDenied) {
    putAt(work.path() / "secret/a.txt", "theirs", false);
    ::chmod((work.path() / "secret").c_str(), 0700);
    TempDir exe;
    ::chmod(exe.path().c_str(), 0777);
    const std::string folder = root + "secret\\";
    expectNone(inChild(true, [&](std::vector<std::string>& found) {
        ChildRun run(exe, folder);
        run.window.Form_Load();
        if (run.state.p_driveAndPath != folder) found.push_back("start-up chose " + run.state.p_driveAndPath);
        const std::string m = run.messages();
        if (m.find("err 70") == std::string::npos || m.find(kDeniedWording) == std::string::npos ||
            m.find(kReadWording) == std::string::npos) {
            found.push_back("the message does not say reading was denied: " + m);
        }
    }));
    ::chmod((work.path() / "secret").c_str(), 0755);
    EXPECT_EQ(readBytes(work.path() / "secret/a.txt"), "theirs");
}

TEST_F(Hostile, AFullDiskKeepsTheOldCommentsAndLeavesNoHalfCopy) {
    const auto mount = work.mkdir("small");
    const std::string folder = root + "small\\";
    TempDir exe;
    expectNone(inChild(
        false,
        [&](std::vector<std::string>& found) {
            putAt(mount / "big.txt", std::string(300 << 10, 'b'), false);
            std::ofstream(mount / kCommentFile, std::ios::binary) << "old note\r\nbig.txt_" << kV1 << ",kept\r\n";
            // Fill what is left.
            {
                std::ofstream fill(mount / "fill.bin", std::ios::binary);
                const std::string block(4096, 'f');
                while (fill.write(block.data(), block.size())) {
                }
            }
            ChildRun run(exe, folder);
            run.window.Form_Load();
            run.window.lvwFiles.selectedItem = run.rowOf("big.txt");
            run.window.lvwFiles_DblClick();
            if (!run.ui.shellRequests.empty()) found.push_back("opened without its copy");
            if (run.ui.messages.empty() || run.ui.messages.back().find("err 61") == std::string::npos) {
                found.push_back("the message does not say the disk is full: " + run.messages());
            }
            run.window.txtFolderComment.text = std::string(200 << 10, 'x');
            // 終了 asks whether to end without the comment: いいえ stays, はい ends.
            run.window.cmdExit_Click();
            if (run.ui.questions.size() != 1 || run.ui.endProgramCalls != 0) found.push_back("ended unasked");
            run.ui.yesNoAnswers.push_back(true);
            run.window.cmdExit_Click();
            if (run.ui.endProgramCalls != 1) found.push_back("did not end on はい");
            if (readBytes(mount / kCommentFile) != "old note\r\nbig.txt_" + std::string(kV1) + ",kept\r\n") {
                found.push_back("the comment file changed");
            }
            for (const auto& [rel, bytes] : filesBelow(mount)) {
                if (isInBackupDir(mount / rel)) found.push_back("a copy on a full disk: " + rel);
            }
            for (const auto& t : temporariesBelow(mount)) found.push_back("temporary left: " + t);
            ::umount2(mount.c_str(), MNT_DETACH);
        },
        [&] {
            // A small memory file system of its own, in a mount namespace of its own.
            return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   ::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=512k") == 0;
        }));
}

TEST_F(Hostile, VanishedFilesAndCopiesGetAMessageAndTheRestStays) {
    putAt(work.path() / "a.txt", "a now", true);
    putAt(work.path() / kBackupDir / (std::string("a_") + kV1 + ".txt"), "a before", false);
    putAt(work.path() / "b.txt", "b now", true);
    startIn(root);
    const int aCopy = rowOf("a.txt", kV1);
    stdfs::remove(work.path() / kBackupDir / (std::string("a_") + kV1 + ".txt"));
    menu(aCopy, frm_rclick::kRestore);
    EXPECT_NE(messagesSince(0).find("err 53"), std::string::npos) << messagesSince(0);
    EXPECT_EQ(readBytes(work.path() / "a.txt"), "a now");
    bool secured = false;
    for (const auto& [rel, bytes] : filesBelow(work.path() / kBackupDir)) secured |= bytes == "a now";
    EXPECT_TRUE(secured) << "the present version was not copied before the restore";

    const std::size_t before = ui.messages.size();
    const int b = rowOf("b.txt");
    stdfs::remove(work.path() / "b.txt");
    select({b});
    window().lvwFiles_DblClick();
    EXPECT_NE(messagesSince(before).find("err 53"), std::string::npos) << messagesSince(before);
    EXPECT_TRUE(ui.shellRequests.empty());
}

TEST_F(Hostile, AMegabyteCommentLineAndTwoHundredThousandRecordsComeBack) {
    putAt(work.path() / "a.txt", "a", false);
    std::string file = "folder\r\n";
    for (int i = 0; i < 200000; ++i) file += "f" + std::to_string(i) + ".txt_" + kV1 + ",record " + std::to_string(i) + "\r\n";
    file += std::string("a.txt_") + kV1 + ",the real one\r\n";
    work.write(kCommentFile, file);
    startIn(root);
    EXPECT_TRUE(ui.messages.empty()) << messagesSince(0);
    EXPECT_EQ(commentOf(rowOf("a.txt")), "the real one");

    const std::string longLine(1 << 20, 'L');
    window().txtFolderComment.text = longLine;
    comment(rowOf("a.txt"), std::string(1 << 20, 'R'));
    reopenWindow();
    EXPECT_EQ(window().txtFolderComment.text, longLine);
    EXPECT_EQ(commentOf(rowOf("a.txt")), std::string(1 << 20, 'R'));
}

TEST_F(Hostile, ACommentFileThatIsAFolderIsNamedAsSuch) {
    putAt(work.path() / "a.txt", "a", false);
    work.mkdir(std::string(kCommentFile) + "/inside");
    startIn(root);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_NE(ui.messages.front().find("フォルダー"), std::string::npos) << ui.messages.front();
    window().cmdExit_Click();
    EXPECT_TRUE(stdfs::is_directory(work.path() / kCommentFile / "inside"));
}

}  // namespace
}  // namespace mabrel::test
