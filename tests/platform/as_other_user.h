// A real child process for the platform tests, root or unprivileged.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "support/wait.h"

namespace mabrel::test {

// Runs `body` in a forked child, as "nobody" (65534) when `asNobody` and
// root (root ignores permission bits). Returns body's result, or -1 when the
// child died or was not done within `seconds` (then it is killed).
inline int runInChild(const std::function<int()>& body, bool asNobody, int seconds = 600) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 99;
        try {
            if (!asNobody || ::getuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0)) code = body();
        } catch (...) {
            code = 98;
        }
        ::_exit(code);
    }
    int status = 0;
    if (pid > 0 && !waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, seconds)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace mabrel::test
