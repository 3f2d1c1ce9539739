// Helpers for the platform tests that need a real unprivileged process or a
// file system property of the test folder.
#pragma once

#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

namespace mabrel::test {

// Runs `body` in a forked child as the user "nobody" (65534): the tests run
// as root, and root ignores permission bits, so permission-denied paths are
// only reachable from an unprivileged process. Returns the child's exit code
// (body's result), or -1 when it died; not root: runs it in a child as is.
inline int runUnprivileged(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 99;
        if (::getuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0)) {
            try {
                code = body();
            } catch (...) {
                code = 98;
            }
        }
        ::_exit(code);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Whether the folder's file system keeps user.* extended attributes (tmpfs
// often does not).
inline bool userXattrsWork(const std::filesystem::path& folder) {
    const auto probe = folder / ".xattr-probe";
    std::FILE* f = std::fopen(probe.c_str(), "w");
    if (!f) return false;
    std::fclose(f);
    const bool ok = ::setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0;
    std::filesystem::remove(probe);
    return ok;
}

}  // namespace mabrel::test
