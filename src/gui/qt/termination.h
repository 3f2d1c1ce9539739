// Ends the program cleanly when the system asks it to (log-out, kill): the
// termination signals reach the Qt event loop through a socket pair, and the
// main window then closes as through its title bar, so its unload steps run.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace mabrel::gui {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers for SIGTERM, SIGHUP and SIGINT (none on Windows).
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace mabrel::gui
