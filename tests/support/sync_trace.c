/* Preloaded into a program, appends a line to the file SYNC_TRACE names for
 * every fsync, fdatasync and rename it makes, in the order it makes them:
 * "fsync PATH" with the path of the descriptor's file or folder, and
 * "rename FROM TO". The calls themselves go through unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void trace(const char *what, const char *first, const char *second)
{
    const char *log = getenv("SYNC_TRACE");
    if (log == NULL)
        return;
    char line[3 * 4096 + 32];
    const int length = snprintf(line, sizeof line, "%s %s%s%s\n", what, first, second ? " " : "", second ? second : "");
    const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    if (write(fd, line, (size_t)length) != length)
        abort(); /* a trace with holes would prove nothing */
    close(fd);
}

static void traceDescriptor(const char *what, int fd)
{
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, path, sizeof path - 1);
    path[length > 0 ? length : 0] = '\0';
    trace(what, path, NULL);
}

int fsync(int fd)
{
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    traceDescriptor("fsync", fd);
    return real(fd);
}

int fdatasync(int fd)
{
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fdatasync");
    traceDescriptor("fsync", fd);
    return real(fd);
}

int rename(const char *from, const char *to)
{
    int (*real)(const char *, const char *) = (int (*)(const char *, const char *))dlsym(RTLD_NEXT, "rename");
    trace("rename", from, to);
    return real(from, to);
}

int renameat(int fromFolder, const char *from, int toFolder, const char *to)
{
    int (*real)(int, const char *, int, const char *) =
        (int (*)(int, const char *, int, const char *))dlsym(RTLD_NEXT, "renameat");
    trace("rename", from, to);
    return real(fromFolder, from, toFolder, to);
}
