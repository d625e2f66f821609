// Shared pieces of the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace fuzzsupport {

// A file of this process that each input overwrites (the LOD reader reads paths).
std::string scratchPath(const char *name);
void writeScratch(const std::string &path, const uint8_t *data, size_t size);

// Stops the run with a message: libFuzzer records the input as a crash.
[[noreturn]] void fail(const char *what);

} // namespace fuzzsupport
