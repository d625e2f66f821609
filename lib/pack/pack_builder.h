// Building a pack's bytes from two code images held in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "pack/planner.h"

namespace quarnel {

// Plans the in-place update from oldImage to newImage (offsets from the flash
// base oldStart and newStart) with plan, serializes and compresses it, and
// assembles the pack. Returns 0 with pack and oldCrc set, or a result code.
int buildPackBytes(const std::vector<uint8_t> &oldImage, const std::vector<uint8_t> &newImage, uint32_t oldStart,
                   uint32_t newStart, PlanFunction plan, std::vector<uint8_t> &pack, uint32_t &oldCrc);

} // namespace quarnel
