// The running process: one instance per user across real processes, the
// executable's place, the command line and the current directory.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/native.h"
#include "platform/posix/path_map.h"
#include "platform/posix/process_paths.h"
#include "support/temp_dir.h"

namespace mabrel::platform {
namespace {

namespace stdfs = std::filesystem;

// In a child process: claims and reports through the exit code (1 claimed,
// 0 refused), holding the claim until SIGUSR1 when it `holds`, and
// optionally leaving a grandchild running that inherits everything it may.
pid_t claimInChild(const std::string& name, bool holds = false, int readyPipe = -1, bool spawnLongChild = false) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        sigset_t release;
        sigemptyset(&release);
        sigaddset(&release, SIGUSR1);
        ::sigprocmask(SIG_BLOCK, &release, nullptr);
        auto process = makeNativeProcess(0, nullptr);
        const bool claimed = process->claimSingleInstance(name);
        if (spawnLongChild && ::fork() == 0) {
            ::execlp("sleep", "sleep", "3", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (readyPipe >= 0) (void)!::write(readyPipe, claimed ? "1" : "0", 1);
        int signal = 0;
        if (holds) ::sigwait(&release, &signal);
        ::_exit(claimed ? 1 : 0);
    }
    return pid;
}

int exitCodeOf(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first instance also opens a file with a program that outlives it: the
// program keeps no claim.
TEST(SingleInstance, ASecondProcessIsRefusedWhileTheFirstRunsAndNotAfter) {
    // A runtime folder of the test's own, so that claims meet no real instance.
    test::TempDir runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t first = claimInChild("mabrel9-iv", true, ready[1], true);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, '1');
    EXPECT_EQ(exitCodeOf(claimInChild("mabrel9-iv")), 0);
    EXPECT_EQ(exitCodeOf(claimInChild("other-program")), 1);
    ::kill(first, SIGUSR1);
    EXPECT_EQ(exitCodeOf(first), 1);
    EXPECT_EQ(exitCodeOf(claimInChild("mabrel9-iv")), 1);
    EXPECT_TRUE(stdfs::exists(runtime.path() / "mabrel9-iv.lock"));
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(SingleInstance, TheLockFileIsInTheRuntimeFolderOrPerUserInTmp) {
    EXPECT_EQ(posix::lockFilePath("mabrel9-iv", "/run/user/1000", 1000), "/run/user/1000/mabrel9-iv.lock");
    EXPECT_EQ(posix::lockFilePath("mabrel9-iv", nullptr, 1000), "/tmp/mabrel9-iv-1000.lock");
    EXPECT_EQ(posix::lockFilePath("mabrel9-iv", "", 7), "/tmp/mabrel9-iv-7.lock");
    // No way out of the folder through the name.
    EXPECT_EQ(posix::lockFilePath("../evil/x", "/run/user/1", 1), "/run/user/1/mabrel9-iv.._evil_x.lock");
}

TEST(CommandLine, ArgumentsAreJoinedAndPathsOfTheMachinePutIntoDriveForm) {
    // ".", ".." and doubled "/" go before the path is put into drive form: a
    // ".." out of a mounted drive leads to the folder it names.
    const std::vector<posix::Drive> drives{{'C', "/", posix::drive_type::Fixed, "", ""},
                                           {'D', "/media/usb", posix::drive_type::Removable, "", ""}};
    auto onDrives = [&](const std::string& p) { return posix::nativeToDrivePath(p, drives); };
    const struct {
        std::vector<std::string> arguments;
        const char* expected;
    } cases[] = {
        {{}, ""}, {{"/home/a"}, "C:\\home\\a"},
        {{"/home/a/My", "Docs/x.txt"}, "C:\\home\\a\\My Docs/x.txt"},
        {{"\"C:\\Docs\\\""}, "\"C:\\Docs\\\""},
        {{"file:///home/a/My%20Docs/r%C3%A9.txt"}, "C:\\home\\a\\My Docs\\ré.txt"},
        {{"/media/usb/../../home/a/Docs/../My Docs"}, "C:\\home\\a\\My Docs"},
        {{"//media//usb/./x/"}, "D:\\x"},
        {{"file:///media/usb/x/../.."}, "C:\\media"},
        // Relative paths from the current directory (/media/usb/work), as
        // every program of the machine takes them; the program's own forms
        // and the rest of a name split at its blanks stay.
        {{"."}, "D:\\work"}, {{"sub/x.txt"}, "D:\\work\\sub\\x.txt"},
        {{"../../../home/a"}, "C:\\home\\a"}, {{"My", "Docs"}, "D:\\work\\My Docs"},
        {{"C:\\Docs"}, "C:\\Docs"}, {{"d:"}, "d:"},
        {{"\\\\server\\share\\x"}, "\\\\server\\share\\x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(posix::joinCommandLine(c.arguments, "/media/usb/work", onDrives), c.expected)
            << ::testing::PrintToString(c.arguments);
    }

    // A folder typed into the drive chooser, with the "\" the chooser adds.
    const struct {
        const char* typed;
        const char* expected;
    } typed[] = {
        {"/home/me/資料\\", "C:\\home\\me\\資料"}, {"/media/usb/\\", "D:\\"},
        {"~/x\\", "C:\\home\\me\\x"},           {"~\\", "C:\\home\\me"},
        {"file:///media/usb/a\\", "D:\\a"},       {"D:\\x\\", "D:\\x\\"},
        {"rel\\", "rel\\"},                     {"~other\\", "~other\\"},
    };
    for (const auto& c : typed) EXPECT_EQ(posix::typedFolderPath(c.typed, "/home/me", onDrives), c.expected) << c.typed;

    EXPECT_EQ(posix::settingsFolderPath("/x/cfg/", "/home/me", "mabrel9-iv"), "/x/cfg/mabrel9-iv");
    EXPECT_EQ(posix::settingsFolderPath(nullptr, "/home/me", "mabrel9-iv"), "/home/me/.config/mabrel9-iv");
    EXPECT_EQ(posix::settingsFolderPath("cfg", "/home/me", "mabrel9-iv"), "/home/me/.config/mabrel9-iv");

    // The real process maps through the machine's drives.
    char arg0[] = "mabrel9-iv", arg1[] = "/usr/share", arg2[] = "x";
    char* argv[] = {arg0, arg1, arg2, nullptr};
    EXPECT_EQ(makeNativeProcess(3, argv)->commandLine(), "C:\\usr\\share x");
}

TEST(ProcessPlaces, ExecutableAndCurrentDirectoryInDriveForm) {
    auto process = makeNativeProcess(0, nullptr);
    const stdfs::path exe = stdfs::read_symlink("/proc/self/exe");
    std::string folder = "C:" + exe.parent_path().string();
    std::replace(folder.begin(), folder.end(), '/', '\\');
    EXPECT_EQ(process->executableFolder(), folder);
    EXPECT_EQ(process->executableBaseName(), exe.stem().string());
    test::TempDir dir;
    const auto previous = stdfs::current_path();
    stdfs::current_path(dir.path());
    const std::string cwd = process->currentDirectory();
    stdfs::current_path(previous);
    EXPECT_EQ(cwd + "\\", dir.drivePath());
}

}  // namespace
}  // namespace mabrel::platform
