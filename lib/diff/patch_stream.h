// Flattening a chunk list into the uncompressed patch stream.
#pragma once

#include "diff/patch.h"

namespace quarnel {

// Chunk count, chunk entries each followed by its record entries, then all
// difference bytes, then all literal bytes; little-endian throughout.
std::vector<uint8_t> serializePatches(const ChunkList &chunks, const uint8_t *newImage, uint32_t newStart);

} // namespace quarnel
