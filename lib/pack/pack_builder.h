// Building a pack's bytes from two code images held in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "lod/lod_file.h"

namespace quarnel {

// An image's bytes: its words in order, each least significant byte first,
// then zeros up to size.
std::vector<uint8_t> imageBytes(const LodPacket &image, size_t size);

enum class PlanMethod {
    incremental, // one suffix array kept up to date across the chunks
    reference,   // the suffixes sorted afresh for every diff
};

// Plans the in-place update from oldImage to newImage (offsets from the flash
// base oldStart and newStart), serializes and compresses it, and assembles
// the pack. Returns 0 with pack and oldCrc set, or a result code.
int buildPackBytes(const std::vector<uint8_t> &oldImage, const std::vector<uint8_t> &newImage, uint32_t oldStart,
                   uint32_t newStart, PlanMethod method, std::vector<uint8_t> &pack, uint32_t &oldCrc);

} // namespace quarnel
