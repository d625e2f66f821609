#ifndef _WIN32

#include "common/write_all.h"

#include <cerrno>
#include <unistd.h>

namespace quarnel {

bool writeAllToFd(int fd, const uint8_t *bytes, size_t size)
{
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace quarnel

#endif
