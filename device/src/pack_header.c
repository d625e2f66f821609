#include "pack_header.h"

#include <string.h>

#include "le_fields.h"

static const uint8_t packMagic[8] = {'V', 'Y', 'N', 'O', 'T', 'A', '0', '1'};
/* lc 3, lp 0, pb 2: the one setting the probability table in work is sized for. */
#define LZMA_PROPERTIES_BYTE 0x5Du

int fotaParsePackInfo(const uint8_t *bytes, uint32_t available, uint32_t packSize, FotaPackInfo *info)
{
    const uint8_t *lzma = bytes + FOTA_PACK_HEADER_SIZE;
    if (packSize < FOTA_PACK_HEADER_SIZE + FOTA_LZMA_HEADER_SIZE ||
        available < FOTA_PACK_HEADER_SIZE + FOTA_LZMA_HEADER_SIZE)
        return FOTA_APPLY_BAD_PACK_HEADER;
    if (memcmp(bytes, packMagic, sizeof packMagic) != 0)
        return FOTA_APPLY_BAD_PACK_HEADER;
    info->oldCrc = fotaLoadLe32(bytes + 8);
    info->oldStart = fotaLoadLe32(bytes + 12);
    info->oldSize = fotaLoadLe32(bytes + 16);
    info->dataCrc = fotaLoadLe32(bytes + 20);
    info->dataLength = fotaLoadLe32(bytes + 24);
    if (info->dataLength != packSize - FOTA_PACK_HEADER_SIZE ||
        (uint64_t)info->oldStart + info->oldSize > 0x100000000u)
        return FOTA_APPLY_BAD_PACK_HEADER;
    memcpy(info->lzmaProps, lzma, FOTA_LZMA_PROPS_SIZE);
    info->streamLength = fotaLoadLe32(lzma + 5);
    if (lzma[0] != LZMA_PROPERTIES_BYTE || fotaLoadLe32(lzma + 9) != 0)
        return FOTA_APPLY_BAD_LZMA_HEADER;
    return FOTA_APPLY_OK;
}

int fotaReadPackInfo(const FotaPackSource *pack, FotaPackInfo *info)
{
    uint8_t header[FOTA_PACK_HEADER_SIZE + FOTA_LZMA_HEADER_SIZE];
    if (pack->size < sizeof header)
        return FOTA_APPLY_BAD_PACK_HEADER;
    if (pack->read(pack->context, 0, header, sizeof header) != 0)
        return FOTA_APPLY_PACK_READ_FAILED;
    return fotaParsePackInfo(header, sizeof header, pack->size, info);
}
