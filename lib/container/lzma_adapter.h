// In-memory LZMA1 compression of the patch stream.
#pragma once

#include <cstdint>
#include <vector>

namespace quarnel {

constexpr uint8_t lzmaPropertiesByte = 0x5D; // (pb 2 * 5 + lp 0) * 9 + lc 3
// The dictionary the header states; any decoder with a window of at least lzmaWindowSize reads the data.
constexpr uint32_t lzmaDictionarySize = 1u << 25;
// The encoder's window: no match reaches back further, so a device decodes with a ring of this size
// (FOTA_APPLY_WINDOW in quarnel_apply.h) whatever the image size.
constexpr uint32_t lzmaWindowSize = 8192;
constexpr uint32_t lzmaHeaderSize = 13;

// Replaces output with one block: properties byte, dictionary size, the
// 8-byte input length, then the LZMA1 data without end marker.
// Returns 0, or a result code when the encoder fails.
int compressPatchStream(const uint8_t *input, int32_t length, std::vector<uint8_t> &output);

} // namespace quarnel
