#include "signing/signing.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "common/temporary_name.h"
#include "common/write_all.h"

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#include <sddl.h>

#include "common/wide_path.h"
#else
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quarnel::signing {

#ifdef _WIN32

bool systemRandom(uint8_t *out, size_t size)
{
    return BCryptGenRandom(nullptr, out, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

namespace {

std::string systemMessage(DWORD code)
{
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
    std::string message(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

// Windows' mode 0600: a protected DACL that lets in the user who runs us and nobody else.
// Without it the key would inherit its folder's entries, which often let every user read.
bool userOnlyDescriptor(PSECURITY_DESCRIPTOR &descriptor)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    bool sound = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    LPWSTR sid = nullptr;
    if (!sound || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid, &sid))
        return false;
    const std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
    LocalFree(sid);
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr);
}

} // namespace

bool createPrivateFileUtf8(const char *path, const std::string &bytes, std::string &error)
{
    const auto target = widen(path);
    if (!target) {
        error = "the path cannot be converted";
        return false;
    }
    SECURITY_ATTRIBUTES access{sizeof access, nullptr, FALSE};
    if (!userOnlyDescriptor(access.lpSecurityDescriptor)) {
        error = "no access list for this user alone: " + systemMessage(GetLastError());
        return false;
    }
    std::unique_ptr<wchar_t[]> temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD code = 0;
    for (int attempt = 0; attempt < temporaryNameAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = widen(pathBeside(path, temporaryName()).c_str());
        file = CreateFileW(temporary.get(), GENERIC_WRITE, 0, &access, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        code = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (code != 0 && code != ERROR_FILE_EXISTS)
            break;
    }
    LocalFree(access.lpSecurityDescriptor);
    if (file == INVALID_HANDLE_VALUE && code != ERROR_FILE_EXISTS) {
        error = systemMessage(code);
        return false;
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = "no free temporary name beside it";
        return false;
    }
    DWORD written = 0;
    bool sound = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                 written == bytes.size() && FlushFileBuffers(file);
    code = sound ? 0 : GetLastError();
    sound = CloseHandle(file) && sound;
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    if (sound && !MoveFileExW(temporary.get(), target.get(), MOVEFILE_WRITE_THROUGH)) {
        code = GetLastError();
        sound = false;
    }
    if (!sound) {
        DeleteFileW(temporary.get());
        error = code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? "the file exists; it is never overwritten"
                                                                          : systemMessage(code);
        return false;
    }
    return true;
}

#else

bool systemRandom(uint8_t *out, size_t size)
{
    while (size > 0) {
        const ssize_t got = getrandom(out, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool createPrivateFileUtf8(const char *path, const std::string &bytes, std::string &error)
{
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < temporaryNameAttempts && fd < 0; ++attempt) {
        temporary = pathBeside(path, temporaryName());
        // Created with 0600 and fchmod'ed again below: the umask may only take bits away, and a key needs none of them.
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            error = std::strerror(errno);
            return false;
        }
    }
    if (fd < 0) {
        error = "no free temporary name beside it";
        return false;
    }
    const auto *content = reinterpret_cast<const uint8_t *>(bytes.data());
    bool sound = fchmod(fd, 0600) == 0 && writeAllToFd(fd, content, bytes.size()) && fsync(fd) == 0;
    int code = sound ? 0 : errno;
    sound = close(fd) == 0 && sound;
    // link() fails when the name is taken, where rename() would replace what is there.
    if (sound && link(temporary.c_str(), path) != 0) {
        code = errno;
        sound = false;
    }
    unlink(temporary.c_str());
    if (!sound) {
        error = code == EEXIST ? "the file exists; it is never overwritten" : std::strerror(code != 0 ? code : EIO);
        return false;
    }
    // The folder's new entry must last as the key does.
    const std::string folder = pathBeside(path, "");
    const int folderFd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return true;
}

#endif

} // namespace quarnel::signing
