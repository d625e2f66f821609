// The pack file: a 28-byte header followed by the compressed patch stream.
#pragma once

#include <cstdint>
#include <vector>

namespace quarnel {

constexpr uint32_t packHeaderSize = 28;
constexpr char packMagic[8] = {'V', 'Y', 'N', 'O', 'T', 'A', '0', '1'};

// Field offsets within the header; every field is a little-endian u32.
enum PackHeaderOffset : uint32_t {
    packOldCrcOffset = 8,
    packOldStartOffset = 12,
    packOldSizeOffset = 16,
    packDataCrcOffset = 20,
    packDataLengthOffset = 24,
};

struct PackHeader {
    uint32_t oldCrc = 0;
    uint32_t oldStart = 0;
    uint32_t oldSize = 0;
    uint32_t dataCrc = 0;
    uint32_t dataLength = 0;
};

// The whole pack file: header, then the dataLength bytes of data.
std::vector<uint8_t> buildPack(uint32_t oldStart, uint32_t oldSize, uint32_t oldCrc, const uint8_t *data,
                               uint32_t dataLength);

} // namespace quarnel
