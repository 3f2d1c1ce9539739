// Loaded with LD_PRELOAD: each entry read from a folder whose path holds
// MABREL_SLOW_LIST first waits MABREL_SLOW_LIST_MS milliseconds (default 10),
// as a large folder or a slow share reads, so that a long load can be
// watched with few files.
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
    if (slow == NULL || slow[0] == '\0') return;
    char link[64];
    char path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd(dir));
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0) return;
    path[n] = '\0';
    if (strstr(path, slow) == NULL) return;
    const char* ms = getenv("MABREL_SLOW_LIST_MS");
    const long wait = ms != NULL ? atol(ms) : 10;
    const struct timespec pause = {wait / 1000, (wait % 1000) * 1000000L};
    nanosleep(&pause, NULL);
}

struct dirent* readdir(DIR* dir) {
    static struct dirent* (*real)(DIR*);
    if (real == NULL) real = (struct dirent * (*)(DIR*)) dlsym(RTLD_NEXT, "readdir");
    pauseIfSlow(dir);
    return real(dir);
}

struct dirent64* readdir64(DIR* dir) {
    static struct dirent64* (*real)(DIR*);
    if (real == NULL) real = (struct dirent64 * (*)(DIR*)) dlsym(RTLD_NEXT, "readdir64");
    pauseIfSlow(dir);
    return real(dir);
}
