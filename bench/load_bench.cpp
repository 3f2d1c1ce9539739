// The folder view load against the physical limit of the listing it needs
// (getdents64 and one statx per entry over the folder and its backup
// directory), for 10,000, 100,000 and 1,000,000 files, each with as many
// backup copies and half as many comment records: the load a person waits
// for after each action (the folder listed before) and, for the two larger
// ones, the first load of a new start (a new process: a fresh heap, nothing
// of the folder known, so every entry's DOS attributes are read); and the
// same folder reached through another drive letter against C:. The folder of
// a million files holds empty files, made by two threads.
//
// The kernel's caches are as the limit leaves them: warm. A new start finds
// them so when the folder was used lately; a folder not read since boot adds
// the disk's time to both sides alike.
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bench/bench_support.h"
#include "bench/bench_window.h"
#include "platform/posix/path_map.h"
#include "tests/platform/contract/mounted_fs.h"

namespace {

using bench::Comparison;

// A mount namespace of this process alone with an empty tmpfs over /media
// (or /mnt), in which the benchmark may make a drive of its own; the tmpfs
// folder, or nothing with the reason in `why`.
std::optional<std::filesystem::path> privateDriveParent(std::string& why) {
    if (::unshare(CLONE_NEWNS) != 0) {
        why = std::string("no private mount namespace (unshare: ") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        why = std::string("mount namespace not private (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    for (const char* parent : {"/media", "/mnt"}) {
        std::error_code ec;
        if (!std::filesystem::is_directory(parent, ec)) continue;
        if (::mount("mabrel-bench", parent, "tmpfs", 0, "size=1m,mode=755") == 0) return std::filesystem::path(parent);
    }
    why = std::string("no tmpfs over /media or /mnt (") + std::strerror(errno) + ")";
    return std::nullopt;
}

// Binds `target` at a new mount point in `parent`; the program's drive root
// for it ("E:\"), or nothing.
std::optional<std::string> bindAsDrive(const std::filesystem::path& parent, const std::filesystem::path& target,
                                       std::string& why) {
    const auto point = parent / "mabrel-bench-drive";
    std::filesystem::create_directories(point);
    if (::mount(target.c_str(), point.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        why = std::string("bind mount failed (") + std::strerror(errno) + ")";
        return std::nullopt;
    }
    std::ifstream in("/proc/self/mounts");
    std::stringstream text;
    text << in.rdbuf();
    using namespace mabrel::platform::posix;
    for (const auto& d : drivesFromMounts(parseMountTable(text.str()))) {
        if (d.mountPoint == point.string()) return std::string(1, d.letter) + ":\\";
    }
    why = "the bind mount got no drive letter";
    return std::nullopt;
}

bool loadsEverything(bench::CoreWindow& core, const bench::LoadFolder& folder, const std::string& path) {
    core.load(path);
    const auto rows = core.window.lvwFiles.rows.size();
    if (!core.ui.messages.empty() || rows != static_cast<std::size_t>(folder.rows())) {
        std::printf("# the load of %s went wrong: %zu rows of %d, %s\n", path.c_str(), rows, folder.rows(),
                    core.ui.messages.empty() ? "no message" : core.ui.messages.front().c_str());
        return false;
    }
    return true;
}

double limitOf(const bench::LoadFolder& folder) {
    long long sink = 0;
    const double s = bench::secondsOf(
        [&] { sink += bench::listWithStatx(folder.native) + bench::listWithStatx(folder.native / "_mabre-l94"); });
    if (sink == 42) std::printf(" ");
    return s;
}

// The load a person waits for after each action: the folder listed before.
Comparison loadAgainstLimit(bench::CoreWindow& core, const bench::LoadFolder& folder, int minPairs, int maxPairs,
                            double budget) {
    return bench::compare([&] { return core.load(folder.drive); }, [&] { return limitOf(folder); }, minPairs,
                          maxPairs, budget);
}

// The first load of a new start: the window made and the folder loaded in a
// new process of this program; the seconds the load took there, or a
// negative number when it went wrong.
double firstLoadInNewProcess(const bench::LoadFolder& folder) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return -1;
    const std::string rows = std::to_string(folder.rows());
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execl("/proc/self/exe", "load_bench", "--first-load", folder.drive.c_str(), rows.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("# a first load failed: %s\n", text.c_str());
        return -1;
    }
    return std::strtod(text.c_str(), nullptr);
}

// In the new process: loads the folder once and prints the seconds it took.
int firstLoadHere(const std::string& drive, int rows) {
    bench::CoreWindow fresh;
    const double seconds = fresh.load(drive);
    if (!fresh.ui.messages.empty() || fresh.window.lvwFiles.rows.size() != static_cast<std::size_t>(rows)) {
        std::printf("%zu rows of %d, %s\n", fresh.window.lvwFiles.rows.size(), rows,
                    fresh.ui.messages.empty() ? "no message" : fresh.ui.messages.front().c_str());
        return 1;
    }
    std::printf("%.9f\n", seconds);
    return 0;
}

// The first load and the repeat load of a folder of n files against the
// limit, the same folder for all, made once. The first load is that of a new
// start: a new process of this program (a fresh heap, every page of its
// memory new, nothing of the folder known, so every entry's DOS attributes
// are read) makes the window and loads the folder.
bool loadsOfLargeFolder(bench::Goals& goals, int n, const char* tag, bool emptyFiles, int minPairs, int maxPairs,
                        double budget, double firstGoal) {
    const auto making = bench::Clock::now();
    bench::LoadFolder folder(n, std::string("load") + tag, emptyFiles);
    std::printf("# a folder of %d files and as many copies, made in %.0f s\n", n,
                std::chrono::duration<double>(bench::Clock::now() - making).count());
    bench::letSettle();
    bool failed = false;
    goals.ratio(std::string("first_load_") + tag + "_vs_limit",
                bench::compare(
                    [&] {
                        const double load = firstLoadInNewProcess(folder);
                        failed = failed || load < 0;
                        return load;
                    },
                    [&] { return limitOf(folder); }, minPairs, maxPairs, budget),
                firstGoal, "first load", "limit");
    if (failed) return false;

    bench::CoreWindow core;
    if (!loadsEverything(core, folder, folder.drive)) return false;
    goals.ratio(std::string("load_") + tag + "_vs_limit", loadAgainstLimit(core, folder, minPairs, maxPairs, budget),
                2.0, "load", "limit");
    return true;
}

// The load of a folder of 10,000 files on exFAT (exfat-fuse, as a USB
// stick is read) against the same on ext4, each from an image of its own,
// and against getdents64 and statx on the same exFAT folder.
bool loadsOnExfat(bench::Goals& goals) {
    using mabrel::test::FsKind;
    using mabrel::test::MountedFs;
    std::string why;
    const auto exfat = MountedFs::make(FsKind::Exfat, why);
    const auto ext4 = exfat ? MountedFs::make(FsKind::Ext4, why) : nullptr;
    if (!exfat || !ext4) {
        goals.notMeasured("ratio", "load_10k_exfat_vs_ext4", 2.0, why);
        goals.notMeasured("ratio", "load_10k_exfat_vs_limit", 2.0, why);
        return true;
    }
    bench::LoadFolder onExfat(10000, "load10k-exfat", false, exfat->root());
    bench::LoadFolder onExt4(10000, "load10k-ext4", false, ext4->root());
    bench::letSettle();
    bench::CoreWindow core;
    bench::CoreWindow other;
    if (!loadsEverything(core, onExfat, onExfat.drive) || !loadsEverything(other, onExt4, onExt4.drive)) return false;
    goals.ratio("load_10k_exfat_vs_ext4",
                bench::compare([&] { return core.load(onExfat.drive); }, [&] { return other.load(onExt4.drive); }, 7,
                               31, 20),
                2.0, "exFAT", "ext4");
    goals.ratio("load_10k_exfat_vs_limit", loadAgainstLimit(core, onExfat, 7, 31, 20), 2.0, "load", "limit");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--first-load") return firstLoadHere(argv[2], std::atoi(argv[3]));
    bench::Goals goals;
    std::string noDriveWhy;
    // Before any thread exists: unshare refuses a process with several.
    const auto driveParent = privateDriveParent(noDriveWhy);

    {
        bench::LoadFolder folder(10000, "load10k");
        bench::letSettle();
        bench::CoreWindow core;
        if (!loadsEverything(core, folder, folder.drive)) return 1;
        goals.ratio("load_10k_vs_limit", loadAgainstLimit(core, folder, 7, 31, 20), 2.0, "load", "limit");

        std::optional<std::string> otherDrive;
        if (driveParent) otherDrive = bindAsDrive(*driveParent, bench::scratchRoot(), noDriveWhy);
        if (otherDrive) {
            const std::string viaOther = *otherDrive + folder.native.filename().string() + "\\";
            std::printf("# the same folder as %s and as %s\n", folder.drive.c_str(), viaOther.c_str());
            if (!loadsEverything(core, folder, viaOther)) return 1;
            bench::CoreWindow onC;
            goals.ratio("load_drive_d_vs_c",
                        bench::compare([&] { return core.load(viaOther); }, [&] { return onC.load(folder.drive); }, 7,
                                       31, 20),
                        1.2, "other drive", "C:");
        } else {
            goals.notMeasured("ratio", "load_drive_d_vs_c", 1.2, noDriveWhy);
        }
    }
    if (!loadsOnExfat(goals)) return 1;
    if (!loadsOfLargeFolder(goals, 100000, "100k", false, 5, 15, 40, 2.0)) return 1;
    // Empty files: two million of a line each take minutes to make.
    if (!loadsOfLargeFolder(goals, 1000000, "1m", true, 5, 7, 60, 2.2)) return 1;
    return goals.exitCode();
}
