#include "path_problem.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "common/wide_path.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The C library's text for the code, as the system's own tools would print it.
std::string systemText(int code)
{
    return std::strerror(code);
}

const char *const notRegularText = "not a regular file";
const char *const emptyText = "the file is empty";

} // namespace

#ifdef _WIN32

namespace {

// Empty when the path is empty or cannot be converted.
std::wstring widePath(const std::string &path)
{
    const auto wide = quarnel::widen(path.c_str());
    return wide ? std::wstring(wide.get()) : std::wstring();
}

// The folder that would hold the file; a drive's root keeps its separator.
std::wstring folderOf(const std::wstring &path)
{
    const size_t separator = path.find_last_of(L"/\\");
    if (separator == std::wstring::npos) {
        // "C:name" lies in the drive's current folder.
        return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : std::wstring(L".");
    }
    const bool root = separator == 0 || (separator == 2 && path[1] == L':');
    return path.substr(0, root ? separator + 1 : separator);
}

} // namespace

std::string readProblem(const std::string &path)
{
    const std::wstring wide = widePath(path);
    struct _stat64 status;
    if (wide.empty() || _wstat64(wide.c_str(), &status) != 0)
        return systemText(wide.empty() ? ENOENT : errno);
    if ((status.st_mode & _S_IFMT) == _S_IFDIR)
        return systemText(EISDIR);
    if ((status.st_mode & _S_IFMT) != _S_IFREG)
        return notRegularText;
    if (_waccess(wide.c_str(), 4) != 0)
        return systemText(errno);
    return status.st_size == 0 ? emptyText : std::string();
}

std::string writeProblem(const std::string &path)
{
    std::wstring wide = widePath(path);
    // The C runtime does not find a folder named with a separator at its end.
    while (wide.size() > 1 && (wide.back() == L'/' || wide.back() == L'\\')
           && !(wide.size() == 3 && wide[1] == L':'))
        wide.pop_back();
    if (wide.empty())
        return systemText(ENOENT);
    struct _stat64 status;
    const bool exists = _wstat64(wide.c_str(), &status) == 0;
    if (exists && (status.st_mode & _S_IFMT) == _S_IFDIR)
        return systemText(EISDIR);
    const std::wstring folder = folderOf(wide);
    if (_wstat64(folder.c_str(), &status) != 0)
        return systemText(errno);
    if ((status.st_mode & _S_IFMT) != _S_IFDIR)
        return systemText(ENOTDIR);
    // A read-only file cannot be replaced here, unlike on POSIX systems.
    if (exists && _waccess(wide.c_str(), 2) != 0)
        return systemText(errno);
    return std::string();
}

#else

namespace {

std::string folderOf(const std::string &path)
{
    const size_t separator = path.find_last_of('/');
    if (separator == std::string::npos)
        return ".";
    return path.substr(0, separator == 0 ? 1 : separator);
}

} // namespace

std::string readProblem(const std::string &path)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return systemText(errno);
    if (S_ISDIR(status.st_mode))
        return systemText(EISDIR);
    if (!S_ISREG(status.st_mode))
        return notRegularText;
    const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        return systemText(errno);
    close(file);
    return status.st_size == 0 ? emptyText : std::string();
}

std::string writeProblem(const std::string &path)
{
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        return systemText(EISDIR);
    const std::string folder = folderOf(path);
    if (stat(folder.c_str(), &status) != 0)
        return systemText(errno);
    if (!S_ISDIR(status.st_mode))
        return systemText(ENOTDIR);
    // The pack is written beside its final name and moved over it, so the folder must take a new file.
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return systemText(errno);
    return std::string();
}

#endif
