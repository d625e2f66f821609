// Opening files by UTF-8 path on every platform.
#pragma once

#include <cstdio>
#include <memory>

namespace quarnel {

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
// A stdio file that is closed when it goes out of scope.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens the file at a UTF-8 path with a stdio mode ("rb", "wb"); null when
// the path is null, cannot be converted, or the open fails.
std::FILE *openFileUtf8(const char *path, const char *mode);

// Opens a regular file for binary reading; null for anything else (a
// directory, a FIFO, a device), without ever blocking on the open.
std::FILE *openRegularFileUtf8(const char *path);

} // namespace quarnel
