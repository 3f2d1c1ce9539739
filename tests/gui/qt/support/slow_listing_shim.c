// Loaded with LD_PRELOAD: each entry read from a folder whose path holds
// MABREL_SLOW_LIST first waits MABREL_SLOW_LIST_MS milliseconds, as a large
// folder or a slow share reads, so that a long load can be watched with few
// files.
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static void pauseIfSlow(DIR* dir) {
    const char* slow = getenv("MABREL_SLOW_LIST");
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd(dir));
    const ssize_t n = slow != NULL && slow[0] != '\0' ? readlink(link, path, sizeof path - 1) : 0;
    if (n <= 0) return;
    path[n] = '\0';
    const long wait = atol(getenv("MABREL_SLOW_LIST_MS") != NULL ? getenv("MABREL_SLOW_LIST_MS") : "10");
    const struct timespec pause = {wait / 1000, (wait % 1000) * 1000000L};
    if (strstr(path, slow) != NULL) nanosleep(&pause, NULL);
}

#define SLOWED(type, name)                                                          \
    struct type* name(DIR* dir) {                                                   \
        static struct type* (*real)(DIR*);                                          \
        if (real == NULL) real = (struct type * (*)(DIR*)) dlsym(RTLD_NEXT, #name); \
        pauseIfSlow(dir);                                                           \
        return real(dir);                                                           \
    }
SLOWED(dirent, readdir)
SLOWED(dirent64, readdir64)
