// The real executable in a process of its own: copied into a folder of its
// own, with a settings folder of its own (XDG_CONFIG_HOME), a home and a
// private runtime folder, run as an ordinary account of the team (this
// process being root) with umask 022, started on a prepared folder, ended by
// SIGTERM.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <csignal>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/as_other_user.h"
#include "support/temp_dir.h"
#include "support/x_desktop.h"

namespace mabrel::gui::test {

namespace stdfs = std::filesystem;
using mabrel::test::Account;
using mabrel::test::colleague;
using mabrel::test::giveTo;
using mabrel::test::kTeam;
using mabrel::test::readBytes;
using mabrel::test::shareWithTeam;
using mabrel::test::setModificationTime;
using mabrel::test::TempDir;

// XDG_RUNTIME_DIR apart from any real session: Qt wants it private.
class RuntimeDir : public TempDir {
public:
    RuntimeDir() {
        std::filesystem::permissions(path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);
    }
};

// Where the file list shows row `row` (from 0) in the main window's client
// area at 96 dots per inch, in pixels.
constexpr int kFileRowX = 200;
constexpr int fileRowY(int row) { return 160 + 18 * row; }

// The window title the program shows for a folder.
inline std::string titleFor(const std::string& driveFolder) {
    return " " + QString::fromStdString(driveFolder).toUpper().toStdString();
}

// This process's environment for a program on the X server (or offscreen),
// with no desktop named, so that xdg-open goes by the test's associations.
inline QProcessEnvironment desktopEnvironment(const char* platform = "xcb") {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* var :
         {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "BROWSER"}) {
        env.remove(var);
    }
    env.insert("QT_QPA_PLATFORM", platform);
    return env;
}

// The desktop of the person whose home is `home`, with their desktop
// applications in its data folder.
inline QProcessEnvironment personalDesktop(const TempDir& home) {
    QProcessEnvironment env = desktopEnvironment();
    env.insert("HOME", QString::fromStdString(home.path().string()));
    env.insert("XDG_DATA_HOME", QString::fromStdString((home.path() / "data").string()));
    return env;
}

// What a file holds; the program may write or delete it at any moment.
inline std::string textOf(const stdfs::path& p) {
    try {
        return readBytes(p);
    } catch (const std::exception&) {
        return "(no such file)";
    }
}

// A desktop application of the test's own under `home`'s data folder
// (XDG_DATA_HOME) that writes each file it is given to `log`, a line each:
// the desktop's default for `mimeType`.
inline void recorder(const TempDir& home, const std::string& mimeType, const stdfs::path& log) {
    const stdfs::path script =
        home.write("recorder.sh", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + log.string() + "'\n");
    stdfs::permissions(script, stdfs::perms::owner_all);
    home.write("data/applications/mabrel-test-recorder.desktop",
               "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + script.string() +
                   " %f\nMimeType=" + mimeType + ";\n");
    home.write("data/applications/mimeapps.list",
               "[Default Applications]\n" + mimeType + "=mabrel-test-recorder.desktop\n");
}

// `command` run as `a`: setpriv keeps the environment. Unchanged when this
// process is no root, which runs everything as itself.
inline QStringList asAccount(const Account& a, const QStringList& command) {
    if (::geteuid() != 0) return command;
    QStringList groups;
    for (const gid_t g : a.groups) groups << QString::number(g);
    return QStringList{"setpriv", "--reuid=" + QString::number(a.uid), "--regid=" + QString::number(a.gid),
                       "--groups=" + groups.join(',')} +
           command;
}

class Program {
public:
    explicit Program(const TempDir& runtime, QProcessEnvironment env = desktopEnvironment("offscreen"))
        : runtime_(runtime.path()) {
        std::filesystem::copy_file(MABREL_EXECUTABLE, exe(), std::filesystem::copy_options::overwrite_existing);
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path().string()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((dir.path() / "config").string()));
        // A home of its own unless the test gave one: this process's is not the account's.
        if (env.value("HOME") == qEnvironmentVariable("HOME")) {
            env.insert("HOME", QString::fromStdString(dir.mkdir("home").string()));
        }
        home_ = env.value("HOME").toStdString();
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~Program() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    std::filesystem::path exe() const { return dir.path() / "mabrel9-iv"; }
    std::filesystem::path settings() const { return dir.path() / "config/mabrel9-iv/mabrel9-iv.ini"; }

    void start(const std::filesystem::path& folder) { startWith({QString::fromStdString(folder.string())}); }
    // Starts it with these arguments as its account, its folders, home and
    // runtime folder made the account's; `wrapper`, a command that runs the
    // rest of its arguments, runs first, as this process.
    void startWith(const QStringList& arguments, const QStringList& wrapper = {}) {
        for (const stdfs::path& own : {dir.path(), runtime_, home_}) giveTo(own, account);
        process.setChildProcessModifier([mask = account.umask] { ::umask(mask); });
        QStringList command =
            wrapper + asAccount(account, QStringList{QString::fromStdString(exe().string())} + arguments);
        const QString first = command.takeFirst();
        process.start(first, command);
        ASSERT_TRUE(process.waitForStarted(60000));
    }
    // Waits until the program would close cleanly on SIGTERM: its handler is in place.
    bool waitReady() {
        for (int i = 0; i < 1000 && process.state() == QProcess::Running; ++i) {
            std::ifstream status("/proc/" + std::to_string(process.processId()) + "/status");
            for (std::string line; std::getline(status, line);) {
                if (line.rfind("SigCgt:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1u)
                    return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // Starts it on `folder` and waits until it is ready and shows its window.
    bool show(const std::filesystem::path& folder) {
        start(folder);
        return waitReady() && waitForWindow();
    }
    // Waits for the program's main window on the X server.
    bool waitForWindow(int ms = 60000) {
        return x::waitUntil([&] { return (window = x::visibleWindowOf(process.processId())) != 0; }, ms);
    }
    // Ends it as a log-out would.
    bool terminated() {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        return process.waitForFinished(60000);
    }

    TempDir dir;
    // Whom it runs as; the team's first colleague unless the test says otherwise.
    Account account = colleague(1500);
    QProcess process;
    unsigned long window = 0;

private:
    stdfs::path runtime_, home_;
};

}  // namespace mabrel::gui::test
