// The scripted person in the main window's model, and the processes the
// proof tests start.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/frm_mabrel94.h"
#include "app/window_fixture.h"
#include "backup/frm_rclick.h"
#include "platform/as_other_user.h"
#include "support/wait.h"

extern char** environ;

namespace mabrel::test::proof {

// The row of `name`: a file row, or a backup row (of the version `stamp`
// when given); -1 for none.
inline int rowOf(const frm_mabrel94& w, const std::string& name, bool backup, const std::string& stamp = "") {
    for (std::size_t i = 0; i < w.lvwFiles.rows.size(); ++i) {
        const auto& c = w.lvwFiles.rows[i].cells;
        if (c[0] == name && (c[3] == "*") == backup && (stamp.empty() || c[1] == stamp)) return static_cast<int>(i);
    }
    return -1;
}

// Right-click with these rows selected (missing rows are left out), pressing `button`.
inline void menu(frm_mabrel94& w, ScriptedInteraction& ui, const std::vector<int>& rows, int button) {
    for (auto& r : w.lvwFiles.rows) r.selected = false;
    w.lvwFiles.selectedItem = -1;
    for (int r : rows) {
        if (r < 0) continue;
        w.lvwFiles.rows[static_cast<std::size_t>(r)].selected = true;
        if (w.lvwFiles.selectedItem < 0) w.lvwFiles.selectedItem = r;
    }
    ui.rclickScripts.push_back([button](frm_rclick& m) { m.Command1_Click(button); });
    w.lvwFiles_MouseUp(kRightButton, 0, 1, 1);
}

// The messages shown since the `from`th, one a line.
inline std::string messagesSince(const ScriptedInteraction& ui, std::size_t from = 0) {
    std::string out;
    for (std::size_t i = from; i < ui.messages.size(); ++i) out += ui.messages[i] + "\n";
    return out;
}

// One run of the program on `folder` (drive form), its settings in `exe`;
// `fs` and `ui` may be replaced before the first newWindow().
struct Session {
    Session(const std::string& exe, const std::string& folder) {
        process.exeFolder = withoutTrailingSeparator(exe);
        process.commandLineText = folder;
        process.currentDir = withoutTrailingSeparator(folder);
    }
    frm_mabrel94& newWindow() {
        state = ProcessState{};
        window = std::make_unique<frm_mabrel94>(state, *fs, *codec, process, *ui);
        return *window;
    }
    int rowOf(const std::string& name, const std::string& stamp = "") const {
        return proof::rowOf(*window, name, !stamp.empty(), stamp);
    }
    void menu(const std::vector<int>& rows, int button) { proof::menu(*window, *ui, rows, button); }
    std::unique_ptr<platform::FileSystem> native = platform::makeNativeFileSystem();
    std::unique_ptr<platform::Codec> codec = platform::makeNativeCodec();
    platform::FileSystem* fs = native.get();
    ScriptedInteraction scripted;
    ScriptedInteraction* ui = &scripted;
    ProcessState state;
    TestProcess process;
    std::unique_ptr<frm_mabrel94> window;
};

struct Child {
    pid_t pid = -1;
    int status = 0;
    bool killed() const { return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL; }
    bool succeeded() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

// Starts a program with these variables added to the environment; stderr to
// /dev/null when `quiet`; as the account `as` when given (this process being
// root).
inline Child spawn(const std::vector<std::string>& args, const std::map<std::string, std::string>& extraEnv = {},
                   bool quiet = false, const Account* as = nullptr) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string kv = *e;
        if (!extraEnv.contains(kv.substr(0, kv.find('=')))) env.push_back(kv);
    }
    for (const auto& [k, v] : extraEnv) env.push_back(k + "=" + v);
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    Child c;
    c.pid = ::fork();
    if (c.pid == 0) {
        if (quiet) ::dup2(::open("/dev/null", O_WRONLY), 2);
        if (as && ::geteuid() == 0 && !become(*as)) ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    return c;
}

// Waits for the child; kills it after `seconds`.
inline void wait(Child& c, double seconds = 60) {
    if (!waitFor([&] { return ::waitpid(c.pid, &c.status, WNOHANG) != 0; }, seconds)) {
        ::kill(c.pid, SIGKILL);
        ::waitpid(c.pid, &c.status, 0);
    }
}

}  // namespace mabrel::test::proof
