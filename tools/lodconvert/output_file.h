// Writing lodconvert's output: never over its input, and whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "lodconvert/refusal.h"

namespace lodconvert {

// Refuses an output path that leads to the input file, by any spelling or link.
Failure checkNotInput(const std::string &input, const std::string &output);

// Gives the output path the bytes through the library's careful replacement: a
// temporary file beside it, synced, then moved over it, so a failure leaves it as it was.
Failure writeOutputFile(const std::string &path, const uint8_t *bytes, size_t size);

// Adds a refusal to what a command reports: its status, and its line saying nothing was written.
Report refused(Report report, const Refusal &refusal);

} // namespace lodconvert
