#include "container/pack_header.h"

#include <cstring>

#include "container/crc32.h"

namespace quarnel {

namespace {

// Little-endian whatever the host, so the file layout never depends on it.
void storeU32(uint8_t *at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

} // namespace

std::vector<uint8_t> buildPack(uint32_t oldStart, uint32_t oldSize, uint32_t oldCrc, const uint8_t *data,
                               uint32_t dataLength)
{
    std::vector<uint8_t> pack(size_t{packHeaderSize} + dataLength);
    std::memcpy(pack.data(), packMagic, sizeof packMagic);
    // The old image's checksum precedes its start and size in the file.
    storeU32(&pack[packOldCrcOffset], oldCrc);
    storeU32(&pack[packOldStartOffset], oldStart);
    storeU32(&pack[packOldSizeOffset], oldSize);
    storeU32(&pack[packDataCrcOffset], packCrc32(data, dataLength));
    storeU32(&pack[packDataLengthOffset], dataLength);
    if (dataLength > 0)
        std::memcpy(&pack[packHeaderSize], data, dataLength);
    return pack;
}

} // namespace quarnel
