// Writing a finished pack to disk without ever leaving a partial file.
#pragma once

#include <cstdint>
#include <vector>

namespace quarnel {

// Writes pack to a temporary file beside packPath and moves it over packPath;
// returns 0, or 17 with packPath untouched and no temporary file left.
int writePackFile(const char *packPath, const std::vector<uint8_t> &pack);

} // namespace quarnel
