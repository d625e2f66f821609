// Where a decoded patch stream puts things: each chunk's entry and unit, and each literal byte's flash offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace doctored {

using Bytes = std::vector<uint8_t>;

uint32_t le32(const Bytes &bytes, size_t at);
void putLe32(Bytes &bytes, size_t at, uint32_t value);

struct ChunkPlace {
    size_t entry;     // stream byte of the chunk's entry
    uint32_t target;  // flash offset of its unit
    uint32_t length;  // the sum of its records' lengths
    uint32_t records;
};

// Every chunk of a stream whose table is well formed; empty if it is not.
std::vector<ChunkPlace> chunkPlaces(const Bytes &stream);

// The table's length: the count, then every chunk's entry and record entries.
size_t tableLength(const std::vector<ChunkPlace> &places);

struct LiteralSite {
    size_t streamAt;  // stream byte of the literal
    uint32_t flashAt; // where the applier writes it
    size_t chunk;
};

std::vector<LiteralSite> literalSites(const Bytes &stream, const std::vector<ChunkPlace> &places);

} // namespace doctored
