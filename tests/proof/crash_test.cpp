// The program killed (SIGKILL) right before and right after each of its
// file-system calls during an open of a large file, a restore, a delete, a
// comment save and an exit, and at random moments while a large file is
// copied; the real executable too, from its start to its close. After each
// kill: no copy under a version's name is incomplete, every version is still
// there, the comment and settings files are each the old or the new whole
// file; once the program has run again, no temporary of it is left.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <set>

#include "proof/invariants.h"
#include "proof/person.h"

namespace mabrel::test {
namespace {

using namespace proof;

constexpr std::size_t kBig = 2u << 20;
constexpr std::size_t kHuge = 64u << 20;

// A large file's bytes: one version differs from another in every block.
std::string largeContent(std::size_t size, char version) {
    std::string out(size, version);
    for (std::size_t i = 0; i < size; i += 64) out[i] = static_cast<char>('0' + (i / 64) % 10);
    return out;
}

// The folders of one run: a work folder and the program's folder. With
// `staleFiles`, the program has something to write at its close though
// nobody types: the settings name another folder, and the comment file holds
// the record of a file no longer there. With an `owner`, both are theirs, the
// work folder their team's, and every run on them is theirs.
struct World {
    explicit World(std::size_t bigSize, bool staleFiles = false, std::optional<Account> owner = {})
        : owner(std::move(owner)) {
        const auto w = work.path(), copies = w / kBackupDir;
        put(w / "big.bin", largeContent(bigSize, 'B'), "2021-02-02 01-01-01");
        put(copies / "big_2021-01-01 01-01-01.bin", largeContent(bigSize, 'A'), "2021-01-01 01-01-01", true);
        put(w / "small.txt", "small 3", "2020-03-03 01-01-01");
        put(copies / "small_2020-01-01 01-01-01.txt", "small 1", "2020-01-01 01-01-01", true);
        put(copies / "small_2020-02-02 02-02-02.txt", "small 2", "2020-02-02 01-01-01", true);
        put(copies / "small_2020-03-03 01-01-01.txt", "small 3", "2020-03-03 01-01-01", true);  // redundant
        std::ofstream(w / kCommentFile, std::ios::binary)
            << "folder note\r\nsmall.txt_2020-01-01 01-01-01,on s1\r\nbig.bin_2021-02-02 01-01-01,on big\r\n"
            << (staleFiles ? "gone.txt_2019-01-01 01-01-01,its file is gone\r\n" : "");
        stdfs::create_directory(program());
        putSettings(program(), staleFiles ? programDrive() : work.drivePath());
        if (this->owner) {
            shareWithTeam(w, *this->owner);
            giveTo(exe.path(), *this->owner);
        }
    }
    // The program's folder, which is also where it keeps its settings: the
    // real program's configuration folder (XDG_CONFIG_HOME) is `exe`.
    stdfs::path program() const { return exe.path() / "mabrel9-iv"; }
    std::string programDrive() const { return exe.drivePath() + "mabrel9-iv\\"; }
    std::optional<Account> owner;
    TempDir work{scratchParent()};
    TempDir exe{scratchParent()};
};

// Content digests of every version below a folder.
std::map<std::size_t, std::string> versionsBelow(const stdfs::path& root) {
    std::map<std::size_t, std::string> out;
    for (const auto& [rel, bytes] : filesBelow(root)) out[std::hash<std::string>{}(bytes)] = rel;
    return out;
}

// Whether the process catches SIGTERM yet (its window is up).
bool catchesTerm(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1u;
    }
    return false;
}

// Whether every thread of the process sleeps: the program waits for the
// person, its first load done (it catches SIGTERM already while it loads).
bool sleeps(pid_t pid) {
    const stdfs::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const auto& task : stdfs::directory_iterator(tasks, ec)) {
        std::ifstream stat(task.path() / "stat");
        std::string all;
        std::getline(stat, all);
        const auto close = all.rfind(')');
        if (close == std::string::npos || close + 2 >= all.size() || all[close + 2] != 'S') return false;
    }
    return !ec;
}

struct Scenario {
    explicit Scenario(std::string n, std::size_t size = kBig) : name(std::move(n)), bigSize(size) {}
    std::string name;
    std::size_t bigSize = kBig;
    bool realProgram = false;
    std::optional<Account> as;      // whom it runs as, root when none
    std::set<std::string> deletes;  // copies deleted on purpose
};

class CrashTest : public ::testing::Test {
protected:
    // Runs the scenario once; `at` 0: no kill. Returns the process.
    Child runScenario(const Scenario& s, World& world, long at, bool after, const stdfs::path& countFile,
                        const std::function<void(Child&)>& whileRunning = {}) {
        std::map<std::string, std::string> env = {
            {"LD_PRELOAD", MABREL_CRASH_SHIM},
            {"MABREL_CRASH_ROOTS", world.work.path().string() + ":" + world.exe.path().string()},
            {"MABREL_CRASH_WHEN", after ? "after" : "before"},
            {"MABREL_CRASH_COUNT", countFile.string()},
        };
        if (at > 0) env["MABREL_CRASH_AT"] = std::to_string(at);
        const Account* as = world.owner ? &*world.owner : nullptr;
        Child p;
        if (s.realProgram) {
            const auto exe = world.program() / "mabrel9-iv";
#ifdef MABREL_EXECUTABLE
            if (!stdfs::exists(exe)) stdfs::copy_file(MABREL_EXECUTABLE, exe);
#endif
            env["QT_QPA_PLATFORM"] = "offscreen";
            env["XDG_RUNTIME_DIR"] = runtimeOf(as).string();
            env["XDG_CONFIG_HOME"] = world.exe.path().string();
            env["XDG_DATA_HOME"] = (runtimeOf(as) / "data").string();
            env["HOME"] = world.exe.path().string();
            // Counting starts with the close: the start-up's load is the
            // driver's too.
            env["MABREL_CRASH_ARMED"] = "signal";
            p = spawn({exe.string(), world.work.path().string()}, env, false, as);
            // Up and waiting for the person: closing it the system's way
            // saves the comments and the settings.
            bool ended = false;
            int asleep = 0;
            waitFor([&] {
                ended = ::waitpid(p.pid, &p.status, WNOHANG) == p.pid;
                asleep = catchesTerm(p.pid) && sleeps(p.pid) ? asleep + 1 : 0;
                return ended || asleep >= 5;
            });
            if (ended) return p;
            ::kill(p.pid, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ::kill(p.pid, SIGTERM);
        } else {
            env["MABREL_CRASH_ARMED"] = s.name == "again" ? "1" : "0";
            p = spawn({MABREL_CRASH_DRIVER, s.name, world.work.drivePath(), world.programDrive()}, env, false, as);
            if (whileRunning) whileRunning(p);
        }
        wait(p);
        return p;
    }

    void note(const std::string& what) { findings.push_back(current + ": " + what); }

    // The comment and settings files a kill may leave: the old or the new whole file.
    struct Allowed {
        std::string oldComments, newComments, oldSettings, newSettings;
    };

    // What a kill may leave: the allowed files, every version, complete copies.
    void check(const World& world, const std::map<std::size_t, std::string>& versions, const Scenario& s,
               const Allowed& allowed) {
        std::set<std::size_t> present;
        for (const auto& [rel, bytes] : filesBelow(world.work.path())) {
            const std::size_t h = std::hash<std::string>{}(bytes);
            present.insert(h);
            if (isInBackupDir(world.work.path() / rel) && !versions.contains(h)) {
                note("incomplete copy " + rel + " (" + std::to_string(bytes.size()) + " bytes)");
            }
        }
        for (const auto& [h, rel] : versions) {
            if (!present.contains(h) && !s.deletes.contains(rel)) note("version lost: " + rel);
        }
        auto oldOrNew = [&](const std::string& what, const std::string& now, const std::string& a,
                            const std::string& b) {
            if (now != a && now != b) note(what + " neither old nor new: " + now);
        };
        oldOrNew("comment file", bytesOr(world.work.path() / kCommentFile, "<missing>"), allowed.oldComments,
                 allowed.newComments);
        oldOrNew("settings file", settingsOf(world), allowed.oldSettings, allowed.newSettings);
    }

    // After a kill: what it left; then the program runs again (start and
    // exit), and leaves no temporary and loses nothing either.
    void afterKill(World& world, const std::map<std::size_t, std::string>& versions, const Scenario& s,
                   const Allowed& allowed) {
        check(world, versions, s, allowed);
        const Account* as = world.owner ? &*world.owner : nullptr;
        if (!runScenario(Scenario("again"), world, 0, false, runtimeOf(as) / "again.count").succeeded()) {
            note("the run after the kill failed");
        }
        for (const auto& t : temporariesBelow(world.work.path())) note("temporary left: " + t);
        for (const auto& t : temporariesBelow(world.program())) {
            if (t != "mabrel9-iv") note("temporary left beside the program: " + t);
        }
        const auto comments = bytesOr(world.work.path() / kCommentFile, "<missing>");
        check(world, versions, s, {comments, comments, allowed.oldSettings, allowed.newSettings});
    }

    // The settings file without what differs from one run to the next: the
    // time of the last access (the real program writes its clock) and the
    // names of the work and program folders.
    static std::string settingsOf(const World& world) {
        std::string s = bytesOr(world.program() / "mabrel9-iv.ini", "<missing>");
        const auto at = s.find("lastAccess,");
        if (at != std::string::npos) s.erase(at, s.find("\r\n", at) - at);
        const std::pair<std::string, const char*> folders[] = {{world.work.drivePath(), "<work>"},
                                                                {world.programDrive(), "<exe>"}};
        for (const auto& [folder, shown] : folders) {
            if (const auto f = s.find(folder); f != std::string::npos) s.replace(f, folder.size(), shown);
        }
        return s;
    }

    // Every kill point of the scenario, before and after each call.
    void sweep(const Scenario& s) {
        const auto countFile = runtimeOf(s.as ? &*s.as : nullptr) / (s.name + ".count");
        Allowed allowed;
        {
            World world(s.bigSize, s.realProgram, s.as);
            allowed.oldComments = readBytes(world.work.path() / kCommentFile);
            // What the other instance of the comment scenario stores first.
            if (s.name == "comment") allowed.oldComments += "small.txt_2020-02-02 02-02-02,from another instance\r\n";
            allowed.oldSettings = settingsOf(world);
            current = s.name + " without a kill";
            if (!runScenario(s, world, 0, false, countFile).succeeded()) note("did not run to its end");
            allowed.newComments = bytesOr(world.work.path() / kCommentFile, "<missing>");
            allowed.newSettings = settingsOf(world);
        }
        long calls = -1;
        std::ifstream(countFile) >> calls;
        if (calls <= 0) {
            note("no file-system call counted");
            return;
        }
        for (long at = 1; at <= calls; ++at) {
            for (bool after : {false, true}) {
                World world(s.bigSize, s.realProgram, s.as);
                const auto versions = versionsBelow(world.work.path());
                current = s.name + ", killed " + (after ? "after" : "before") + " call " + std::to_string(at) + " of " +
                          std::to_string(calls);
                ++points;
                // A run that took another way was not killed: nothing to check.
                if (runScenario(s, world, at, after, countFile).killed()) afterKill(world, versions, s, allowed);
            }
        }
    }

    // The runtime folder (private) of the runs as `as`, which also receives
    // the shim's counts.
    stdfs::path runtimeOf(const Account* as) {
        if (!as) return runtime.path();
        const stdfs::path theirs = runtime.path() / std::to_string(as->uid);
        if (stdfs::create_directory(theirs)) {
            ::chmod(theirs.c_str(), 0700);
            giveTo(theirs, *as);
        }
        return theirs;
    }

    TempDir runtime{scratchParent()};
    std::vector<std::string> findings;
    std::string current;
    int points = 0;
};

TEST_F(CrashTest, AKillAtAnyMomentLosesNothing) {
    std::vector<Scenario> scenarios;
    for (const char* name : {"open", "restore", "delete", "comment", "exit"}) scenarios.emplace_back(name);
    scenarios[2].deletes = {std::string(kBackupDir) + "/small_2020-01-01 01-01-01.txt",
                            std::string(kBackupDir) + "/small_2020-02-02 02-02-02.txt"};
#ifdef MABREL_EXECUTABLE
    // As a colleague of a team in the team's folder, as offices run it.
    Scenario real("the program from start to close");
    real.realProgram = true;
    real.as = colleague(1500);
    scenarios.push_back(real);
#endif
    for (const auto& s : scenarios) sweep(s);

    // At random moments while a large file is copied: at an open, and at a
    // restore, which leaves nothing beside the file either (its copy has no
    // name until its last step), even before the program runs again.
    std::mt19937 random(20240601);
    for (const char* name : {"open", "restore"}) {
        const Scenario large(name, kHuge);
        double seconds = 0;
        {
            World world(kHuge);
            const auto start = std::chrono::steady_clock::now();
            runScenario(large, world, 0, false, runtime.path() / "huge.count");
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        for (int i = 0; i < 8; ++i) {
            World world(kHuge);
            const auto versions = versionsBelow(world.work.path());
            const double delay = std::uniform_real_distribution<double>(0.0, seconds)(random);
            current = std::string(name) + " of a large file, killed at " + std::to_string(static_cast<int>(delay * 1000)) +
                      " ms";
            const auto comments = readBytes(world.work.path() / kCommentFile);
            const auto settings = settingsOf(world);
            runScenario(large, world, 0, false, runtime.path() / "huge.count", [&](Child& p) {
                std::this_thread::sleep_for(std::chrono::duration<double>(delay));
                ::kill(p.pid, SIGKILL);
            });
            ++points;
            for (const auto& t : temporariesBelow(world.work.path())) {
                if (!isInBackupDir(world.work.path() / t)) note("temporary left beside the file by the kill: " + t);
            }
            afterKill(world, versions, large, {comments, comments, settings, settings});
        }
    }

    for (const auto& f : findings) std::printf("violation: %s\n", f.c_str());
    std::printf("crash test: %d kill points, %zu violations\n", points, findings.size());
    EXPECT_TRUE(findings.empty());
}

}  // namespace
}  // namespace mabrel::test
