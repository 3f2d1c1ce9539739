// mabrel9-iv: keeps earlier versions of a person's files beside them.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string>
#include <vector>

#include "app/frm_mabrel94.h"
#include "app/process_state.h"
#include "app/startup.h"
#include "gui/qt/gui_util.h"
#include "gui/qt/main_window.h"
#include "gui/qt/qt_interaction.h"
#include "gui/qt/termination.h"
#include "platform/native.h"

int main(int argc, char** argv) {
    // --help and --version answer on the terminal; no window, no display needed.
    if (const auto answer = mabrel::app::terminalAnswer(std::vector<std::string>(argv + 1, argv + argc))) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    // The command line belongs to the program (a folder or file to show), so
    // Qt is handed the program name only.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    mabrel::gui::useJapanese();
    QApplication::setApplicationName(QStringLiteral("mabrel9-iv"));
    mabrel::gui::chooseIconTheme();
    // The application's own picture, as the desktop entry and the help page
    // show it; carried inside the executable.
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/mabrel9-iv-48.png"));
    icon.addFile(QStringLiteral(":/icons/mabrel9-iv-256.png"));
    QApplication::setWindowIcon(icon);

    auto fs = mabrel::platform::makeNativeFileSystem();
    auto codec = mabrel::platform::makeNativeCodec();
    auto process = mabrel::platform::makeNativeProcess(argc, argv);

    mabrel::ProcessState state;
    mabrel::gui::QtInteraction ui(*fs);
    mabrel::frm_mabrel94 model(state, *fs, *codec, *process, ui);
    mabrel::gui::MainWindow window(model, ui);

    QObject::connect(&window, &mabrel::gui::MainWindow::programEnded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    mabrel::gui::TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &mabrel::gui::TerminationSignals::terminationRequested, &window,
                     &mabrel::gui::MainWindow::closeFromSystem);

    // A second instance ends here, having shown, read and written nothing.
    if (!window.start()) return 0;
    if (window.ended()) return 0;
    return QApplication::exec();
}
