// Writes the 28-byte header of doc/pack-format.md section 1; a change here is a change of that document.
#include "container/pack_header.h"

#include <cstring>

#include "common/byte_order.h"
#include "common/crc32.h"

namespace quarnel {

std::vector<uint8_t> buildPack(uint32_t oldStart, uint32_t oldSize, uint32_t oldCrc, const uint8_t *data,
                               uint32_t dataLength)
{
    std::vector<uint8_t> pack(size_t{packHeaderSize} + dataLength);
    std::memcpy(pack.data(), packMagic, sizeof packMagic);
    // The old image's checksum precedes its start and size in the file.
    storeLe32(&pack[packOldCrcOffset], oldCrc);
    storeLe32(&pack[packOldStartOffset], oldStart);
    storeLe32(&pack[packOldSizeOffset], oldSize);
    storeLe32(&pack[packDataCrcOffset], packCrc32(data, dataLength));
    storeLe32(&pack[packDataLengthOffset], dataLength);
    if (dataLength > 0)
        std::memcpy(&pack[packHeaderSize], data, dataLength);
    return pack;
}

} // namespace quarnel
