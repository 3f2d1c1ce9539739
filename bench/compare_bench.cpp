// Comparing two versions of a 10 MB text (a log in Japanese and ASCII, 1% of
// its lines changed): the compare window's whole work, from reading the two
// files to the characters marked in each changed line, against GNU
// `diff -u` on the same pair, its output thrown away.
#include <spawn.h>
#include <sys/wait.h>

#include <string>

#include "backup/frm_compare.h"
#include "bench/bench_support.h"
#include "platform/native.h"

extern char** environ;

namespace {

namespace stdfs = std::filesystem;

struct ComparePair {
    ComparePair() : native(bench::uniqueFolder("compare")) {
        static const char* words[] = {"処理", "開始", "終了", "ファイル", "保存", "接続", "error", "warning",
                                      "request", "response", "user", "計算", "結果", "完了"};
        std::mt19937 random{7};
        std::string older, newer;
        for (int i = 0; older.size() < (std::size_t{10} << 20); ++i) {
            std::string line = "2024-03-01 09:" + std::to_string(i / 60 % 60) + ":" + std::to_string(i % 60) + " [" +
                               (random() % 3 == 0 ? "WARN" : "INFO") + "] id=" + std::to_string(i);
            for (unsigned k = 0, n = 2 + random() % 6; k < n; ++k) line += std::string(" ") + words[random() % 14];
            older += line + "\n";
            newer += (random() % 100 == 0 ? line + " 変更あり" : line) + "\n";
        }
        const int dir = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        bench::writeFile(dir, "older.txt", older, std::time(nullptr) - 86400, 0644);
        bench::writeFile(dir, "newer.txt", newer, std::time(nullptr), 0644);
        ::close(dir);
        drive = bench::driveForm(native);
    }
    ~ComparePair() { bench::removeTree(native); }

    stdfs::path native;
    std::string drive;
};

// The compare window's work, as its front end waits for it.
double compareInCore(mabrel::platform::FileSystem& fs, const mabrel::platform::Codec& codec, const ComparePair& pair) {
    std::size_t changes = 0;
    const double s = bench::secondsOf([&] {
        mabrel::frm_compare window(fs, codec, {.folder = pair.drive, .name = "older.txt", .backup = false, .path = {}, .title = "older", .shown = "older.txt", .label = "older.txt"},
                                  {.folder = pair.drive, .name = "newer.txt", .backup = false, .path = {}, .title = "newer", .shown = "newer.txt", .label = "newer.txt"});
        window.Form_Load();
        while (window.outcome() == mabrel::frm_compare::Outcome::Pending) {
            std::this_thread::yield();
            window.Timer_Tick(0);
        }
        if (window.outcome() != mabrel::frm_compare::Outcome::Shown) throw std::runtime_error("not compared");
        changes = window.comparison()->changes.size();
    });
    if (changes < 500) throw std::runtime_error("too few changes found");
    return s;
}

double diffU(const ComparePair& pair) {
    const std::string a = (pair.native / "older.txt").string(), b = (pair.native / "newer.txt").string();
    const char* argv[] = {"diff", "-u", a.c_str(), b.c_str(), nullptr};
    return bench::secondsOf([&] {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        if (::posix_spawnp(&pid, "diff", &actions, nullptr, const_cast<char* const*>(argv), environ) != 0) {
            throw std::runtime_error("cannot run diff");
        }
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 1) throw std::runtime_error("diff found no difference");
    });
}

}  // namespace

int main() {
    bench::Goals goals;
    auto fs = mabrel::platform::makeNativeFileSystem();
    auto codec = mabrel::platform::makeNativeCodec();
    const ComparePair pair;
    goals.ratio("compare_10mb_vs_diff",
                bench::compare([&] { return compareInCore(*fs, *codec, pair); }, [&] { return diffU(pair); }, 9, 31, 20),
                3, "compare window", "diff -u");
    return goals.exitCode();
}
