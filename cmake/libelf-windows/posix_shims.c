/* POSIX calls for libelf on Windows, over the Win32 file API. */
#include <errno.h>
#include <io.h>
#include <stdlib.h>
#include <windows.h>

#include "posix_shims.h"

/* One ReadFile or WriteFile at the offset; Windows moves the file position with it,
   which no caller of pread or pwrite in libelf relies on. */
static ssize_t transferAt(int fd, void *buffer, size_t count, off_t offset, int writing)
{
    const HANDLE file = (HANDLE)_get_osfhandle(fd);
    if (file == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    OVERLAPPED at = {0};
    at.Offset = (DWORD)((unsigned long long)offset);
    at.OffsetHigh = (DWORD)((unsigned long long)offset >> 32);
    /* One call moves at most a DWORD's worth; the callers loop over short transfers. */
    const DWORD wanted = count > 0x40000000u ? 0x40000000u : (DWORD)count;
    DWORD done = 0;
    const BOOL ok = writing ? WriteFile(file, buffer, wanted, &done, &at) : ReadFile(file, buffer, wanted, &done, &at);
    if (!ok) {
        if (!writing && GetLastError() == ERROR_HANDLE_EOF)
            return 0;
        errno = EIO;
        return -1;
    }
    return (ssize_t)done;
}

ssize_t pread(int fd, void *buffer, size_t count, off_t offset)
{
    return transferAt(fd, buffer, count, offset, 0);
}

ssize_t pwrite(int fd, const void *buffer, size_t count, off_t offset)
{
    return transferAt(fd, (void *)buffer, count, offset, 1);
}

int fcntl(int fd, int command, ...)
{
    (void)command;
    if (_get_osfhandle(fd) == -1) {
        errno = EBADF;
        return -1;
    }
    return 0;
}

int posix_memalign(void **memory, size_t alignment, size_t size)
{
    /* Windows' malloc gives 16-byte alignment; more would need _aligned_free, which libelf does not call. */
    if (alignment > 16)
        return EINVAL;
    *memory = malloc(size);
    return *memory != NULL ? 0 : ENOMEM;
}
