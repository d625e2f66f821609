// Reading Intel HEX files: data records and the extended addresses that place them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lodconvert/refusal.h"
#include "lodconvert/segments.h"

namespace lodconvert {

// Reads record types 00 (data), 01 (end of file), 02 (extended segment address),
// 04 (extended linear address) and 05 (start linear address, which a LOD file has no
// place for); a type 03 start address is ignored with a note. Every refusal names its
// line. file is the input's name for the messages.
Failure readIntelHex(const std::vector<uint8_t> &text, const std::string &file, Segments &segments,
                     std::vector<std::string> &notes);

} // namespace lodconvert
