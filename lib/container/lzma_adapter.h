// In-memory LZMA1 compression of the patch stream.
#pragma once

#include <cstdint>
#include <vector>

namespace quarnel {

constexpr uint8_t lzmaPropertiesByte = 0x5D; // (pb 2 * 5 + lp 0) * 9 + lc 3
constexpr uint32_t lzmaDictionarySize = 1u << 25;
constexpr uint32_t lzmaHeaderSize = 13;

// Replaces output with one block: properties byte, dictionary size, the
// 8-byte input length, then the LZMA1 data without end marker.
// Returns 0, or a result code when the encoder fails.
int compressPatchStream(const uint8_t *input, int32_t length, std::vector<uint8_t> &output);

} // namespace quarnel
