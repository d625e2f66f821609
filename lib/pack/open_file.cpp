#include "pack/open_file.h"

#ifdef _WIN32
#include <memory>
#include <windows.h>
#endif

namespace quarnel {

#ifdef _WIN32

namespace {

// Converts UTF-8 to UTF-16; empty when the text is not valid UTF-8.
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
