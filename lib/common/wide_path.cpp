#ifdef _WIN32

#include "common/wide_path.h"

#include <windows.h>

namespace quarnel {

std::unique_ptr<wchar_t[]> widen(const char *text)
{
    if (text == nullptr)
        return nullptr;
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return nullptr;
    std::unique_ptr<wchar_t[]> wide(new wchar_t[length]);
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.get(), length) != length)
        return nullptr;
    return wide;
}

bool narrow(const wchar_t *text, std::string &out)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return false;
    out.assign(static_cast<size_t>(length), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], length, nullptr, nullptr) != length)
        return false;
    out.pop_back(); // the terminating NUL
    return true;
}

} // namespace quarnel

#endif
