/* No mappings on Windows: mmap always fails, and libelf then reads the file instead. */
#ifndef LIBELF_WINDOWS_MMAN_H
#define LIBELF_WINDOWS_MMAN_H

#include <stddef.h>
#include <sys/types.h>

#define PROT_READ 1
#define PROT_WRITE 2
#define MAP_SHARED 1
#define MAP_PRIVATE 2
#define MAP_FAILED ((void *)-1)
#define MS_SYNC 4

static inline void *mmap(void *address, size_t length, int protection, int flags, int fd, off_t offset)
{
    (void)address, (void)length, (void)protection, (void)flags, (void)fd, (void)offset;
    return MAP_FAILED;
}

static inline int munmap(void *address, size_t length)
{
    (void)address, (void)length;
    return -1;
}

static inline int msync(void *address, size_t length, int flags)
{
    (void)address, (void)length, (void)flags;
    return -1;
}

#endif
