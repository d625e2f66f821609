#include "common/open_file.h"

#ifdef _WIN32
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include <memory>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quarnel {

#ifdef _WIN32

namespace {

// Converts UTF-8 to UTF-16; bytes that are not UTF-8 become U+FFFD, so a
// name that cannot be spelt is simply not found. Empty only when the conversion fails.
std::unique_ptr<wchar_t[]> widen(const char *text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return nullptr;
    std::unique_ptr<wchar_t[]> wide(new wchar_t[length]);
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.get(), length) != length)
        return nullptr;
    return wide;
}

} // namespace

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

bool replaceFileUtf8(const char *from, const char *to)
{
    const auto wideFrom = widen(from);
    const auto wideTo = widen(to);
    return wideFrom && wideTo && MoveFileExW(wideFrom.get(), wideTo.get(), MOVEFILE_REPLACE_EXISTING) != 0;
}

void removeFileUtf8(const char *path)
{
    if (const auto widePath = widen(path))
        _wremove(widePath.get());
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

bool replaceFileUtf8(const char *from, const char *to)
{
    return from != nullptr && to != nullptr && std::rename(from, to) == 0;
}

void removeFileUtf8(const char *path)
{
    if (path != nullptr)
        std::remove(path);
}

#endif

} // namespace quarnel
