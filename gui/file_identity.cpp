#include "file_identity.h"

#ifdef _WIN32
#include <windows.h>

#include "wide_path.h"
#else
#include <sys/stat.h>
#endif

#ifdef _WIN32

namespace {

struct FileId {
    bool found = false;
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
};

// Opened without access rights, so a file that another program holds open is still found;
// backup semantics let a folder be opened too.
FileId fileIdOf(const std::string &path)
{
    FileId id;
    const std::wstring wide = widePath(path);
    if (wide.empty())
        return id;
    const HANDLE file = CreateFileW(wide.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return id;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info)) {
        id.found = true;
        id.volume = info.dwVolumeSerialNumber;
        id.indexHigh = info.nFileIndexHigh;
        id.indexLow = info.nFileIndexLow;
    }
    CloseHandle(file);
    return id;
}

} // namespace

bool isSameFile(const std::string &first, const std::string &second)
{
    const FileId a = fileIdOf(first);
    const FileId b = fileIdOf(second);
    return a.found && b.found && a.volume == b.volume && a.indexHigh == b.indexHigh
           && a.indexLow == b.indexLow;
}

#else

bool isSameFile(const std::string &first, const std::string &second)
{
    struct stat a;
    struct stat b;
    return stat(first.c_str(), &a) == 0 && stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev
           && a.st_ino == b.st_ino;
}

#endif
