// Opening files by UTF-8 path on every platform.
#pragma once

#include <cstdio>

namespace quarnel {

// Opens the file at a UTF-8 path with a stdio mode ("rb", "wb"); null when
// the path is null, cannot be converted, or the open fails.
std::FILE *openFileUtf8(const char *path, const char *mode);

} // namespace quarnel
