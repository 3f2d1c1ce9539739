// Every user-level operation with each of its file-system calls failing in
// turn, once or for good (a medium that went away), with each error that
// makes sense there, and with each of its copies cancelled at each progress
// report. Whatever fails: no version of a file and no comment is lost,
// backup copies stay complete and read-only, no user file turns read-only,
// nothing temporary stays behind, and every failure the person should know
// of is shown (a cancel shows nothing, opens nothing and changes no file of
// the person's). Prints one summary line; each violation names the
// operation, the failed call, the error and what was lost.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <functional>
#include <set>
#include <tuple>
#include <type_traits>

#include "folderview/comment_file.h"
#include "platform/errors.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/syscalls.h"
#include "platform/text.h"
#include "proof/invariants.h"
#include "proof/person.h"
#include "support/fault_injection.h"

namespace mabrel::test {
namespace {

using namespace proof;
using platform::FaultInjectingFileSystem;
using platform::FsOp;

const char* opName(FsOp op) {
    static constexpr const char* kNames[] = {
        "attributes", "find",     "openDirectory",   "openFolder", "list",        "setAttributes",
        "createCopy", "holdsCopyOf", "copyFile",     "deleteCopy", "readFile",    "writeFileAtomic",
        "removeStaleTemporaries", "driveType", "updateFile", "takenTime", "markTaken", "any"};
    return kNames[static_cast<std::size_t>(op)];
}

// The scripted person, who also notes at which file-system call each folder
// load began and ended.
class Person : public ScriptedInteraction {
public:
    explicit Person(const FaultInjectingFileSystem& fs) : fs_(fs) {}
    void setWaitCursor(bool on) override {
        ScriptedInteraction::setWaitCursor(on);
        if (on) loads.push_back({fs_.calls(FsOp::Any), 1 << 30});
        else if (!loads.empty()) loads.back().second = fs_.calls(FsOp::Any);
    }
    bool inLoad(int call) const {
        return std::ranges::any_of(loads, [call](const auto& l) { return call > l.first && call <= l.second; });
    }
    std::vector<std::pair<int, int>> loads;

private:
    const FaultInjectingFileSystem& fs_;
};

// Versions: a.txt has three (two kept as copies, the present one also as a
// redundant copy), b.txt two, gone.txt only a copy; x.exe is hidden by the
// display filter; sub/ has comments of its own; fresh/ has no backup store.
constexpr char kA1[] = "2021-01-01 01-01-01";
constexpr char kA2[] = "2021-02-02 02-02-02";
constexpr char kA3[] = "2021-03-03 03-03-03";
constexpr char kB1[] = "2022-01-01 01-01-01";
constexpr char kB2[] = "2022-02-02 02-02-02";
constexpr char kC[] = "2023-03-03 03-03-03";
constexpr char kGone[] = "2020-05-05 05-05-05";
constexpr char kX[] = "2020-06-06 06-06-06";
constexpr char kD[] = "2024-04-04 04-04-04";

std::string copyOf(const std::string& base, const std::string& stamp) {
    return std::string(kBackupDir) + "/" + base + "_" + stamp + ".txt";
}

void buildFolders(const TempDir& work, const TempDir& exeDir, const std::string& root) {
    const auto w = work.path();
    put(w / "a.txt", "alpha 3", kA3);
    put(w / copyOf("a", kA1), "alpha 1", kA1, true);
    put(w / copyOf("a", kA2), "alpha 2", kA2, true);
    put(w / copyOf("a", kA3), "alpha 3", kA3, true);  // redundant
    put(w / "b.txt", "bravo 2", kB2);
    put(w / copyOf("b", kB1), "bravo 1", kB1, true);
    put(w / "c.dat", "charlie", kC);
    put(w / "ro.txt", "read-only by choice", kC, true);
    put(w / copyOf("gone", kGone), "gone 1", kGone, true);
    put(w / "x.exe", "hidden by the filter", kX);
    std::string comments = "folder note\r\n";
    for (const auto& [file, stamp, text] : {std::tuple{"a.txt", kA3, "a3"}, {"a.txt", kA1, "a1"}, {"a.txt", kA2, "a2"},
                                            {"b.txt", kB1, "b1"}, {"c.dat", kC, "c"}, {"gone.txt", kGone, "gone"},
                                            {"x.exe", kX, "x"}}) {
        comments += std::string(file) + "_" + stamp + ",on " + text + "\r\n";
    }
    work.write(kCommentFile, comments);
    put(w / "sub/d.txt", "delta", kD);
    work.write(std::string("sub/") + kCommentFile, std::string("sub note\r\nd.txt_") + kD + ",on d\r\n");
    put(w / "fresh/e.txt", "echo", kD);
    putSettings(exeDir.path(), root);
}

struct Folders {
    TempDir exeDir{scratchParent()};
    TempDir work{scratchParent()};
};

// One run of the program over freshly made folders.
struct Run : Folders, Session {
    Run() : Session(exeDir.drivePath(), work.drivePath()) {
        fs = &faults;
        ui = &person;
        buildFolders(work, exeDir, root);
        newWindow();
    }
    const std::string root = work.drivePath();
    FaultInjectingFileSystem faults{*native};
    Person person{faults};
};

struct Operation {
    std::string name;
    std::string startIn;  // relative to the work folder; "" the folder itself
    bool started = true;  // the window is up before the operation
    std::function<void(Run&)> prepare = [](Run&) {};
    std::function<void(Run&)> act;
    // Copies the person deletes on purpose (relative path -> their comment's key).
    std::map<std::string, std::string> deletes;
    // Comments the operation itself sets in the work folder: key -> comment.
    std::map<std::string, std::string> sets;
};

// The comments that must survive, by relative folder: key "" is the folder comment.
using Comments = std::map<std::string, std::map<std::string, std::string>>;

struct Before {
    std::map<std::string, std::string> files;  // relative path -> bytes, copies included
    std::set<std::string> writable;
    Comments comments;
};

std::string driveFolder(const Run& run, const std::string& relative) {
    return relative.empty() ? run.root : run.root + relative + "\\";
}

const std::vector<std::string> kFolders = {"", "sub", "fresh"};

// A folder's comments (key "" the folder comment) as its file holds them, or
// as the window shows them when it shows the folder.
std::map<std::string, std::string> commentsIn(const Run& run, const std::string& folder, bool screen) {
    std::map<std::string, std::string> c;
    if (!screen) {
        const auto bytes = bytesOr(run.work.path() / folder / kCommentFile, "");
        const auto lines = platform::splitLines(platform::decodeText(*run.codec, bytes));
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (auto r = folderview::parseCommentRecord(lines[i])) c[r->key] = r->comment;
        }
        if (!lines.empty()) c[""] = lines.front();
    } else if (run.state.p_driveAndPath == driveFolder(run, folder)) {
        c[""] = run.window->txtFolderComment.text;
        for (const auto& row : run.window->lvwFiles.rows) {
            if (!row.cells[4].empty()) c[row.cells[5]] = row.cells[4];
        }
    }
    return c;
}

Before snapshot(const Run& run) {
    Before b;
    b.files = filesBelow(run.work.path());
    for (const auto& [rel, bytes] : b.files) {
        if (!isInBackupDir(rel) && !isReadOnlyFile(run.work.path() / rel)) b.writable.insert(rel);
    }
    // What the screen shows of a folder is newer than its file.
    for (const auto& folder : kFolders) {
        b.comments[folder] = commentsIn(run, folder, false);
        for (const auto& [k, v] : commentsIn(run, folder, true)) b.comments[folder][k] = v;
    }
    return b;
}

// Checks every invariant; each finding is one text. `screen`: the window may
// still hold what the files do not.
std::vector<std::string> check(const Run& run, const Before& before, const Operation& op, bool screen,
                               bool temporaries) {
    std::vector<std::string> found;
    const auto now = filesBelow(run.work.path());
    std::set<std::string> contents;
    for (const auto& [rel, bytes] : now) contents.insert(bytes);
    std::set<std::string> known;
    for (const auto& [rel, bytes] : before.files) known.insert(bytes);

    for (const auto& [rel, bytes] : before.files) {
        if (op.deletes.contains(rel)) continue;
        if (!contents.contains(bytes)) found.push_back("version lost: \"" + bytes + "\" (was " + rel + ")");
    }
    for (const auto& [rel, bytes] : now) {
        const stdfs::path p = run.work.path() / rel;
        if (isInBackupDir(p)) {
            if (!known.contains(bytes)) found.push_back("incomplete or foreign copy " + rel + ": \"" + bytes + "\"");
            if (!isReadOnlyFile(p)) found.push_back("copy is writable: " + rel);
        } else if (before.writable.contains(rel) && isReadOnlyFile(p)) {
            found.push_back("user file turned read-only: " + rel);
        }
    }
    if (temporaries) {
        for (const auto& t : temporariesBelow(run.work.path())) found.push_back("temporary left: " + t);
        for (const auto& t : temporariesBelow(run.exeDir.path())) found.push_back("temporary left beside the program: " + t);
    }

    Comments expected = before.comments;
    for (const auto& [k, v] : op.sets) expected[""][k] = v;
    for (const auto& [folder, comments] : expected) {
        const auto stored = commentsIn(run, folder, false);
        const auto shown = screen ? commentsIn(run, folder, true) : decltype(stored){};
        for (const auto& [key, comment] : comments) {
            if (key.empty() && comment.empty()) continue;
            // The comment of a copy deleted on purpose goes with it.
            bool deleted = false;
            for (const auto& [copy, itsKey] : op.deletes) deleted |= key == itsKey && !stdfs::exists(run.work.path() / copy);
            if (deleted) continue;
            const bool kept = (stored.contains(key) && stored.at(key) == comment) ||
                              (shown.contains(key) && shown.at(key) == comment);
            if (!kept) {
                found.push_back("comment lost in " + (folder.empty() ? std::string(".") : folder) + ": " +
                                (key.empty() ? std::string("folder comment") : key) + " \"" + comment + "\"");
            }
        }
    }
    return found;
}

// Whether a failed call may pass without a message.
bool silentByDesign(const Run& run, const FaultInjectingFileSystem::Failure& f, const Operation& op) {
    const bool inLoad = run.person.inLoad(f.call);
    // The settings reader and writer, the comment-file save; clearing away
    // what interrupted writes left (a leftover is found by its own check).
    if (f.path.ends_with(".ini") || f.op == FsOp::RemoveStaleTemporaries) return true;
    // The settings folder, and the folders above it where it is made.
    if (f.op == FsOp::OpenDirectory && run.process.exeFolder.rfind(withoutTrailingSeparator(f.path), 0) == 0) return true;
    // Looking for an entry that is not there finds nothing.
    if (f.errorNumber == platform::err::FileNotFound && (f.op == FsOp::Find || f.op == FsOp::List)) return true;
    if (f.path.ends_with(kCommentFile)) return !inLoad || f.errorNumber == platform::err::FileNotFound;
    // A copy found again whose age cannot start anew is left as it is.
    if (f.op == FsOp::MarkTaken) return true;
    if (inLoad) {
        // Whether a copy holds the file's version, and since when, unknown:
        // it is listed, or kept.
        if (f.op == FsOp::HoldsCopyOf || f.op == FsOp::TakenTime) return true;
        // A redundant copy that cannot be deleted stays; a vanished entry is left out.
        const bool copy = f.path.find(std::string("\\") + kBackupDir + "\\") != std::string::npos;
        if (copy && (f.op == FsOp::SetAttributes || f.op == FsOp::DeleteCopy)) return true;
        if (f.errorNumber == platform::err::FileNotFound && f.op == FsOp::Attributes) return true;
        return false;
    }
    // The start folder: one that cannot be checked gives way to the current
    // directory, which the window then shows.
    if (!run.person.loads.empty() && f.call <= run.person.loads.front().first && op.name == "start-up") return true;
    // A missing backup store is made once and the copy taken again.
    if (f.errorNumber == platform::err::PathNotFound &&
        (f.path + f.otherPath).find(kBackupDir) != std::string::npos) {
        return true;
    }
    // Clearing away a temporary is worth trying only; one left over is
    // found by the check for temporaries.
    const auto slash = f.path.find_last_of('\\');
    if (isProgramTemporary(f.path.substr(slash == std::string::npos ? 0 : slash + 1))) return true;
    return false;
}

// --- Faults at the system calls inside the POSIX layer ----------------------

namespace sys {

using platform::posix::realSyscalls;
using platform::posix::Syscalls;

enum class Kind { Errno, Short, EarlyEnd };

struct Plan {
    long at = 0;  // 0: no fault
    Kind kind = Kind::Errno;
    int error = 0;
    bool sticky = false;
};

// What the table below saw and did in one run.
struct Seam {
    Plan plan;
    bool fired = false;
    std::string firedName, firedPath;
    FaultInjectingFileSystem::Failure fsCall{FsOp::Any, {}, {}, 0, 0};  // the file-system call it hit
    const FaultInjectingFileSystem* fs = nullptr;
    std::vector<std::string> names;  // each call's name, in order
    std::map<int, std::string> fdPaths;
};
Seam seam;

std::string pathOf(int fd) {
    const auto it = seam.fdPaths.find(fd);
    return it == seam.fdPaths.end() ? std::string() : it->second;
}

// Before each call: the fault it meets, if any.
const Plan* enter(const char* name, const std::string& path) {
    seam.names.push_back(name);
    const Plan& p = seam.plan;
    const auto call = static_cast<long>(seam.names.size());
    if (p.at == 0 || (p.sticky ? call < p.at : call != p.at)) return nullptr;
    if (!seam.fired) {
        seam.fired = true;
        seam.firedName = name;
        seam.firedPath = path;
        seam.fsCall = seam.fs->lastCall();
    }
    return &p;
}
const Syscalls& real() { return realSyscalls(); }

template <class R>
R failed() {
    if constexpr (std::is_pointer_v<R>) return nullptr;
    else return R(-1);
}
#define FAIL_OR(v, R)                          \
    if ((v) && (v)->kind == Kind::Errno) {     \
        errno = (v)->error;                    \
        return failed<R>();                    \
    }

// The variadic arguments: a mode where the call may create a file, a pointer.
#define MODE_ARG(flags)                                                                    \
    va_list ap;                                                                            \
    va_start(ap, flags);                                                                   \
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, int) : 0; \
    va_end(ap)
#define POINTER_ARG(last)  \
    va_list ap;            \
    va_start(ap, last);    \
    void* arg = va_arg(ap, void*); \
    va_end(ap)

int opened(const Plan* v, const std::string& shown, const std::function<int()>& call) {
    FAIL_OR(v, int);
    const int fd = call();
    if (fd >= 0) seam.fdPaths[fd] = shown;
    return fd;
}
int open(const char* path, int flags, ...) {
    MODE_ARG(flags);
    return opened(enter("open", path), path, [&] { return real().open(path, flags, mode); });
}
int openat(int dir, const char* path, int flags, ...) {
    MODE_ARG(flags);
    const std::string shown = pathOf(dir) + "/" + path;
    return opened(enter("openat", shown), shown, [&] { return real().openat(dir, path, flags, mode); });
}
int close(int fd) {
    const Plan* v = enter("close", pathOf(fd));
    seam.fdPaths.erase(fd);
    const int rc = real().close(fd);
    FAIL_OR(v, int);
    return rc;
}
// Calls that move bytes: a fault may also cut the count or end the file early.
#define COUNTED(name, params, fd, args)                                   \
    ssize_t name params {                                                 \
        const Plan* v = enter(#name, pathOf(fd));                         \
        FAIL_OR(v, ssize_t);                                              \
        if (v && v->kind == Kind::EarlyEnd) return 0;                     \
        const size_t n = v && v->kind == Kind::Short && c > 1 ? c / 2 : c; \
        return real().name args;                                          \
    }
COUNTED(read, (int fd, void* b, size_t c), fd, (fd, b, n))
COUNTED(pread, (int fd, void* b, size_t c, off_t o), fd, (fd, b, n, o))
COUNTED(write, (int fd, const void* b, size_t c), fd, (fd, b, n))
COUNTED(pwrite, (int fd, const void* b, size_t c, off_t o), fd, (fd, b, n, o))
COUNTED(copy_file_range, (int in, off64_t* io, int fd, off64_t* oo, size_t c, unsigned f), fd, (in, io, fd, oo, n, f))
int ioctl(int fd, unsigned long request, ...) {
    POINTER_ARG(request);
    const Plan* v = enter("ioctl", pathOf(fd));
    FAIL_OR(v, int);
    return real().ioctl(fd, request, arg);
}
DIR* opendir(const char* path) {
    const Plan* v = enter("opendir", path);
    FAIL_OR(v, DIR*);
    DIR* d = real().opendir(path);
    if (d) seam.fdPaths[::dirfd(d)] = path;
    return d;
}
int closedir(DIR* d) {
    const Plan* v = enter("closedir", pathOf(::dirfd(d)));
    seam.fdPaths.erase(::dirfd(d));
    const int rc = real().closedir(d);
    FAIL_OR(v, int);
    return rc;
}

// The rest fail or pass: no counts to cut.
#define PLAIN(ret, name, params, args, path) \
    ret name params {                          \
        const Plan* v = enter(#name, path);    \
        FAIL_OR(v, ret);                       \
        return real().name args;               \
    }
PLAIN(DIR*, fdopendir, (int fd), (fd), pathOf(fd))
PLAIN(struct dirent*, readdir, (DIR* d), (d), pathOf(::dirfd(d)))
PLAIN(int, fsync, (int fd), (fd), pathOf(fd))
PLAIN(int, ftruncate, (int fd, off_t l), (fd, l), pathOf(fd))
PLAIN(int, stat, (const char* p, struct stat* st), (p, st), p)
PLAIN(int, lstat, (const char* p, struct stat* st), (p, st), p)
PLAIN(int, fstat, (int fd, struct stat* st), (fd, st), pathOf(fd))
PLAIN(int, fstatat, (int d, const char* p, struct stat* st, int f), (d, p, st, f), pathOf(d) + "/" + p)
PLAIN(int, renameat, (int da, const char* a, int db, const char* b), (da, a, db, b), pathOf(db) + "/" + b)
PLAIN(int, linkat, (int da, const char* a, int db, const char* b, int f), (da, a, db, b, f), pathOf(db) + "/" + b)
PLAIN(int, unlinkat, (int d, const char* p, int f), (d, p, f), pathOf(d) + "/" + p)
PLAIN(int, mkdirat, (int d, const char* p, mode_t m), (d, p, m), pathOf(d) + "/" + p)
PLAIN(int, fchmod, (int fd, mode_t m), (fd, m), pathOf(fd))
PLAIN(int, futimens, (int fd, const struct timespec t[2]), (fd, t), pathOf(fd))
PLAIN(ssize_t, getxattr, (const char* p, const char* n, void* val, size_t s), (p, n, val, s), p)
PLAIN(ssize_t, fgetxattr, (int fd, const char* n, void* val, size_t s), (fd, n, val, s), pathOf(fd))
PLAIN(int, fsetxattr, (int fd, const char* n, const void* val, size_t s, int f), (fd, n, val, s, f), pathOf(fd))
PLAIN(int, renameat2, (int da, const char* a, int db, const char* b, unsigned f), (da, a, db, b, f), pathOf(db) + "/" + b)
PLAIN(int, utimensat, (int d, const char* p, const struct timespec t[2], int f), (d, p, t, f), pathOf(d) + "/" + p)
PLAIN(int, fchmodat, (int d, const char* p, mode_t m, int f), (d, p, m, f), pathOf(d) + "/" + p)
int fcntl(int fd, int command, ...) {
    POINTER_ARG(command);
    const Plan* v = enter("fcntl", pathOf(fd));
    FAIL_OR(v, int);
    return real().fcntl(fd, command, arg);
}

const Syscalls kTable = {open,    openat,   close,   read,     pread,    write,    pwrite,  copy_file_range,
                         ioctl,   fsync,    ftruncate, stat,   lstat,    fstat,    fstatat, opendir,
                         fdopendir, readdir, closedir, renameat, linkat,  unlinkat, mkdirat, fchmod,
                         futimens, getxattr, fgetxattr, fsetxattr, fcntl, renameat2, utimensat, fchmodat};

// The table in place for the lifetime of one of these.
struct Installed {
    explicit Installed(const Plan& plan, const FaultInjectingFileSystem& fs) {
        seam = Seam{};
        seam.plan = plan;
        seam.fs = &fs;
        platform::posix::sys() = kTable;
    }
    ~Installed() { platform::posix::sys() = realSyscalls(); }
};

// The faults that make sense for a call: errors it can meet, and short or
// early-ended counts where it moves bytes; EIO for the rest.
struct CallFaults {
    std::set<std::string> names;
    std::vector<int> errors;
    std::vector<Kind> counts = {};
};
const CallFaults kCallFaults[] = {
    {{"open", "openat"}, {EACCES, ENOSPC, EIO, ENOENT, ENOTDIR}},
    {{"stat", "lstat", "fstatat", "opendir", "fdopendir", "getxattr"}, {EACCES, EIO, ENOENT}},
    {{"renameat", "renameat2", "linkat", "unlinkat", "mkdirat"}, {EACCES, ENOSPC, EIO, ENOENT}},
    {{"fchmod", "fchmodat", "futimens", "utimensat", "fsetxattr"}, {EPERM, EIO}},
    {{"fcntl"}, {ENOLCK, EIO}},  // a lock: the file system keeps none, or it fails
    {{"write", "pwrite"}, {EIO, ENOSPC}, {Kind::Short}},
    {{"copy_file_range"}, {EIO, ENOSPC}, {Kind::Short, Kind::EarlyEnd}},
    {{"fsync", "ftruncate", "close"}, {EIO, ENOSPC}},
    {{"read", "pread"}, {EIO}, {Kind::Short, Kind::EarlyEnd}},
};

std::vector<Plan> faultsFor(const std::string& name, long at) {
    CallFaults f{{}, {EIO}};
    for (const auto& row : kCallFaults) {
        if (row.names.contains(name)) f = row;
    }
    std::vector<Plan> plans;
    for (bool sticky : {false, true}) {
        for (int e : f.errors) plans.push_back({at, Kind::Errno, e, sticky});
        for (Kind k : f.counts) plans.push_back({at, k, 0, sticky});
    }
    // Another instance holds the lock for a moment.
    if (name == "fcntl") plans.push_back({at, Kind::Errno, EAGAIN, false});
    return plans;
}

std::string describe(const Plan& p) {
    std::string what = p.kind == Kind::Short      ? std::string("short count")
                       : p.kind == Kind::EarlyEnd ? std::string("early end of file")
                                                  : std::string(strerrorname_np(p.error));
    return what + (p.sticky ? " for good" : " once");
}

}  // namespace sys

// Whether a failed system call may pass without a message (besides those
// that changed nothing): as the file-system call it hit, with the error
// number that call reports for it.
bool silentSystemCall(const Run& run, const sys::Seam& s, const Operation& op) {
    auto f = s.fsCall;
    // In a folder that is there, as it always is here.
    const int error = s.plan.kind == sys::Kind::Errno ? s.plan.error : EIO;
    f.errorNumber = platform::posix::errorNumberFor(error, (run.work.path() / "x").string());
    // An entry of a folder that cannot be looked at is left out of the list.
    if (run.person.inLoad(f.call) && f.op == FsOp::List && s.firedName == "fstatat") return true;
    // DOS attributes beyond read-only are kept only where the file system can.
    if (s.firedName.find("xattr") != std::string::npos) return true;
    return silentByDesign(run, f, op);
}

struct Outcome {
    bool reached = false;
    std::vector<std::string> calls;  // the system calls made
    std::string end;                 // what the run ended with (endState)
    std::string failedCall;          // the first call failed: operation and path
    std::vector<std::string> violations;
};

constexpr int kErrors[] = {platform::err::PermissionDenied, platform::err::DiskFull, platform::err::DeviceIo,
                           platform::err::FileNotFound, platform::err::PathNotFound};

// What a run ends with, to tell a failure that changed nothing (a retry, a
// fallback) from one that did.
std::string endState(const Run& run) {
    std::string out;
    for (const auto& [rel, bytes] : filesBelow(run.work.path())) out += rel + "=" + bytes + "\n";
    for (const auto& folder : kFolders) out += folder + ":" + bytesOr(run.work.path() / folder / kCommentFile, "<none>") + "\n";
    std::string settings = bytesOr(run.exeDir.path() / "mabrel9-iv.ini", "<none>");
    if (const auto at = settings.find(run.root); at != std::string::npos) settings.replace(at, run.root.size(), "<root>");
    out += settings;
    for (const auto& row : run.window->lvwFiles.rows) {
        for (const auto& c : row.cells) out += c + "|";
    }
    out += run.window->txtFolderComment.text + "|" + std::to_string(run.person.shellRequests.size());
    return out + run.state.p_driveAndPath.substr(std::min(run.root.size(), run.state.p_driveAndPath.size()));
}

// One run: the operation with call `n` failing (0: none), or the system call
// of `plan` (`cleanEnd`: how the run ends without it), or cancelled at
// progress report `cancelAt`; then the person carries on with everything
// working again (refresh and exit, or a new start).
Outcome runOnce(const Operation& op, int n, int error, bool sticky, const sys::Plan& plan = {},
                const std::string& cleanEnd = "", std::size_t cancelAt = 0) {
    Outcome out;
    Run run;
    run.process.commandLineText = driveFolder(run, op.startIn);
    if (op.started) {
        run.window->Form_Load();
        op.prepare(run);
    }
    const Before before = snapshot(run);
    const std::size_t messagesBefore = run.person.messages.size();
    const std::size_t shellBefore = run.person.shellRequests.size();
    if (n > 0) {
        if (sticky) run.faults.failFromNthCall(FsOp::Any, n, error);
        else run.faults.failNthCall(FsOp::Any, n, error);
    }
    if (cancelAt > 0) {
        run.person.cancelWhen = [&ui = run.person, cancelAt](const ProgressReport&) {
            return ui.progressReports.size() == cancelAt;
        };
    }
    {
        const sys::Installed seam(plan, run.faults);
        op.act(run);
    }
    run.faults.clear();
    run.person.cancelWhen = nullptr;
    const auto& failures = run.faults.failures();
    out.reached = !failures.empty() || sys::seam.fired || (cancelAt > 0 && run.person.progressReports.size() >= cancelAt);
    out.calls = sys::seam.names;
    // Paths, in drive or native form, without the random names of the
    // test's folders and temporaries.
    auto relative = [&](std::string path) {
        const std::pair<std::string, std::string> bases[] = {
            {run.root, ""}, {run.exeDir.drivePath(), "<program folder>\\"},
            {run.work.path().string(), ""}, {run.exeDir.path().string(), "<program folder>"}};
        for (const auto& [base, shown] : bases) {
            if (path.rfind(base, 0) == 0) path = shown + path.substr(base.size());
        }
        if (const auto t = path.find("~_mabre-tmp-"); t != std::string::npos) path = path.substr(0, t + 12) + "*";
        if (path.size() > 1 && path.back() == '~') path = path.substr(0, path.rfind('.')) + ".*~";
        return path;
    };
    if (!failures.empty()) out.failedCall = std::string(opName(failures[0].op)) + " " + relative(failures[0].path);
    if (sys::seam.fired) out.failedCall = sys::seam.firedName + " " + relative(sys::seam.firedPath);

    // The person edits what the desktop opened: its old version must be a copy by now.
    for (std::size_t i = shellBefore; i < run.person.shellRequests.size(); ++i) {
        const std::string& file = run.person.shellRequests[i].file;
        if (file.find(kBackupDir) != std::string::npos || file.rfind(run.root, 0) != 0) continue;
        std::string rel = file.substr(run.root.size());
        std::replace(rel.begin(), rel.end(), '\\', '/');
        if (const auto p = run.work.path() / rel; stdfs::exists(p)) put(p, "edited after open", "2025-05-05 05-05-05");
    }

    out.end = endState(run);
    for (auto& v : check(run, before, op, true, !sticky)) out.violations.push_back(relative(v));
    if (cancelAt > 0 && out.reached) {
        // Cancelled: ended as a failure would, but nothing to read about,
        // nothing opened and no file of the person's changed.
        out.failedCall = "progress report " + std::to_string(cancelAt);
        if (run.person.messages.size() != messagesBefore) out.violations.push_back("message after a cancel");
        if (run.person.shellRequests.size() != shellBefore) out.violations.push_back("opened after a cancel");
        for (const auto& [rel, bytes] : before.files) {
            if (!isInBackupDir(run.work.path() / rel) && bytesOr(run.work.path() / rel, "<none>") != bytes) {
                out.violations.push_back("changed after a cancel: " + rel);
            }
        }
    }
    if (run.person.messages.size() == messagesBefore && sys::seam.fired && out.end != cleanEnd &&
        !silentSystemCall(run, sys::seam, op)) {
        out.violations.push_back("failure not shown: " + out.failedCall);
    }
    for (const auto& f : failures) {
        if (run.person.messages.size() == messagesBefore && !silentByDesign(run, f, op)) {
            out.violations.push_back(std::string("failure not shown: ") + opName(f.op) + " " + relative(f.path));
        }
    }

    // Later, with everything working.
    if (run.person.endProgramCalls > 0) run.newWindow().Form_Load();
    else if (op.started) run.window->cmdUpdate_Click();
    run.window->cmdExit_Click();
    for (auto& v : check(run, before, op, false, true)) out.violations.push_back("afterwards, " + relative(v));
    return out;
}

std::vector<Operation> operations() {
    std::vector<Operation> ops;
    auto add = [&](std::string name, std::function<void(Run&)> act) -> Operation& {
        ops.emplace_back();
        ops.back().name = std::move(name);
        ops.back().act = std::move(act);
        return ops.back();
    };
    auto typeFolderComment = [](Run& r) { r.window->txtFolderComment.text = "typed folder note"; };

    add("start-up", [](Run& r) { r.window->Form_Load(); }).started = false;
    add("load", [](Run& r) { r.window->fun_Load(); }).prepare = [](Run& r) {
        put(r.work.path() / copyOf("a", kA3), "alpha 3", kA3, true);  // redundant again
    };
    add("open", [](Run& r) { r.window->fun_aOpen(r.rowOf("b.txt")); }).prepare = typeFolderComment;
    add("open (no backup store yet)", [](Run& r) { r.window->fun_aOpen(r.rowOf("e.txt")); }).startIn = "fresh";
    add("open (its copy there)", [](Run& r) { r.window->fun_aOpen(r.rowOf("b.txt")); }).prepare = [](Run& r) {
        put(r.work.path() / copyOf("b", kB2), "bravo 2", kB2, true);
    };
    add("restore", [](Run& r) { r.menu({r.rowOf("a.txt", kA1)}, frm_rclick::kRestore); }).prepare = typeFolderComment;
    auto& del = add("delete", [](Run& r) {
        r.menu({r.rowOf("a.txt", kA1), r.rowOf("b.txt", kB1), r.rowOf("c.dat")}, frm_rclick::kDelete);
    });
    del.prepare = typeFolderComment;
    del.deletes = {{copyOf("a", kA1), std::string("a.txt_") + kA1},
                   {copyOf("b", kB1), std::string("b.txt_") + kB1}};
    auto commentOnA2 = [](Run& r) {
        r.person.inputAnswers.push_back("new on a2");
        r.menu({r.rowOf("a.txt", kA2)}, frm_rclick::kComment);
    };
    auto& comment = add("comment", commentOnA2);
    comment.prepare = typeFolderComment;
    comment.sets[std::string("a.txt_") + kA2] = "new on a2";
    // Another instance on the same folder stored comments after this one
    // read it: the save writes this one's change over them.
    auto& over = add("comment over another's", commentOnA2);
    over.prepare = [](Run& r) {
        Session other(r.exeDir.drivePath(), r.root);
        other.newWindow().Form_Load();
        other.window->lvwFiles.rows.at(static_cast<std::size_t>(other.rowOf("b.txt"))).cells[4] = "other on b";
        other.window->saveCommentFile();
    };
    over.sets[std::string("a.txt_") + kA2] = "new on a2";
    // Reads only: a failure is shown, nothing changes.
    add("compare", [](Run& r) { r.menu({r.rowOf("a.txt", kA1)}, frm_rclick::kCompare); });
    add("settings", [](Run& r) { r.window->writeSettingsFile(); });
    add("navigate", [](Run& r) {
        for (int i = 1; i <= r.window->tvwFolders.count(); ++i) {
            if (r.window->tvwFolders.node(i).text == "sub") return r.window->tvwFolders_NodeClick(i);
        }
    }).prepare = typeFolderComment;
    add("refresh", [](Run& r) { r.window->cmdUpdate_Click(); }).prepare = typeFolderComment;
    add("exit", [](Run& r) { r.window->cmdExit_Click(); }).prepare = typeFolderComment;
    return ops;
}

TEST(FaultSweep, NothingIsLostWhicheverCallFails) {
    int runs = 0;
    std::size_t violations = 0;
    // Findings grouped by operation, failed call and what was found; the
    // errors and modes that gave each.
    std::map<std::string, std::vector<std::string>> grouped;
    auto record = [&](const Outcome& o, const std::string& where, const std::string& how) {
        ++runs;
        violations += o.violations.size();
        for (const auto& v : o.violations) grouped[where + ": " + v].push_back(how);
    };
    const auto ops = operations();
    int systemRuns = 0, cancelRuns = 0;
    for (const auto& op : ops) {
        const auto clean = runOnce(op, 0, 0, false);
        record(clean, op.name + ", no failure", "-");
        // A sweep that injected nothing into an operation proves nothing of it.
        int injected = 0, injectedBelow = 0;
        for (bool sticky : {false, true}) {
            for (int error : kErrors) {
                for (int n = 1; n < 400; ++n) {
                    const auto o = runOnce(op, n, error, sticky);
                    record(o, op.name + ", call " + std::to_string(n) + " (" + o.failedCall + ")",
                           std::to_string(error) + (sticky ? " for good" : " once"));
                    if (!o.reached) break;
                    ++injected;
                }
            }
        }
        // The same at the system calls inside the POSIX layer.
        for (std::size_t at = 1; at <= clean.calls.size(); ++at) {
            for (const auto& plan : sys::faultsFor(clean.calls[at - 1], static_cast<long>(at))) {
                const auto o = runOnce(op, 0, 0, plan.sticky, plan, clean.end);
                ++systemRuns;
                injectedBelow += o.reached;
                record(o, op.name + ", system call " + std::to_string(at) + " (" + o.failedCall + ")",
                       sys::describe(plan));
            }
        }
        // The person cancels each copy at each of its progress reports in turn.
        for (std::size_t at = 1;; ++at) {
            const auto o = runOnce(op, 0, 0, false, {}, "", at);
            if (!o.reached) break;
            ++cancelRuns;
            record(o, op.name + ", cancelled at " + o.failedCall, "-");
        }
        if (injected == 0) grouped[op.name + ": no file-system call failed"].push_back("-");
        if (injectedBelow == 0) grouped[op.name + ": no system call failed"].push_back("-");
        violations += (injected == 0) + (injectedBelow == 0);
    }
    std::printf("(%d of the runs failed a system call, %d cancelled a copy)\n", systemRuns, cancelRuns);
    for (const auto& [what, how] : grouped) {
        std::string errors;
        for (const auto& h : how) errors += (errors.empty() ? "" : ", ") + h;
        std::printf("violation: %s [err %s]\n", what.c_str(), errors.c_str());
    }
    std::printf("fault sweep: %zu operations, %d runs, %zu violations\n", ops.size(), runs, violations);
    EXPECT_EQ(violations, 0u);
}

}  // namespace
}  // namespace mabrel::test
