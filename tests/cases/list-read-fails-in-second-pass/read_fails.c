/* Preloaded into the program: the second stream it opens for reading, the
 * list's second pass, fails every read after its first, as a disk with a bad
 * sector there would. The first pass reads only up to the Date line. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static ssize_t readOnce(void *fd, char *buffer, size_t size) {
    static int reads;
    if (++reads == 1) return read((int)(intptr_t)fd, buffer, size);
    errno = EIO;
    return -1;
}

FILE *fdopen(int fd, const char *mode) {
    static int readers;
    if (strcmp(mode, "r") == 0 && ++readers == 2) {
        return fopencookie((void *)(intptr_t)fd, "r", (cookie_io_functions_t){readOnce, NULL, NULL, NULL});
    }
    return ((FILE * (*)(int, const char *)) dlsym(RTLD_NEXT, "fdopen"))(fd, mode);
}
