// The Qt main window over a folder of 100,000 files, 100,000 backup copies
// and 50,000 comment records (200,000 rows): the memory it holds per row
// once the person has scrolled through every row, what a click on a row
// costs, and its whole reload (load, render, paint) against the core's load
// of the same folder.
#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>

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
