// The pack's data section: a 13-byte LZMA header and LZMA1 data without end marker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "verify/findings.h"

namespace quarnel::verify {

struct LzmaBlockHeader {
    uint8_t properties = 0;
    uint32_t dictionarySize = 0;
    uint64_t statedLength = 0;
};

// Reads and checks the header at block[0..13): the fixed properties and
// dictionary, and a stated length of at most streamCap. Returns FOTA_OK or FOTA_PACK_INVALID.
// Findings name pack bytes, the block starting at pack byte blockOffset.
int readLzmaHeader(const uint8_t *block, size_t blockSize, uint64_t streamCap, size_t blockOffset,
                   LzmaBlockHeader &header, Findings &findings);

// Decodes the block's data to exactly its stated length within the device's
// window (lzmaWindowSize); an end marker, data that stops short, bytes after
// the data and a match reaching further back than the window are findings. The output of a
// long stream grows only as decoded bytes arrive. Returns 0, 19, or 24 when memory runs out.
int decodeLzmaBlock(const uint8_t *block, size_t blockSize, const LzmaBlockHeader &header, size_t blockOffset,
                    std::vector<uint8_t> &out, Findings &findings);

} // namespace quarnel::verify
