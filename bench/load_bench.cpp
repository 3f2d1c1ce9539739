// The folder view load against the physical limit of the listing it needs
// (getdents64 and one statx per entry over the folder and its backup
// directory), for 10,000 and 100,000 files, each with as many backup copies
// and half as many comment records; and the same folder reached through
// another drive letter against C:.
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bench/bench_support.h"
#include "bench/bench_window.h"
#include "platform/posix/path_map.h"

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

// The first load of the folder in a run (nothing of it known yet), for the
// record: the DOS attributes are read for every entry then.
void firstLoad(const bench::LoadFolder& folder, const char* name) {
    std::vector<double> ratios;
    for (int i = 0; i < 3; ++i) {
        bench::CoreWindow fresh;
        const double load = fresh.load(folder.drive);
        ratios.push_back(load / limitOf(folder));
    }
    std::printf("# %s, first load of the folder in a run: %.2f x the limit (median of %zu)\n", name,
                bench::median(ratios), ratios.size());
}


}  // namespace

int main() {
    bench::Goals goals;
    std::string noDriveWhy;
    // Before any thread exists: unshare refuses a process with several.
    const auto driveParent = privateDriveParent(noDriveWhy);

    {
        bench::LoadFolder folder(10000, "load10k");
        bench::letSettle();
        firstLoad(folder, "load_10k");
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
    {
        bench::LoadFolder folder(100000, "load100k");
        bench::letSettle();
        firstLoad(folder, "load_100k");
        bench::CoreWindow core;
        if (!loadsEverything(core, folder, folder.drive)) return 1;
        goals.ratio("load_100k_vs_limit", loadAgainstLimit(core, folder, 5, 15, 40), 2.0, "load", "limit");
    }
    return goals.exitCode();
}
