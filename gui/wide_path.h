// UTF-8 paths turned into the UTF-16 that Windows' file functions take.
#ifndef PACKGUI_WIDE_PATH_H
#define PACKGUI_WIDE_PATH_H

#ifdef _WIN32
#include <string>

// Converted as the library converts: bytes that are not UTF-8 become U+FFFD.
// Empty only for an empty path.
std::wstring widePath(const std::string &path);
#endif

#endif
