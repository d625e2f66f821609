/* The POSIX calls, constants and types that libelf's sources use and mingw-w64 lacks,
   included ahead of each of them. libelf is given its files as memory by lodconvert,
   but every path of the library is compiled and kept working. */
#ifndef LIBELF_POSIX_SHIMS_H
#define LIBELF_POSIX_SHIMS_H

#include <fcntl.h>
#include <io.h>
#include <stddef.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "windows_types.h"

/* Reading and writing at an offset, without moving the file position. */
ssize_t pread(int fd, void *buffer, size_t count, off_t offset);
ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset);

/* libelf asks F_GETFD only to learn whether a descriptor is open. */
#define F_GETFD 1
int fcntl(int fd, int command, ...);

/* Windows files have no set-user and set-group bits, so libelf never restores them. */
#define S_ISUID 0
#define S_ISGID 0
#define fchmod(fd, mode) ((void)(fd), (void)(mode), 0)

/* libelf asks the page size only to sync a mapping, which Windows never gives it (sys/mman.h). */
#define _SC_PAGESIZE 30
#define sysconf(name) ((void)(name), 4096L)

/* For blocks that libelf releases with free(); its alignments are those of ELF types, at most 8. */
int posix_memalign(void **memory, size_t alignment, size_t size);

/* A hint in libelf, which Windows does without: a write extends the file. */
#define posix_fallocate(fd, offset, length) ((void)(fd), (void)(offset), (void)(length), 0)

#endif
