// The main window's whole reload of a folder of 10,000 files (the folder
// view load, then filling, laying out and painting the widgets offscreen)
// against the folder view load alone, in the same run; prints the ratio.
// Both alternate between two such folders, so every reload shows new rows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "app/frm_mabrel94.h"
#include "gui/main_window.h"
#include "gui/qt_interaction.h"
#include "platform/native.h"

namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFiles = 10000;

std::string drivePath(const stdfs::path& p) {
    std::string out = "C:" + p.string();
    for (auto& c : out) {
        if (c == '/') c = '\\';
    }
    if (out.back() != '\\') out += '\\';
    return out;
}

// Two folders of 10,000 files of the usual kinds.
struct Folders {
    Folders() : root(stdfs::temp_directory_path() / ("mabrel-gui-bench-" + std::to_string(std::random_device{}()))) {
        const char* kinds[] = {".txt", ".docx", ".pdf", ".png", ".zip", ".csv", ".xlsx", ".jpg"};
        for (const char* name : {"a", "b"}) {
            const stdfs::path folder = root / name;
            stdfs::create_directories(folder);
            for (int i = 0; i < kFiles; ++i) {
                std::ofstream(folder / ("file-" + std::string(name) + std::to_string(i) + kinds[i % 8])) << i;
            }
            paths.push_back(drivePath(folder));
        }
    }
    ~Folders() {
        std::error_code ec;
        stdfs::remove_all(root, ec);
    }
    stdfs::path root;
    std::vector<std::string> paths;
};

struct Total {
    double seconds = 0;
    long iterations = 0;
    double mean() const { return iterations ? seconds / static_cast<double>(iterations) : 0; }
};
Total modelOnly;
Total wholeWindow;

struct Setup {
    Setup(int argc, char** argv) : process(mabrel::platform::makeNativeProcess(argc, argv)) {
        window.resize(1280, 800);
        window.show();
        QApplication::processEvents();
    }
    Folders folders;
    std::unique_ptr<mabrel::platform::FileSystem> fs = mabrel::platform::makeNativeFileSystem();
    std::unique_ptr<mabrel::platform::Codec> codec = mabrel::platform::makeNativeCodec();
    std::unique_ptr<mabrel::platform::Process> process;
    mabrel::ProcessState state;
    mabrel::gui::QtInteraction ui{*fs};
    mabrel::frm_mabrel94 model{state, *fs, *codec, *process, ui};
    mabrel::gui::MainWindow window{model, ui};
    int next = 0;

    void load() {
        state.p_driveAndPath = folders.paths[static_cast<std::size_t>(next++ % 2)];
        model.fun_Load();
    }
};
Setup* setup = nullptr;

void BM_ModelLoad(benchmark::State& st) {
    for (auto _ : st) {
        const auto start = Clock::now();
        setup->load();
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        st.SetIterationTime(elapsed.count());
        modelOnly.seconds += elapsed.count();
        ++modelOnly.iterations;
    }
    if (setup->model.lvwFiles.rows.size() != kFiles) st.SkipWithError("the load did not list every file");
}

void BM_WindowReload(benchmark::State& st) {
    for (auto _ : st) {
        const auto start = Clock::now();
        setup->load();
        setup->window.render();
        setup->window.lvwFiles()->viewport()->repaint();
        setup->window.tvwFolders()->viewport()->repaint();
        QApplication::processEvents();
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        st.SetIterationTime(elapsed.count());
        wholeWindow.seconds += elapsed.count();
        ++wholeWindow.iterations;
    }
    if (setup->window.lvwFiles()->model()->rowCount() != kFiles) st.SkipWithError("the list does not show every file");
}

// Alternating, so that both meet the same state of the page cache.
BENCHMARK(BM_ModelLoad)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowReload)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelLoad)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowReload)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    mabrel::gui::chooseIconTheme();
    Setup s(argc, argv);
    setup = &s;
    s.load();  // warm: icon theme, mime database, page cache
    s.window.render();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (modelOnly.iterations && wholeWindow.iterations) {
        std::printf("reload of %d files: window %.1f ms, model load alone %.1f ms, ratio window/model %.3f (goal <= 2)\n",
                    kFiles, wholeWindow.mean() * 1e3, modelOnly.mean() * 1e3, wholeWindow.mean() / modelOnly.mean());
    }
    setup = nullptr;
    return 0;
}
