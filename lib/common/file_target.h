// Where writing to a path lands, and whether its name can exist there.
#pragma once

#include <string>

namespace quarnel {

// The file that writing to a UTF-8 path reaches: the path itself, or where
// its symbolic links lead, followed even when the last one leads to a file
// that does not exist yet. False for an empty path, a loop of links, a link
// that cannot be read, or a path the file system refuses to look up.
bool linkTargetUtf8(const char *path, std::string &target);

// Whether the last name of a UTF-8 path is no longer than the file system
// of its folder allows; false too when that folder cannot be asked.
bool nameFitsUtf8(const std::string &path);

} // namespace quarnel
