// What the benchmarks share: two runs timed in turn (A B B A A B ...) and judged
// by the median of the per-pair ratios, so that a machine shared with other
// work slows both sides of a pair alike; the goal lines; the folders they
// run on, made and timed with the machine's own calls, not the program's
// file system layer.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

template <typename F>
double secondsOf(F&& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

struct Comparison {
    double ratio = 0;  // median of a/b over the pairs
    double a = 0;      // median seconds of a
    double b = 0;
    int pairs = 0;
};

// Runs a and b in turn, once each untimed to warm caches, then in pairs until
// maxPairs are done or the budget is spent (never fewer than minPairs); every
// other pair runs b first, so that what one side leaves behind (dirty pages,
// a journal to commit) weighs on both alike. Each side returns the seconds
// it measured, so that it can prepare untimed.
inline Comparison compare(const std::function<double()>& a, const std::function<double()>& b, int minPairs,
                          int maxPairs, double budgetSeconds) {
    a();
    b();
    std::vector<double> ratios, as, bs;
    const auto start = Clock::now();
    for (int i = 0; i < maxPairs; ++i) {
        double ta, tb;
        if (i % 2 == 0) {
            ta = a();
            tb = b();
        } else {
            tb = b();
            ta = a();
        }
        as.push_back(ta);
        bs.push_back(tb);
        ratios.push_back(ta / tb);
        const double spent = std::chrono::duration<double>(Clock::now() - start).count();
        if (i + 1 >= minPairs && spent > budgetSeconds) break;
    }
    return {median(ratios), median(as), median(bs), static_cast<int>(ratios.size())};
}

// The goal lines, and whether every goal measured was met.
class Goals {
public:
    void ratio(const std::string& name, const Comparison& c, double goal, const char* aName, const char* bName) {
        std::printf("# %s: %s %.1f ms, %s %.1f ms (medians of %d pairs)\n", name.c_str(), aName, c.a * 1e3, bName,
                    c.b * 1e3, c.pairs);
        line("ratio", name, c.ratio, goal, 2);
    }
    void memory(const std::string& name, double value, double goal) { line("memory", name, value, goal, 0); }
    // A goal this machine cannot measure: said so, not counted as missed.
    void notMeasured(const char* kind, const std::string& name, double goal, const std::string& why) {
        std::printf("%s %s: not measured (goal <= %g): %s\n", kind, name.c_str(), goal, why.c_str());
        std::fflush(stdout);
    }
    int exitCode() const { return missed_ ? 1 : 0; }

private:
    void line(const char* kind, const std::string& name, double value, double goal, int decimals) {
        const bool met = value <= goal;
        missed_ = missed_ || !met;
        std::printf("%s %s: %.*f (goal <= %g)%s\n", kind, name.c_str(), decimals, value, goal,
                    met ? "" : "  MISSED");
        std::fflush(stdout);
    }
    bool missed_ = false;
};

// --- Folders ------------------------------------------------------------------

// A folder on a real disk: on tmpfs every figure would be memory speed.
inline std::filesystem::path scratchRoot() {
    if (const char* chosen = std::getenv("MABREL_BENCH_DIR")) return chosen;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    struct statfs info {};
    constexpr long kTmpfsMagic = 0x01021994;
    if (::statfs(base.c_str(), &info) == 0 && static_cast<long>(info.f_type) == kTmpfsMagic) base = "/var/tmp";
    return base;
}

inline std::filesystem::path uniqueFolder(const std::string& tag, const std::filesystem::path& parent = {}) {
    const auto path = (parent.empty() ? scratchRoot() : parent) /
                      ("mabrel-bench-" + tag + "-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path);
    return path;
}

// The program's path of a native folder on C:, ending in "\".
inline std::string driveForm(const std::filesystem::path& native) {
    std::string out = "C:" + native.string();
    for (auto& c : out) {
        if (c == '/') c = '\\';
    }
    if (out.back() != '\\') out += '\\';
    return out;
}

// "yyyy-mm-dd hh-mm-ss" in local time.
inline std::string timestamp(std::time_t t) {
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H-%M-%S", &tm);
    return text;
}

inline void writeFile(int dirFd, const std::string& name, const std::string& content, std::time_t modified,
                      mode_t mode) {
    const int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + name);
    if (!content.empty() && ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
        ::close(fd);
        throw std::runtime_error("cannot write " + name);
    }
    const struct timespec times[2] = {{modified, 0}, {modified, 0}};
    ::futimens(fd, times);
    if (mode != 0644) ::fchmod(fd, mode);
    ::close(fd);
}

inline void removeTree(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

// An empty file, made and given its time and mode in calls of its own: a
// folder of millions is made in a fraction of the time.
inline void makeEmptyFile(int dirFd, const std::string& name, std::time_t modified, mode_t mode) {
    if (::mknodat(dirFd, name.c_str(), S_IFREG | mode, 0) != 0) throw std::runtime_error("cannot create " + name);
    const struct timespec times[2] = {{modified, 0}, {modified, 0}};
    ::utimensat(dirFd, name.c_str(), times, 0);
}

// A folder of n files of the usual kinds, n backup copies of earlier
// versions of them (none holding the version the file still has, so a load
// deletes nothing) and a comment file of n/2 records; removed at the end.
// The files hold a line of text, or with `empty` nothing (made faster, by
// two threads).
struct LoadFolder {
    // On the file system of `parent` where one is given.
    explicit LoadFolder(int n, const std::string& tag = "load", bool empty = false,
                        const std::filesystem::path& parent = {})
        : native(uniqueFolder(tag, parent)), files(n) {
        static const char* kinds[] = {".txt", ".docx", ".pdf", ".png", ".zip", ".csv", ".xlsx", ".jpg"};
        std::filesystem::create_directories(native / "_mabre-l94");
        const int dir = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int backupDir = ::open((native / "_mabre-l94").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const std::time_t base = std::time(nullptr) / 60 * 60 - 40 * 86400;
        const auto make = [&](int from, int step) {
            for (int i = from; i < n; i += step) {
                const std::string stem = "document " + std::to_string(i);
                const std::string extension = kinds[i % 8];
                const std::time_t modified = base + i;
                const std::time_t earlier = modified - 10 * 86400;
                const std::string copy = stem + "_" + timestamp(earlier) + extension;
                if (empty) {
                    makeEmptyFile(dir, stem + extension, modified, 0644);
                    makeEmptyFile(backupDir, copy, earlier, 0444);
                } else {
                    writeFile(dir, stem + extension, "version 2 of " + stem, modified, 0644);
                    writeFile(backupDir, copy, "version 1 of " + stem, earlier, 0444);
                }
            }
        };
        if (empty) {
            std::thread other(make, 1, 2);
            make(0, 2);
            other.join();
        } else {
            make(0, 1);
        }
        std::string comments = "the folder's comment\r\n";
        for (int i = 0; i < n; i += 2) {
            comments += "document " + std::to_string(i) + kinds[i % 8] + "_" + timestamp(base + i) + ",comment " +
                        std::to_string(i) + "\r\n";
        }
        writeFile(dir, "_mabre.l94", comments, base, 0644);
        ::close(dir);
        ::close(backupDir);
        drive = driveForm(native);
    }
    ~LoadFolder() { removeTree(native); }
    LoadFolder(const LoadFolder&) = delete;
    LoadFolder& operator=(const LoadFolder&) = delete;

    int rows() const { return 2 * files; }

    std::filesystem::path native;
    int files;
    std::string drive;
};

// A load reads afresh the DOS attributes of entries changed in the last
// seconds; a folder just written waits until it is an ordinary folder.
inline void letSettle() { std::this_thread::sleep_for(std::chrono::seconds(3)); }

// --- The physical limit of a listing -----------------------------------------

// getdents64 over the folder and one statx per entry: what any listing of
// names, sizes, times and kinds must ask of the kernel at least.
inline long long listWithStatx(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + folder.string());
    alignas(8) char buffer[32768];
    long long total = 0;
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (n <= 0) break;
        for (long offset = 0; offset < n;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            struct statx st {};
            if (::statx(fd, entry->d_name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &st) == 0) {
                total += static_cast<long long>(st.stx_size) + st.stx_mtime.tv_sec;
            }
        }
    }
    ::close(fd);
    return total;
}

// --- Memory ---------------------------------------------------------------------

// Bytes the allocator has handed out and not got back.
inline long long heapInUse() {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
}

inline long long residentBytes() {
    long long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lld %lld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * ::sysconf(_SC_PAGESIZE);
}

}  // namespace bench
