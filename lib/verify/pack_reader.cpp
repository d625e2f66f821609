// Reads packs as doc/pack-format.md describes them, refusing what its section 4.6 lists.
#include "verify/pack_reader.h"

#include <algorithm>
#include <cstring>

#include "common/byte_order.h"
#include "common/crc32.h"
#include "common/erase_units.h"
#include "common/result_codes.h"

namespace quarnel::verify {

uint64_t streamCapForArea(uint32_t codeSize)
{
    return 4 + 12 * uint64_t{codeSize / sectorSize} + 13 * uint64_t{codeSize};
}

int readPackHeader(const std::vector<uint8_t> &packBytes, PackHeader &header, Findings &findings)
{
    const size_t size = packBytes.size();
    if (size < packHeaderSize) {
        addFinding(findings, FOTA_PACK_INVALID, "pack byte 0: %zu bytes are shorter than the %u-byte header", size,
                   packHeaderSize);
        return FOTA_PACK_INVALID;
    }
    const uint8_t *bytes = packBytes.data();
    header.oldCrc = loadLe32(bytes + packOldCrcOffset);
    header.oldStart = loadLe32(bytes + packOldStartOffset);
    header.oldSize = loadLe32(bytes + packOldSizeOffset);
    header.dataCrc = loadLe32(bytes + packDataCrcOffset);
    header.dataLength = loadLe32(bytes + packDataLengthOffset);

    const size_t before = findings.size();
    if (std::memcmp(bytes, packMagic, sizeof packMagic) != 0)
        addFinding(findings, FOTA_PACK_INVALID,
                   "pack byte 0 (magic): %02X %02X %02X %02X %02X %02X %02X %02X, expected \"VYNOTA01\"", bytes[0],
                   bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7]);
    const size_t dataBytes = size - packHeaderSize;
    if (header.dataLength != dataBytes) {
        addFinding(findings, FOTA_PACK_INVALID, "pack byte %u (dataLength): %u, but %zu bytes follow the header",
                   packDataLengthOffset, header.dataLength, dataBytes);
    } else {
        const uint32_t crc = packCrc32(bytes + packHeaderSize, header.dataLength);
        if (crc != header.dataCrc)
            addFinding(findings, FOTA_PACK_INVALID, "pack byte %u (dataCrc): 0x%08X, the data hashes to 0x%08X",
                       packDataCrcOffset, header.dataCrc, crc);
    }
    return findings.size() == before ? FOTA_OK : FOTA_PACK_INVALID;
}

int readPackData(const std::vector<uint8_t> &packBytes, uint64_t streamCap, PackContents &contents, Findings &findings)
{
    const size_t blockSize = packBytes.size() > packHeaderSize ? packBytes.size() - packHeaderSize : 0;
    const uint8_t *block = blockSize > 0 ? packBytes.data() + packHeaderSize : nullptr;
    const uint64_t cap = std::min(streamCap, maxStreamLength);
    if (const int result = readLzmaHeader(block, blockSize, cap, packHeaderSize, contents.lzma, findings))
        return result;
    if (const int result = decodeLzmaBlock(block, blockSize, contents.lzma, packHeaderSize, contents.stream, findings))
        return result;
    return parsePatchStream(contents.stream, contents.chunks, findings);
}

int readPack(const std::vector<uint8_t> &packBytes, uint64_t streamCap, PackContents &contents, Findings &findings)
{
    if (const int result = readPackHeader(packBytes, contents.header, findings))
        return result;
    return readPackData(packBytes, streamCap, contents, findings);
}

} // namespace quarnel::verify
