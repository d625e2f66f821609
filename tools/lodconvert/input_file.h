// Reading an input file whole, by UTF-8 path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lodconvert/refusal.h"

namespace lodconvert {

// Fails with exitInputUnreadable for a file that cannot be opened or read, or is empty.
Failure readInputFile(const std::string &path, std::vector<uint8_t> &bytes);

} // namespace lodconvert
