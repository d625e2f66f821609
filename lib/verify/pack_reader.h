// Reading a pack without the images: header, LZMA block and stream structure.
#pragma once

#include <cstdint>
#include <vector>

#include "container/pack_header.h"
#include "verify/findings.h"
#include "verify/lzma_block.h"
#include "verify/stream_layout.h"

namespace quarnel::verify {

// The most packcheck ever decodes: even a 64 MiB code area's worst-case stream stays below 1 GiB.
constexpr uint64_t maxStreamLength = uint64_t{1} << 30;

// The longest stream a planner can write for a code area of codeSize bytes:
// one entry per 4 KiB unit, one record per byte at worst, every byte once.
uint64_t streamCapForArea(uint32_t codeSize);

struct PackContents {
    PackHeader header;
    LzmaBlockHeader lzma;
    std::vector<uint8_t> stream;
    std::vector<StreamChunk> chunks;
};

// Checks magic, dataLength against the size and dataCrc. Returns FOTA_OK or FOTA_PACK_INVALID.
int readPackHeader(const std::vector<uint8_t> &packBytes, PackHeader &header, Findings &findings);

// After readPackHeader: checks the LZMA block, decodes at most streamCap
// bytes and splits the stream into chunks. Returns FOTA_OK, FOTA_PACK_INVALID
// or FOTA_OUT_OF_MEMORY.
int readPackData(const std::vector<uint8_t> &packBytes, uint64_t streamCap, PackContents &contents, Findings &findings);

// Both of the above.
int readPack(const std::vector<uint8_t> &packBytes, uint64_t streamCap, PackContents &contents, Findings &findings);

} // namespace quarnel::verify
