#include "wide_path.h"

#ifdef _WIN32
#include <windows.h>

std::wstring widePath(const std::string &path)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, path.data(),
                                           static_cast<int>(path.size()), nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                        &wide[0], length);
    return wide;
}
#endif
