// Replacing a file's content so that its path holds the old content or the
// whole new one, never anything in between, even across a power loss.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quarnel {

// Gives the file at a UTF-8 path the content bytes. The bytes go to a new
// file beside it under a short unique name, which is flushed to the disk,
// moved over the file in one step, and then the folder is flushed so that
// the move itself lasts. A symbolic link at path stays: the file it leads to
// is replaced. An existing file keeps its permission bits; a new one gets
// 0666 less the umask. Only a regular file or nothing may be at the target.
// Returns false when any step fails: before the move the target is as it
// was and no temporary file is left; only a failed flush of the folder
// reports false with the new content already in place.
bool replaceFileUtf8(const char *path, const uint8_t *bytes, size_t size);

} // namespace quarnel
