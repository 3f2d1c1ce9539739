// The Qt main window over a folder of 100,000 files, 100,000 backup copies
// and 50,000 comment records (200,000 rows): the memory it holds per row
// once the person has scrolled through every row, and as the machine counts
// it for the real program (its peak resident set); what a click on a row
// costs, and its whole reload (load, render, paint) against the core's load
// of the same folder.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

#include "bench/bench_support.h"
#include "bench/bench_window.h"
#include "gui/qt/file_list_model.h"
#include "gui/qt/main_window.h"
#include "gui/qt/qt_interaction.h"

namespace {

struct Window {
    std::unique_ptr<mabrel::platform::FileSystem> fs = mabrel::platform::makeNativeFileSystem();
    std::unique_ptr<mabrel::platform::Codec> codec = mabrel::platform::makeNativeCodec();
    mabrel::ProcessState state;
    bench::FixedProcess process;
    mabrel::gui::QtInteraction ui{*fs};
    mabrel::frm_mabrel94 model{state, *fs, *codec, process, ui};
    mabrel::gui::MainWindow window{model, ui};

    Window() {
        window.resize(1280, 800);
        window.show();
        QApplication::processEvents();
    }

    // What the person waits for: the load, and the window showing it.
    double reload(const std::string& folder) {
        state.p_driveAndPath = folder;
        return bench::secondsOf([&] {
            model.fun_Load();
            window.render();
            window.lvwFiles()->viewport()->repaint();
            window.tvwFolders()->viewport()->repaint();
            QApplication::processEvents();
        });
    }

    // Clicks on two rows in turn; the median time of one.
    double medianClick() {
        std::vector<double> clicks;
        for (int i = 0; i < 21; ++i) clicks.push_back(clickAt(i % 2 ? 30 : 66));
        return bench::median(clicks);
    }

    int rowsShown() const { return window.lvwFiles()->model()->rowCount(); }

    void scrollThroughEveryRow() {
        QScrollBar* bar = window.lvwFiles()->verticalScrollBar();
        for (int v = 0; v <= bar->maximum(); v += std::max(1, bar->pageStep())) {
            bar->setValue(v);
            window.lvwFiles()->viewport()->repaint();
        }
        QApplication::processEvents();
    }

    // A left click on the row at this height of the list, as the mouse makes it.
    double clickAt(int y) {
        QWidget* viewport = window.lvwFiles()->viewport();
        const QPoint at(40, y);
        const QPoint global = viewport->mapToGlobal(at);
        return bench::secondsOf([&] {
            QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &press);
            QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &release);
            QApplication::processEvents();
        });
    }
};

// A field "Name:   123 kB" of /proc/<pid>/status, in bytes; -1 when missing.
long long statusBytes(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0) return std::stoll(line.substr(name.size() + 1)) * 1024;
    }
    return -1;
}

// The processor time a process has used so far, in clock ticks.
long long cpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) utime = std::stoll(field);
        if (i == 15) {
            stime = std::stoll(field);
            break;
        }
    }
    return utime + stime;
}

// The real program started on `folder` in a process of its own (with a
// home, settings, runtime and temporary folder of its own), on Qt's
// offscreen platform: its peak resident set size once it has shown the
// folder and gone idle; -1 when it ended or never settled.
long long peakResidentOfProgram(const std::filesystem::path& folder) {
    const auto place = bench::uniqueFolder("gui-program");
    for (const char* sub : {"home", "config", "runtime", "tmp"}) std::filesystem::create_directories(place / sub);
    std::filesystem::permissions(place / "runtime", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    // The environment made before the fork: the child of a process with
    // threads only calls exec.
    std::vector<std::string> settings = {"HOME=" + (place / "home").string(),
                                         "XDG_CONFIG_HOME=" + (place / "config").string(),
                                         "XDG_RUNTIME_DIR=" + (place / "runtime").string(),
                                         "TMPDIR=" + (place / "tmp").string(), "QT_QPA_PLATFORM=offscreen"};
    std::vector<char*> environment;
    for (auto& setting : settings) environment.push_back(setting.data());
    for (char** e = environ; *e; ++e) {
        const std::string_view name(*e, std::strcspn(*e, "="));
        if (name != "HOME" && name != "XDG_CONFIG_HOME" && name != "XDG_RUNTIME_DIR" && name != "TMPDIR" &&
            name != "QT_QPA_PLATFORM") {
            environment.push_back(*e);
        }
    }
    environment.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execle(MABREL_EXECUTABLE, MABREL_EXECUTABLE, folder.c_str(), nullptr, environment.data());
        ::_exit(127);
    }
    long long peak = -1;
    // Idle: no processor time used for a second.
    long long last = -1;
    int still = 0;
    for (int i = 0; i < 1200 && child > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const long long ticks = cpuTicks(child);
        if (ticks < 0) break;
        still = ticks == last ? still + 1 : 0;
        last = ticks;
        if (still >= 10) {
            peak = statusBytes(child, "VmHWM");
            break;
        }
    }
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    bench::removeTree(place);
    return peak;
}

}  // namespace

int main(int, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    mabrel::gui::chooseIconTheme();
    bench::Goals goals;

    bench::LoadFolder folder(100000, "gui100k");
    bench::LoadFolder few(10, "gui10");
    bench::letSettle();
    const auto emptyFolder = bench::uniqueFolder("gui-empty");
    Window w;
    w.reload(few.drive);
    const double clickAmongFew = w.medianClick();
    w.reload(bench::driveForm(emptyFolder));
    const long long heapBefore = bench::heapInUse();
    const long long residentBefore = bench::residentBytes();

    w.reload(folder.drive);
    if (w.rowsShown() != folder.rows() || !w.model.StatusBar1.panelText.size()) {
        std::printf("# the window shows %d rows of %d\n", w.rowsShown(), folder.rows());
        return 1;
    }
    w.scrollThroughEveryRow();
    const double perRow = static_cast<double>(bench::heapInUse() - heapBefore) / folder.rows();
    std::printf("# resident memory grew by %.0f bytes per row\n",
                static_cast<double>(bench::residentBytes() - residentBefore) / folder.rows());
    goals.memory("bytes_per_row_200k", perRow, 600);

    // The real program, as the machine counts its memory: the median of
    // three starts on each folder.
    std::vector<double> withRows, withNone;
    for (int i = 0; i < 3; ++i) {
        withRows.push_back(static_cast<double>(peakResidentOfProgram(folder.native)));
        withNone.push_back(static_cast<double>(peakResidentOfProgram(emptyFolder)));
    }
    if (bench::median(withRows) <= 0 || bench::median(withNone) <= 0) {
        std::printf("# the program did not show the folders\n");
        return 1;
    }
    std::printf("# the program's peak resident set: %.1f MB with %d rows, %.1f MB with none\n",
                bench::median(withRows) / 1e6, folder.rows(), bench::median(withNone) / 1e6);
    goals.memory("rss_bytes_per_row_200k", (bench::median(withRows) - bench::median(withNone)) / folder.rows(), 500);

    const double clickAmongMany = w.medianClick();

    std::printf("# a click on a row: %.2f ms among %d rows, %.2f ms among %d\n", clickAmongFew * 1e3, few.rows(),
                clickAmongMany * 1e3, folder.rows());

    bench::CoreWindow core;
    goals.ratio("gui_load_vs_core_load",
                bench::compare([&] { return w.reload(folder.drive); }, [&] { return core.load(folder.drive); }, 5, 15,
                               60),
                1.3, "window reload", "core load");
    bench::removeTree(emptyFolder);
    return goals.exitCode();
}
