// Loaded with LD_PRELOAD: counts the file-system calls a process makes on
// the folders it is told about and kills the process with SIGKILL right
// before or right after the nth of them, as a power cut or a crash would.
//
//   MABREL_CRASH_ROOTS   native folders whose files count, ":"-separated
//   MABREL_CRASH_AT      the call to die at (1 = the first); unset: never
//   MABREL_CRASH_WHEN    "before" (the call never happens) or "after"
//   MABREL_CRASH_ARMED   "0": nothing counts until the process calls
//                        mabrel_crash_arm() (found with dlsym); "signal":
//                        nothing counts until the process gets SIGUSR1
//   MABREL_CRASH_COUNT   file that receives the number of calls counted,
//                        written at a normal exit
//
// A call counts when it may change something on disk (reads and looks leave
// it as it was: a kill after one is a kill before the next change) and a
// path it names lies below a root, or the descriptor it works on was opened
// on such a path. MABREL_CRASH_ALL=1 counts the reads and looks too.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxFds = 65536;
std::atomic<bool> tracked[kMaxFds];
std::atomic<long> counted{0};
std::atomic<bool> armed{false};
long crashAt = 0;
bool crashAfter = false;
char roots[8][1024];
int rootCount = 0;
char countFile[1024];
bool countAll = false;

__attribute__((constructor)) void setUp() {
    if (const char* r = std::getenv("MABREL_CRASH_ROOTS")) {
        const char* p = r;
        while (*p && rootCount < 8) {
            const char* end = std::strchr(p, ':');
            const std::size_t n = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
            if (n > 0 && n < sizeof roots[0]) {
                std::memcpy(roots[rootCount], p, n);
                roots[rootCount][n] = 0;
                ++rootCount;
            }
            if (!end) break;
            p = end + 1;
        }
    }
    if (const char* at = std::getenv("MABREL_CRASH_AT")) crashAt = std::atol(at);
    if (const char* when = std::getenv("MABREL_CRASH_WHEN")) crashAfter = std::strcmp(when, "after") == 0;
    if (const char* all = std::getenv("MABREL_CRASH_ALL")) countAll = std::strcmp(all, "1") == 0;
    if (const char* c = std::getenv("MABREL_CRASH_COUNT")) std::snprintf(countFile, sizeof countFile, "%s", c);
    const char* a = std::getenv("MABREL_CRASH_ARMED");
    armed = !a || (std::strcmp(a, "0") != 0 && std::strcmp(a, "signal") != 0);
    if (a && std::strcmp(a, "signal") == 0) {
        struct sigaction action {};
        action.sa_handler = [](int) { armed = true; };
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGUSR1, &action, nullptr);
    }
}

__attribute__((destructor)) void tearDown() {
    if (!countFile[0]) return;
    if (FILE* f = std::fopen(countFile, "w")) {
        std::fprintf(f, "%ld\n", counted.load());
        std::fclose(f);
    }
}

bool below(const char* path) {
    if (!path) return false;
    for (int i = 0; i < rootCount; ++i) {
        const std::size_t n = std::strlen(roots[i]);
        if (std::strncmp(path, roots[i], n) == 0 && (path[n] == '/' || path[n] == 0)) return true;
    }
    return false;
}

bool isTracked(int fd) { return fd >= 0 && fd < kMaxFds && tracked[fd]; }
void track(int fd, bool on) {
    if (fd >= 0 && fd < kMaxFds) tracked[fd] = on;
}
// A path relative to a descriptor counts with the descriptor.
bool counts(int dirfd, const char* path) {
    if (path && path[0] == '/') return below(path);
    return dirfd == AT_FDCWD ? false : isTracked(dirfd);
}

// Before the call: its number, or 0 when it does not count.
long enter(bool relevant, bool changes = true) {
    if (!relevant || !armed || !(changes || countAll)) return 0;
    const long n = ++counted;
    if (n == crashAt && !crashAfter) ::raise(SIGKILL);
    return n;
}
void leave(long n) {
    if (n != 0 && n == crashAt && crashAfter) {
        const int e = errno;
        ::raise(SIGKILL);
        errno = e;
    }
}

template <class F>
F real(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

void mabrel_crash_arm() { armed = true; }

#define REAL(name, type) static auto real_##name = real<type>(#name)

static int openCommon(int dirfd, const char* path, int flags, mode_t mode) {
    using OpenAt = int (*)(int, const char*, int, ...);
    static auto realOpenAt = real<OpenAt>("openat");
    const bool relevant = counts(dirfd, path);
    const long n = enter(relevant, (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0);
    const int fd = realOpenAt(dirfd, path, flags, mode);
    if (fd >= 0) track(fd, relevant);
    leave(n);
    return fd;
}

// The mode argument is there only when the call may create a file.
#define OPEN_CALL(name, dirfd, ...)                                                                \
    int name(__VA_ARGS__ const char* path, int flags, ...) {                                       \
        va_list ap;                                                                                \
        va_start(ap, flags);                                                                       \
        const bool creates = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;                \
        const mode_t mode = creates ? static_cast<mode_t>(va_arg(ap, int)) : 0;                    \
        va_end(ap);                                                                                \
        return openCommon(dirfd, path, flags, mode);                                               \
    }
OPEN_CALL(open, AT_FDCWD)
OPEN_CALL(open64, AT_FDCWD)
OPEN_CALL(openat, dirfd, int dirfd,)
OPEN_CALL(openat64, dirfd, int dirfd,)

int close(int fd) {
    REAL(close, int (*)(int));
    const long n = enter(isTracked(fd), false);
    track(fd, false);
    const int rc = real_close(fd);
    leave(n);
    return rc;
}

DIR* opendir(const char* path) {
    REAL(opendir, DIR* (*)(const char*));
    const bool relevant = below(path);
    const long n = enter(relevant, false);
    DIR* d = real_opendir(path);
    if (d) track(::dirfd(d), relevant);
    leave(n);
    return d;
}
DIR* fdopendir(int fd) {
    REAL(fdopendir, DIR* (*)(int));
    return real_fdopendir(fd);
}
int closedir(DIR* d) {
    REAL(closedir, int (*)(DIR*));
    const int fd = d ? ::dirfd(d) : -1;
    const long n = enter(isTracked(fd), false);
    track(fd, false);
    const int rc = real_closedir(d);
    leave(n);
    return rc;
}
struct dirent* readdir(DIR* d) {
    REAL(readdir, struct dirent* (*)(DIR*));
    const long n = enter(d && isTracked(::dirfd(d)), false);
    struct dirent* e = real_readdir(d);
    leave(n);
    return e;
}
struct dirent64* readdir64(DIR* d) {
    REAL(readdir64, struct dirent64* (*)(DIR*));
    const long n = enter(d && isTracked(::dirfd(d)), false);
    struct dirent64* e = real_readdir64(d);
    leave(n);
    return e;
}

// Calls on a descriptor.
#define FD_CALL(ret, name, params, args, fd, changes) \
    ret name params {                                \
        REAL(name, ret(*) params);                   \
        const long n = enter(isTracked(fd), changes); \
        const ret r = real_##name args;       \
        leave(n);                             \
        return r;                             \
    }
FD_CALL(ssize_t, read, (int fd, void* b, size_t c), (fd, b, c), fd, false)
FD_CALL(ssize_t, pread64, (int fd, void* b, size_t c, off64_t o), (fd, b, c, o), fd, false)
FD_CALL(ssize_t, write, (int fd, const void* b, size_t c), (fd, b, c), fd, true)
FD_CALL(ssize_t, pwrite, (int fd, const void* b, size_t c, off_t o), (fd, b, c, o), fd, true)
FD_CALL(ssize_t, pwrite64, (int fd, const void* b, size_t c, off64_t o), (fd, b, c, o), fd, true)
FD_CALL(int, fsync, (int fd), (fd), fd, true)
FD_CALL(int, fdatasync, (int fd), (fd), fd, true)
FD_CALL(int, fstat, (int fd, struct stat* s), (fd, s), fd, false)
FD_CALL(int, fstat64, (int fd, struct stat64* s), (fd, s), fd, false)
FD_CALL(int, fchmod, (int fd, mode_t m), (fd, m), fd, true)
FD_CALL(int, fchown, (int fd, uid_t u, gid_t g), (fd, u, g), fd, true)
FD_CALL(int, futimens, (int fd, const struct timespec t[2]), (fd, t), fd, true)
FD_CALL(int, ftruncate, (int fd, off_t l), (fd, l), fd, true)
FD_CALL(off_t, lseek, (int fd, off_t o, int w), (fd, o, w), fd, false)
FD_CALL(int, fallocate, (int fd, int m, off_t o, off_t l), (fd, m, o, l), fd, true)
FD_CALL(ssize_t, fgetxattr, (int fd, const char* k, void* v, size_t s), (fd, k, v, s), fd, false)
FD_CALL(int, fsetxattr, (int fd, const char* k, const void* v, size_t s, int f), (fd, k, v, s, f), fd, true)
FD_CALL(ssize_t, copy_file_range, (int i, off64_t* oi, int o, off64_t* oo, size_t l, unsigned f),
        (i, oi, o, oo, l, f), i, true)

int ioctl(int fd, unsigned long request, ...) {
    REAL(ioctl, int (*)(int, unsigned long, ...));
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    const long n = enter(isTracked(fd), request == FICLONE);
    const int r = real_ioctl(fd, request, arg);
    leave(n);
    return r;
}

// Calls on a path (relative to a descriptor where they take one).
#define PATH_CALL(ret, name, params, args, relevant, changes) \
    ret name params {                                         \
        REAL(name, ret(*) params);                            \
        const long n = enter(relevant, changes);              \
        const ret r = real_##name args;              \
        leave(n);                                    \
        return r;                                    \
    }
PATH_CALL(int, stat, (const char* p, struct stat* s), (p, s), below(p), false)
PATH_CALL(int, stat64, (const char* p, struct stat64* s), (p, s), below(p), false)
PATH_CALL(int, lstat, (const char* p, struct stat* s), (p, s), below(p), false)
PATH_CALL(int, lstat64, (const char* p, struct stat64* s), (p, s), below(p), false)
PATH_CALL(int, fstatat, (int d, const char* p, struct stat* s, int f), (d, p, s, f), counts(d, p), false)
PATH_CALL(int, fstatat64, (int d, const char* p, struct stat64* s, int f), (d, p, s, f), counts(d, p), false)
PATH_CALL(int, statx, (int d, const char* p, int f, unsigned m, struct statx* s), (d, p, f, m, s),
          counts(d, p) || (p && !*p && isTracked(d)), false)
PATH_CALL(int, access, (const char* p, int m), (p, m), below(p), false)
PATH_CALL(int, faccessat, (int d, const char* p, int m, int f), (d, p, m, f), counts(d, p), false)
PATH_CALL(int, rename, (const char* a, const char* b), (a, b), below(a) || below(b), true)
PATH_CALL(int, renameat, (int da, const char* a, int db, const char* b), (da, a, db, b), counts(da, a) || counts(db, b), true)
PATH_CALL(int, renameat2, (int da, const char* a, int db, const char* b, unsigned f), (da, a, db, b, f),
          counts(da, a) || counts(db, b), true)
PATH_CALL(int, link, (const char* a, const char* b), (a, b), below(a) || below(b), true)
PATH_CALL(int, linkat, (int da, const char* a, int db, const char* b, int f), (da, a, db, b, f),
          counts(da, a) || counts(db, b) || isTracked(da), true)
PATH_CALL(int, symlink, (const char* a, const char* b), (a, b), below(b), true)
PATH_CALL(ssize_t, readlink, (const char* p, char* b, size_t s), (p, b, s), below(p), false)
PATH_CALL(ssize_t, readlinkat, (int d, const char* p, char* b, size_t s), (d, p, b, s), counts(d, p), false)
PATH_CALL(int, unlink, (const char* p), (p), below(p), true)
PATH_CALL(int, unlinkat, (int d, const char* p, int f), (d, p, f), counts(d, p), true)
PATH_CALL(int, mkdir, (const char* p, mode_t m), (p, m), below(p), true)
PATH_CALL(int, mkdirat, (int d, const char* p, mode_t m), (d, p, m), counts(d, p), true)
PATH_CALL(int, rmdir, (const char* p), (p), below(p), true)
PATH_CALL(int, chmod, (const char* p, mode_t m), (p, m), below(p), true)
PATH_CALL(int, fchmodat, (int d, const char* p, mode_t m, int f), (d, p, m, f), counts(d, p), true)
PATH_CALL(int, utimensat, (int d, const char* p, const struct timespec t[2], int f), (d, p, t, f),
          counts(d, p) || (!p && isTracked(d)), true)
PATH_CALL(ssize_t, getxattr, (const char* p, const char* k, void* v, size_t s), (p, k, v, s), below(p), false)
PATH_CALL(ssize_t, lgetxattr, (const char* p, const char* k, void* v, size_t s), (p, k, v, s), below(p), false)
PATH_CALL(int, setxattr, (const char* p, const char* k, const void* v, size_t s, int f), (p, k, v, s, f), below(p), true)
PATH_CALL(int, lsetxattr, (const char* p, const char* k, const void* v, size_t s, int f), (p, k, v, s, f),
          below(p), true)
PATH_CALL(int, truncate, (const char* p, off_t l), (p, l), below(p), true)

}  // extern "C"
