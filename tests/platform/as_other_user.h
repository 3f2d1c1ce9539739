// A real child process for the platform tests, root or unprivileged.
#pragma once

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/wait.h"

namespace mabrel::test {

// An ordinary account: its user, its own group, the other groups it is a
// member of, and the umask it works with.
struct Account {
    uid_t uid = 65534;
    gid_t gid = 65534;
    std::vector<gid_t> groups;
    mode_t umask = 022;
};

// A team: colleagues with accounts of their own in one group, whose folders
// (setgid, group-writable) they share.
inline constexpr gid_t kTeam = 1700;
inline Account colleague(uid_t uid, mode_t umask = 022) { return {uid, uid, {kTeam}, umask}; }

// Makes `top` and everything below it `a`'s, in the team's group (this
// process being root; else it changes nothing).
inline void giveTo(const std::filesystem::path& top, const Account& a) {
    if (::geteuid() != 0) return;
    [[maybe_unused]] int rc = ::lchown(top.c_str(), a.uid, kTeam);
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(top, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        rc = ::lchown(it->path().c_str(), a.uid, kTeam);
    }
}
// Makes `folder` a folder of the team (setgid, group-writable), with what
// it holds so far made by `by`.
inline void shareWithTeam(const std::filesystem::path& folder, const Account& by) {
    giveTo(folder, by);
    ::chmod(folder.c_str(), 02775);
}

// Becomes `a` for good (a child process of root).
inline bool become(const Account& a) {
    ::umask(a.umask);
    return ::setgroups(a.groups.size(), a.groups.data()) == 0 && ::setgid(a.gid) == 0 && ::setuid(a.uid) == 0;
}

// Runs `body` in a forked child as `as` when this is root, else as this
// account. Returns body's result, or -1 when the child died or was not
// done within `seconds` (then it is killed).
inline int runInChild(const std::function<int()>& body, const Account* as, int seconds = 600) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 99;
        try {
            if (!as || ::getuid() != 0 || become(*as)) code = body();
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

// As "nobody" (65534) when `asNobody`, else as root (root ignores permission bits).
inline int runInChild(const std::function<int()>& body, bool asNobody, int seconds = 600) {
    const Account nobody;
    return runInChild(body, asNobody ? &nobody : nullptr, seconds);
}

}  // namespace mabrel::test
