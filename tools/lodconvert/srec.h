// Reading S-record files: data at 16-, 24- and 32-bit addresses, counts and terminations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lodconvert/refusal.h"
#include "lodconvert/segments.h"

namespace lodconvert {

// Reads S0 (header, skipped), S1/S2/S3 (data), S5/S6 (the count of data records
// before it, which must match) and S7/S8/S9 (termination; its start address has no
// place in a LOD file). Every refusal names its line. file is the input's name for
// the messages.
Failure readSrec(const std::vector<uint8_t> &text, const std::string &file, Segments &segments);

} // namespace lodconvert
