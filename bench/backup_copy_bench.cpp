// Taking a backup copy of a 256 MiB file against `cp --preserve=mode,timestamps`
// of the same file, measured in the same run; prints ours / cp.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "backup/backup_store.h"
#include "platform/native.h"

#ifdef __linux__
#include <sys/vfs.h>
#endif

namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kFileSize = 256u << 20;

// A folder on a real disk: tmpfs would measure memory copies only.
stdfs::path scratchRoot() {
    stdfs::path base = stdfs::temp_directory_path();
#ifdef __linux__
    struct statfs info {};
    constexpr long kTmpfsMagic = 0x01021994;
    if (statfs(base.c_str(), &info) == 0 && static_cast<long>(info.f_type) == kTmpfsMagic) base = "/var/tmp";
#endif
    return base / ("mabrel-bench-" + std::to_string(std::random_device{}()));
}

std::string drivePath(const stdfs::path& p) {
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

struct Scratch {
    Scratch() : folder(scratchRoot()) {
        stdfs::create_directories(folder);
        std::ofstream out(folder / "large.bin", std::ios::binary);
        std::mt19937_64 generator{42};
        std::string block(1u << 20, '\0');
        for (std::size_t written = 0; written < kFileSize; written += block.size()) {
            for (std::size_t i = 0; i < block.size(); i += 8) {
                const auto v = generator();
                for (int b = 0; b < 8; ++b) block[i + b] = static_cast<char>(v >> (8 * b));
            }
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    ~Scratch() {
        std::error_code ec;
        for (auto it = stdfs::recursive_directory_iterator(folder, ec); !ec && it != stdfs::recursive_directory_iterator();
             it.increment(ec)) {
            stdfs::permissions(it->path(), stdfs::perms::owner_all, stdfs::perm_options::add, ec);
        }
        stdfs::remove_all(folder, ec);
    }
    void removeCopies() {
        std::error_code ec;
        for (const auto& e : stdfs::directory_iterator(folder / mabrel::backup::kBackupDirName, ec)) {
            stdfs::permissions(e.path(), stdfs::perms::owner_all, stdfs::perm_options::add, ec);
            stdfs::remove(e.path(), ec);
        }
        stdfs::remove(folder / "cp-copy.bin", ec);
    }
    stdfs::path folder;
};

Scratch& scratch() {
    static Scratch s;
    return s;
}

struct Total {
    double seconds = 0;
    long iterations = 0;
    double mean() const { return iterations ? seconds / static_cast<double>(iterations) : 0; }
};
Total ours;
Total cp;
Total cpSynced;

void BM_TakeBackupCopy(benchmark::State& state) {
    auto fs = mabrel::platform::makeNativeFileSystem();
    const std::string folder = drivePath(scratch().folder);
    for (auto _ : state) {
        scratch().removeCopies();
        const auto start = Clock::now();
        mabrel::backup::takeBackupCopy(*fs, folder, "large.bin");
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        state.SetIterationTime(elapsed.count());
        ours.seconds += elapsed.count();
        ++ours.iterations;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

// cp as it is, and cp followed by an fsync of the copy: our copy is flushed
// to the disk before it takes its name, cp leaves that to the kernel.
void runCp(benchmark::State& state, bool synced, Total& total) {
    const std::string target = "'" + (scratch().folder / "cp-copy.bin").string() + "'";
    std::string command = "cp --preserve=mode,timestamps '" + (scratch().folder / "large.bin").string() + "' " + target;
    if (synced) command += " && sync " + target;
    for (auto _ : state) {
        scratch().removeCopies();
        const auto start = Clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("cp failed");
            break;
        }
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        state.SetIterationTime(elapsed.count());
        total.seconds += elapsed.count();
        ++total.iterations;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

void BM_CpPreserve(benchmark::State& state) { runCp(state, false, cp); }
void BM_CpPreserveSynced(benchmark::State& state) { runCp(state, true, cpSynced); }

// Alternating so that both meet the same state of the disk and page cache.
BENCHMARK(BM_CpPreserve)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TakeBackupCopy)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CpPreserveSynced)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CpPreserve)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TakeBackupCopy)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CpPreserveSynced)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    scratch();  // the source file, made once before anything is timed
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (ours.iterations && cp.iterations) {
        std::printf("backup copy of 256 MiB: ours %.1f ms, cp %.1f ms, ratio ours/cp %.3f (goal <= 1.1)\n",
                    ours.mean() * 1e3, cp.mean() * 1e3, ours.mean() / cp.mean());
    }
    if (ours.iterations && cpSynced.iterations) {
        std::printf("with the copy flushed like ours: cp + sync %.1f ms, ratio ours/(cp + sync) %.3f\n",
                    cpSynced.mean() * 1e3, ours.mean() / cpSynced.mean());
    }
    return 0;
}
