// Listing a folder of 2000 files with their attributes, and asking each
// file's attributes by its program path, against plain readdir + stat of the
// same folder in the same run; prints ours / plain. A folder load does both.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/native.h"

namespace {

namespace stdfs = std::filesystem;
constexpr int kFiles = 2000;

struct Folder {
    stdfs::path native;
    std::string drive;  // C:\...\ form
    std::vector<std::string> names;

    Folder() {
        native = stdfs::temp_directory_path() / ("mabrel-bench-list-" + std::to_string(std::random_device{}()));
        stdfs::create_directories(native);
        for (int i = 0; i < kFiles; ++i) {
            names.push_back("document " + std::to_string(i) + ".txt");
            std::ofstream(native / names.back()) << i;
        }
        drive = "C:" + native.string() + "/";
        for (auto& c : drive) {
            if (c == '/') c = '\\';
        }
    }
    ~Folder() {
        std::error_code ec;
        stdfs::remove_all(native, ec);
    }
};

Folder& folder() {
    static Folder f;
    return f;
}

double plainSeconds = 0, oursSeconds = 0;

void BM_PlainReaddirAndStat(benchmark::State& state) {
    auto& f = folder();
    for (auto _ : state) {
        int count = 0;
        DIR* dir = ::opendir(f.native.c_str());
        while (dirent* e = ::readdir(dir)) {
            struct stat st{};
            count += ::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0;
        }
        ::closedir(dir);
        for (const auto& name : f.names) {
            struct stat st{};
            count += ::stat((f.native / name).c_str(), &st) == 0;
        }
        benchmark::DoNotOptimize(count);
    }
}

void BM_ListAndAttributes(benchmark::State& state) {
    auto& f = folder();
    auto fs = mabrel::platform::makeNativeFileSystem();
    for (auto _ : state) {
        auto entries = fs->list(f.drive, mabrel::platform::attr::Directory);
        std::uint32_t all = 0;
        for (const auto& name : f.names) all |= fs->attributes(f.drive + name);
        benchmark::DoNotOptimize(entries);
        benchmark::DoNotOptimize(all);
    }
}

}  // namespace

BENCHMARK(BM_PlainReaddirAndStat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListAndAttributes)->Unit(benchmark::kMillisecond);

// Reports each run and, at the end, ours / plain from this same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            const double perIteration = run.GetAdjustedRealTime();
            if (run.benchmark_name().find("Plain") != std::string::npos) plainSeconds = perIteration;
            else oursSeconds = perIteration;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (plainSeconds > 0 && oursSeconds > 0) {
        std::printf("list + attributes of %d files / readdir + stat: %.2f\n", kFiles, oursSeconds / plainSeconds);
    }
    benchmark::Shutdown();
    return 0;
}
