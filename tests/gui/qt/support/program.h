// The real executable in a process of its own: copied into a folder of its
// own, with a settings folder of its own (XDG_CONFIG_HOME), started on a
// prepared folder, ended by the system's termination signal.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace mabrel::gui::test {

// Whether the process catches SIGTERM yet: its handler is in place.
inline bool catchesTerm(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0) {
            const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            return (mask >> (SIGTERM - 1)) & 1u;
        }
    }
    return false;
}

// XDG_RUNTIME_DIR for a started program, apart from any real session: Qt
// wants it private.
class RuntimeDir : public mabrel::test::TempDir {
public:
    RuntimeDir() {
        std::filesystem::permissions(path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
    }
};

class Program {
public:
    // runtime: XDG_RUNTIME_DIR, where the single-instance claim lives, apart
    // from any real session. env: the rest of the environment; by default
    // this process's on Qt's offscreen platform.
    explicit Program(const mabrel::test::TempDir& runtime, QProcessEnvironment env = offscreenEnvironment()) {
        std::filesystem::copy_file(MABREL_EXECUTABLE, exe(), std::filesystem::copy_options::overwrite_existing);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.path().string()));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString((dir.path() / "config").string()));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~Program() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    static QProcessEnvironment offscreenEnvironment() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    std::filesystem::path exe() const { return dir.path() / "mabrel9-iv"; }
    std::filesystem::path settings() const { return dir.path() / "config/mabrel9-iv/mabrel9-iv.ini"; }

    void start(const std::filesystem::path& folder) {
        process.start(QString::fromStdString(exe().string()), {QString::fromStdString(folder.string())});
        ASSERT_TRUE(process.waitForStarted(10000));
    }
    // Waits until the program would close cleanly on SIGTERM.
    bool waitReady() {
        for (int i = 0; i < 1000 && process.state() == QProcess::Running; ++i) {
            if (catchesTerm(process.processId())) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void terminate() { ::kill(static_cast<pid_t>(process.processId()), SIGTERM); }

    mabrel::test::TempDir dir;
    QProcess process;
};

}  // namespace mabrel::gui::test
