// Loaded with LD_PRELOAD: every in-kernel copy moves at most 256 KiB and
// first waits MABREL_SLOW_COPY_MS milliseconds (default 40), as a copy from
// a USB stick or a share crawls, so that a long copy can be watched.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

ssize_t copy_file_range(int in, loff_t* inOffset, int out, loff_t* outOffset, size_t length, unsigned int flags) {
    static ssize_t (*real)(int, loff_t*, int, loff_t*, size_t, unsigned int);
    if (real == NULL) real = (ssize_t(*)(int, loff_t*, int, loff_t*, size_t, unsigned int))dlsym(RTLD_NEXT, "copy_file_range");
    const char* ms = getenv("MABREL_SLOW_COPY_MS");
    const long wait = ms != NULL ? atol(ms) : 40;
    const struct timespec pause = {wait / 1000, (wait % 1000) * 1000000L};
    nanosleep(&pause, NULL);
    return real(in, inOffset, out, outOffset, length > 262144 ? 262144 : length, flags);
}
