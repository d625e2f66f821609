#include "common/file_identity.h"

#ifdef _WIN32
#include <windows.h>

#include "common/wide_path.h"
#else
#include <sys/stat.h>
#endif

namespace quarnel {

#ifdef _WIN32

namespace {

// The volume and file ID of the file a path leads to, links followed.
bool identify(const char *path, BY_HANDLE_FILE_INFORMATION &information)
{
    const auto widePath = widen(path);
    if (!widePath)
        return false;
    // No access asked and every sharing allowed, so that a file open elsewhere can still be identified;
    // backup semantics let a folder be opened too.
    const HANDLE file = CreateFileW(widePath.get(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool known = GetFileInformationByHandle(file, &information) != 0;
    CloseHandle(file);
    return known;
}

} // namespace

bool sameFileUtf8(const char *first, const char *second)
{
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    return identify(first, a) && identify(second, b) && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

#else

bool sameFileUtf8(const char *first, const char *second)
{
    struct stat a;
    struct stat b;
    return first != nullptr && second != nullptr && stat(first, &a) == 0 && stat(second, &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

#endif

} // namespace quarnel
