// Opening files by UTF-8 path on every platform.
#pragma once

#include <cstdio>

namespace quarnel {

// Opens the file at a UTF-8 path with a stdio mode ("rb", "wb"); null when
// the path is null, cannot be converted, or the open fails.
std::FILE *openFileUtf8(const char *path, const char *mode);

// Moves the file at from over to, replacing to; false when that fails.
bool replaceFileUtf8(const char *from, const char *to);

// Removes a file; quietly does nothing when it cannot.
void removeFileUtf8(const char *path);

} // namespace quarnel
