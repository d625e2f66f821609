// Whether two paths name one file, however each is spelt.
#ifndef PACKGUI_FILE_IDENTITY_H
#define PACKGUI_FILE_IDENTITY_H

#include <string>

// True when both UTF-8 paths exist and lead to the same file: the same path,
// another spelling of it, a hard link or a symbolic link. False when either
// cannot be looked up, since a file that is not there cannot be overwritten.
bool isSameFile(const std::string &first, const std::string &second);

#endif
