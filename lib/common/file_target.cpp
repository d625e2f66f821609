#include "common/file_target.h"

#include <vector>

#include "common/temporary_name.h"

#ifdef _WIN32
#include <windows.h>

#include <cwchar>

#include "common/wide_path.h"
#else
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quarnel {

namespace {

// The last name of a path, after its folder.
std::string lastNameOf(const std::string &path)
{
    return path.substr(pathBeside(path, "").size());
}

} // namespace

#ifdef _WIN32

bool linkTargetUtf8(const char *path, std::string &target)
{
    if (path == nullptr || *path == '\0')
        return false;
    const auto widePath = widen(path);
    if (!widePath)
        return false;
    target = path;
    const DWORD attributes = GetFileAttributesW(widePath.get());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return true;
    // Opening follows every link; the handle then names the final file. A link
    // that leads nowhere cannot be opened, and is refused rather than replaced.
    const HANDLE file = CreateFileW(widePath.get(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::vector<wchar_t> name(MAX_PATH + 1);
    DWORD length = GetFinalPathNameByHandleW(file, name.data(), DWORD(name.size()), FILE_NAME_NORMALIZED);
    if (length >= name.size()) { // too small: length is the size it needs
        name.resize(length + 1);
        length = GetFinalPathNameByHandleW(file, name.data(), DWORD(name.size()), FILE_NAME_NORMALIZED);
    }
    CloseHandle(file);
    return length > 0 && length < name.size() && narrow(name.data(), target);
}

bool nameFitsUtf8(const std::string &path)
{
    const std::string folder = pathBeside(path, "");
    const auto wideName = widen(lastNameOf(path).c_str());
    const auto wideFolder = widen(folder.empty() ? "." : folder.c_str());
    if (!wideName || !wideFolder)
        return false;
    // The folder's own handle asks its volume for the limit without reading the device for a label or serial.
    const HANDLE handle = CreateFileW(wideFolder.get(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD limit = 0;
    const bool known =
        GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, &limit, nullptr, nullptr, 0) != 0 && limit > 0;
    CloseHandle(handle);
    return known && std::wcslen(wideName.get()) <= limit;
}

#else

namespace {

// The kernel's own limit on links in one lookup.
constexpr int maxLinkHops = 40;

bool readLinkText(const std::string &path, std::string &text)
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
        if (length < 0)
            return false;
        if (static_cast<size_t>(length) < buffer.size()) {
            text.assign(buffer.data(), static_cast<size_t>(length));
            return true;
        }
        buffer.resize(2 * buffer.size());
    }
}

} // namespace

bool linkTargetUtf8(const char *path, std::string &target)
{
    if (path == nullptr || *path == '\0')
        return false;
    target = path;
    for (int hop = 0; hop <= maxLinkHops; ++hop) {
        struct stat status;
        if (lstat(target.c_str(), &status) != 0)
            return errno == ENOENT; // a file still to be made, where the path or its last link names it
        if (!S_ISLNK(status.st_mode))
            return true;
        std::string text;
        if (!readLinkText(target, text) || text.empty())
            return false;
        // A relative link is read from the folder that holds it.
        target = text[0] == '/' ? text : pathBeside(target, text);
    }
    return false;
}

bool nameFitsUtf8(const std::string &path)
{
    const std::string folder = pathBeside(path, "");
    errno = 0;
    const long limit = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (limit < 0)
        return errno == 0; // no limit at all
    return lastNameOf(path).size() <= static_cast<size_t>(limit);
}

#endif

} // namespace quarnel
