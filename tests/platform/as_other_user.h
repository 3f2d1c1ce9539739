// A real child process for the platform tests, root or unprivileged.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

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
    for (long waited = 0; pid > 0 && ::waitpid(pid, &status, WNOHANG) != pid; ++waited) {
        if (waited >= seconds * 100L) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        ::usleep(10000);
    }
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace mabrel::test
