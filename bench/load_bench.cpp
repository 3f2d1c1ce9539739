// The folder view load of a folder of 10,000 files with 10,000 backup copies
// (a quarter of them redundant, put back before every iteration, outside the
// timing) and a comment file of 5,000 records, against a baseline in the same
// run that only lists both folders and reads every entry's attributes, size
// and time through the same file system. Prints load / baseline, and the
// peak memory a load allocates per 10,000 rows.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/frm_mabrel94.h"
#include "backup/backup_store.h"
#include "platform/text.h"
#include "util/text.h"
#include "platform/native.h"

// --- Allocation counting -------------------------------------------------------
// Every allocation carries its size in front, so that the bytes in use and
// their peak can be followed.
namespace {
std::atomic<long long> g_inUse{0};
std::atomic<long long> g_peak{0};
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* counted(std::size_t size) {
    void* p = std::malloc(size + kHeader);
    if (!p) throw std::bad_alloc();
    *static_cast<std::size_t*>(p) = size;
    const long long now = g_inUse.fetch_add(static_cast<long long>(size)) + static_cast<long long>(size);
    long long peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(p) + kHeader;
}

void uncounted(void* p) {
    if (!p) return;
    void* block = static_cast<char*>(p) - kHeader;
    g_inUse.fetch_sub(static_cast<long long>(*static_cast<std::size_t*>(block)));
    std::free(block);
}
}  // namespace

void* operator new(std::size_t size) { return counted(size); }
void* operator new[](std::size_t size) { return counted(size); }
void operator delete(void* p) noexcept { uncounted(p); }
void operator delete[](void* p) noexcept { uncounted(p); }
void operator delete(void* p, std::size_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::size_t) noexcept { uncounted(p); }

namespace {

namespace stdfs = std::filesystem;
using namespace mabrel;

constexpr int kFiles = 10000;
constexpr int kRedundant = 2500;  // of the 10,000 copies
constexpr int kComments = 5000;

class BenchInteraction : public Interaction {
public:
    void messageBox(const std::string& text) override { messages.push_back(text); }
    std::optional<std::string> inputBox(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    void showModal(frm_rclick&) override {}
    void showModal(frm_option&) override {}
    void showModal(frm_drive&) override {}
    void setWindowState(WindowState) override {}
    void endProgram() override {}
    void setWaitCursor(bool) override {}
    void shellExecute(const ShellRequest&) override {}
    std::optional<IconImage> iconFor(const std::string&) override { return icon; }
    unsigned driveType(const std::string&) override { return 3; }

    IconImage icon{16, 16, std::vector<std::uint32_t>(256, 0xFF336699u)};
    std::vector<std::string> messages;
};

class BenchProcess : public platform::Process {
public:
    bool claimSingleInstance(const std::string&) override { return true; }
    std::string executableFolder() override { return "C:\\"; }
    std::string executableBaseName() override { return "mabrel9-iv"; }
    std::string commandLine() override { return {}; }
    std::string currentDirectory() override { return "C:\\"; }
    platform::LocalTime now() override { return {2026, 1, 1, 0, 0, 0}; }
};

std::string drivePathOf(const stdfs::path& p) {
#ifdef _WIN32
    std::string out = p.string();
#else
    std::string out = "C:" + p.string();
#endif
    for (auto& c : out) {
        if (c == '/') c = '\\';
    }
    if (out.back() != '\\') out += '\\';
    return out;
}

void setTime(const stdfs::path& p, int day, int second) {
    stdfs::last_write_time(p, stdfs::file_time_type::clock::now() - std::chrono::hours(24 * day) -
                                  std::chrono::seconds(second));
}

struct Folder {
    stdfs::path native;
    std::string drive;
    std::string backupDrive;
    std::unique_ptr<platform::FileSystem> fs = platform::makeNativeFileSystem();
    std::unique_ptr<platform::Codec> codec = platform::makeNativeCodec();

    Folder() {
        native = stdfs::temp_directory_path() / ("mabrel-bench-load-" + std::to_string(std::random_device{}()));
        stdfs::create_directories(native / "_mabre-l94");
        drive = drivePathOf(native);
        backupDrive = drive + "_mabre-l94\\";
        for (int i = 0; i < kFiles; ++i) {
            const auto p = native / name(i);
            std::ofstream(p) << "version 2 of file " << i;
            setTime(p, 1, i);
        }
        // The earlier versions: 7,500 copies that stay.
        for (int i = 0; i < kFiles - kRedundant; ++i) {
            const auto source = native / name(i);
            const auto copy = native / "_mabre-l94" / "old.tmp";
            std::ofstream(copy) << "version 1 of file " << i;
            setTime(copy, 2, i);
            const std::string ts = util::formatTimestamp(fs->modificationTime(backupDrive + "old.tmp"));
            const std::string copyName = backup::backupCopyName(name(i), ts);
            stdfs::rename(copy, native / "_mabre-l94" / copyName);
            fs->setAttributes(backupDrive + copyName, backup::kBackupCopyAttributes);
        }
        std::vector<std::string> lines{"the folder's comment"};
        for (int i = 0; i < kComments; ++i) {
            const std::string key = name(i) + "_" + util::formatTimestamp(fs->modificationTime(drive + name(i)));
            lines.push_back(key + ",comment " + std::to_string(i));
        }
        platform::writeTextLines(*fs, *codec, drive + "_mabre.l94", lines);
        restoreRedundant();
    }
    ~Folder() {
        std::error_code ec;
        for (auto it = stdfs::recursive_directory_iterator(native, ec); !ec && it != stdfs::recursive_directory_iterator();
             it.increment(ec)) {
            stdfs::permissions(it->path(), stdfs::perms::owner_all, stdfs::perm_options::add, ec);
        }
        stdfs::remove_all(native, ec);
    }

    static std::string name(int i) { return "document " + std::to_string(i) + ".txt"; }

    // Copies of the present version of the last 2,500 files, as the open action takes them.
    void restoreRedundant() {
        for (int i = kFiles - kRedundant; i < kFiles; ++i) backup::takeBackupCopy(*fs, drive, name(i));
    }
};

Folder& folder() {
    static Folder f;
    return f;
}

double baselineSeconds = 0, loadSeconds = 0;
double peakBytesPerTenThousandRows = 0;
std::size_t rowsShown = 0;

void BM_ListAndReadEveryEntry(benchmark::State& state) {
    auto& f = folder();
    for (auto _ : state) {
        long long total = 0;
        for (const std::string& dir : {f.drive, f.backupDrive}) {
            for (const auto& e : f.fs->list(dir, platform::attr::Directory)) {
                if (e.name == "." || e.name == "..") continue;
                total += f.fs->attributes(dir + e.name);
                total += f.fs->fileSize(dir + e.name);
                total += f.fs->modificationTime(dir + e.name).second;
            }
        }
        benchmark::DoNotOptimize(total);
    }
}

void BM_FolderViewLoad(benchmark::State& state) {
    auto& f = folder();
    ProcessState ps;
    ps.exceptionExtList1 = ".bin.com.dic.dll.exe.fon.fnt.ocx.sys.vxd.";
    ps.p_driveAndPath = f.drive;
    BenchInteraction ui;
    BenchProcess process;
    frm_mabrel94 window(ps, *f.fs, *f.codec, process, ui);
    for (auto _ : state) {
        state.PauseTiming();
        f.restoreRedundant();
        // The view of the previous iteration goes first, so that the peak is the load's own.
        window.lvwFiles.clearRows();
        window.ImageList1.images.clear();
        const long long before = g_inUse.load();
        g_peak.store(before);
        state.ResumeTiming();

        window.fun_Load();

        state.PauseTiming();
        rowsShown = window.lvwFiles.rows.size();
        peakBytesPerTenThousandRows =
            static_cast<double>(g_peak.load() - before) * 10000.0 / static_cast<double>(rowsShown ? rowsShown : 1);
        state.ResumeTiming();
    }
    if (!ui.messages.empty()) state.SkipWithError(ui.messages.front().c_str());
    if (rowsShown != static_cast<std::size_t>(2 * kFiles - kRedundant)) state.SkipWithError("unexpected row count");
    state.counters["rows"] = static_cast<double>(rowsShown);
}

}  // namespace

BENCHMARK(BM_ListAndReadEveryEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FolderViewLoad)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            const double perIteration = run.GetAdjustedRealTime();
            if (run.benchmark_name().find("ListAndRead") != std::string::npos) baselineSeconds = perIteration;
            else loadSeconds = perIteration;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (baselineSeconds > 0 && loadSeconds > 0) {
        std::printf("load / list and read every entry: %.2f (goal: at most 2)\n", loadSeconds / baselineSeconds);
        std::printf("peak memory of a load: %.1f MiB per 10,000 rows (%zu rows)\n",
                    peakBytesPerTenThousandRows / (1024.0 * 1024.0), rowsShown);
    }
    benchmark::Shutdown();
    return 0;
}
