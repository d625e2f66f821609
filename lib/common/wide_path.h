// UTF-8 paths as the wide-character file functions of Windows take them.
#pragma once

#ifdef _WIN32

#include <memory>
#include <string>

namespace quarnel {

// Converts UTF-8 to UTF-16; bytes that are not UTF-8 become U+FFFD, so a
// name that cannot be spelt is simply not found. Empty only when the
// conversion fails (a null text included).
std::unique_ptr<wchar_t[]> widen(const char *text);

// Converts UTF-16 back to UTF-8; false when the conversion fails.
bool narrow(const wchar_t *text, std::string &out);

} // namespace quarnel

#endif
