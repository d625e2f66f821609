#include "common/open_file.h"

#ifdef _WIN32
#include <sys/stat.h>
#include <sys/types.h>

#include "common/wide_path.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quarnel {

#ifdef _WIN32

std::FILE *openFileUtf8(const char *path, const char *mode)
{
    if (path == nullptr || mode == nullptr)
        return nullptr;
    const auto widePath = widen(path);
    const auto wideMode = widen(mode);
    if (!widePath || !wideMode)
        return nullptr;
    return _wfopen(widePath.get(), wideMode.get());
}

std::FILE *openRegularFileUtf8(const char *path)
{
    std::FILE *file = openFileUtf8(path, "rb");
    if (file == nullptr)
        return nullptr;
    struct _stat64 status;
    if (_fstat64(_fileno(file), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

#else

// File names are byte strings here, so UTF-8 reaches the file system as it is.
std::FILE *openFileUtf8(const char *path, const char *mode)
{
    if (path == nullptr || mode == nullptr)
        return nullptr;
    return std::fopen(path, mode);
}

std::FILE *openRegularFileUtf8(const char *path)
{
    if (path == nullptr)
        return nullptr;
    // Non-blocking, so that a FIFO without a writer cannot hang the open.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
        close(fd);
        return nullptr;
    }
    std::FILE *file = fdopen(fd, "rb");
    if (file == nullptr)
        close(fd);
    return file;
}

#endif

} // namespace quarnel
