// Joining an input's segments into the one contiguous image that packcli takes.
#pragma once

#include <cstdint>
#include <vector>

#include "lodconvert/refusal.h"
#include "lodconvert/segments.h"

namespace lodconvert {

// One image in the device's map, where the flash starts at deviceFlashBase.
struct FlashImage {
    uint32_t address = 0;       // of the first byte; on a sector boundary from the flash base
    std::vector<uint8_t> bytes; // whole sectors
    uint64_t filled = 0;        // bytes of 0xFF between the segments and up to the sector boundaries
};

// Moves the segments from a part whose flash starts at flashBase to the device's map,
// keeping their offsets from the flash base, and joins them. Refused: data below the
// flash base, data at or past 4 GiB in the device's map, two segments that share an
// address, and a gap that is not inside one erase sector (4096 bytes, counted from the
// flash base), since filling it would claim flash that the input never gave. A gap inside one sector,
// and the rest of the first and the last sector, read as erased flash: 0xFF.
Failure layOutImage(Segments segments, uint32_t flashBase, const std::string &file, FlashImage &image);

} // namespace lodconvert
