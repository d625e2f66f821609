// Telling whether two paths name one file.
#pragma once

namespace quarnel {

// True when both UTF-8 paths lead to the same file, as the file system
// identifies it (device and inode; volume and file ID on Windows), so that
// links and other spellings of a path count too. False when either file
// does not exist or cannot be asked.
bool sameFileUtf8(const char *first, const char *second);

} // namespace quarnel
