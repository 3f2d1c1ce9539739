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
// A call of the program's file layer counts when it may change something on
// disk (a kill after a read is a kill before the next change) and a path it
// names lies below a root, or the descriptor it works on was opened on such a
// path; opens and closes are seen only to know the descriptors.
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
char rootList[8192];
const char* roots[8];
int rootCount = 0;
char countFile[1024];

__attribute__((constructor)) void setUp() {
    if (const char* r = std::getenv("MABREL_CRASH_ROOTS")) {
        std::snprintf(rootList, sizeof rootList, "%s", r);
        char* save = nullptr;
        for (char* p = ::strtok_r(rootList, ":", &save); p && rootCount < 8; p = ::strtok_r(nullptr, ":", &save)) {
            roots[rootCount++] = p;
        }
    }
    if (const char* at = std::getenv("MABREL_CRASH_AT")) crashAt = std::atol(at);
    if (const char* when = std::getenv("MABREL_CRASH_WHEN")) crashAfter = std::strcmp(when, "after") == 0;
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
long enter(bool relevant) {
    if (!relevant || !armed) return 0;
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
    const long n = enter(relevant && (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0);
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
OPEN_CALL(openat, dirfd, int dirfd,)

// Closes are followed for the descriptors only (a directory opened by path
// is only read).
int close(int fd) {
    REAL(close, int (*)(int));
    track(fd, false);
    return real_close(fd);
}
int closedir(DIR* d) {
    REAL(closedir, int (*)(DIR*));
    if (d) track(::dirfd(d), false);
    return real_closedir(d);
}

// Calls that change something, counted when `relevant`: a descriptor that
// names a file below a root, or such a path (relative to a descriptor
// where they take one).
#define CALL(ret, name, params, args, relevant) \
    ret name params {                            \
        REAL(name, ret(*) params);               \
        const long n = enter(relevant);          \
        const ret r = real_##name args;          \
        leave(n);                                \
        return r;                                \
    }
CALL(ssize_t, write, (int fd, const void* b, size_t c), (fd, b, c), isTracked(fd))
CALL(ssize_t, pwrite, (int fd, const void* b, size_t c, off_t o), (fd, b, c, o), isTracked(fd))
CALL(int, fsync, (int fd), (fd), isTracked(fd))
CALL(int, fchmod, (int fd, mode_t m), (fd, m), isTracked(fd))
CALL(int, futimens, (int fd, const struct timespec t[2]), (fd, t), isTracked(fd))
CALL(int, ftruncate, (int fd, off_t l), (fd, l), isTracked(fd))
CALL(int, fsetxattr, (int fd, const char* k, const void* v, size_t s, int f), (fd, k, v, s, f), isTracked(fd))
CALL(ssize_t, copy_file_range, (int i, off64_t* oi, int o, off64_t* oo, size_t l, unsigned f),
        (i, oi, o, oo, l, f), isTracked(i))

int ioctl(int fd, unsigned long request, ...) {
    REAL(ioctl, int (*)(int, unsigned long, ...));
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    const long n = enter(isTracked(fd) && request == FICLONE);
    const int r = real_ioctl(fd, request, arg);
    leave(n);
    return r;
}

CALL(int, renameat, (int da, const char* a, int db, const char* b), (da, a, db, b), counts(da, a) || counts(db, b))
CALL(int, linkat, (int da, const char* a, int db, const char* b, int f), (da, a, db, b, f),
          counts(da, a) || counts(db, b) || isTracked(da))
CALL(int, unlinkat, (int d, const char* p, int f), (d, p, f), counts(d, p))
CALL(int, mkdirat, (int d, const char* p, mode_t m), (d, p, m), counts(d, p))

}  // extern "C"
