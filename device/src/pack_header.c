#include "pack_header.h"

#include <string.h>

#include "le_fields.h"
#include "pack_crc.h"
#include "work_layout.h"

static const uint8_t packMagic[8] = {'V', 'Y', 'N', 'O', 'T', 'A', '0', '1'};
/* lc 3, lp 0, pb 2: the one setting the probability table in work is sized for. */
#define LZMA_PROPERTIES_BYTE 0x5Du

int fotaReadPackInfo(const FotaPackSource *pack, FotaPackInfo *info)
{
    uint8_t header[FOTA_PACK_HEADER_SIZE + FOTA_LZMA_HEADER_SIZE];
    const uint8_t *lzma = header + FOTA_PACK_HEADER_SIZE;
    if (pack->size < sizeof header)
        return FOTA_APPLY_BAD_PACK_HEADER;
    if (pack->read(pack->context, 0, header, sizeof header) != 0)
        return FOTA_APPLY_PACK_READ_FAILED;
    if (memcmp(header, packMagic, sizeof packMagic) != 0)
        return FOTA_APPLY_BAD_PACK_HEADER;
    info->oldCrc = fotaLoadLe32(header + 8);
    info->oldStart = fotaLoadLe32(header + 12);
    info->oldSize = fotaLoadLe32(header + 16);
    info->dataCrc = fotaLoadLe32(header + 20);
    info->dataLength = fotaLoadLe32(header + 24);
    if (info->dataLength != pack->size - FOTA_PACK_HEADER_SIZE ||
        (uint64_t)info->oldStart + info->oldSize > 0x100000000u)
        return FOTA_APPLY_BAD_PACK_HEADER;
    memcpy(info->lzmaProps, lzma, FOTA_LZMA_PROPS_SIZE);
    info->streamLength = fotaLoadLe32(lzma + 5);
    if (lzma[0] != LZMA_PROPERTIES_BYTE || fotaLoadLe32(lzma + 9) != 0)
        return FOTA_APPLY_BAD_LZMA_HEADER;
    return FOTA_APPLY_OK;
}

int fotaCheckDataCrc(const FotaPackSource *pack, const FotaPackInfo *info, uint8_t *io, FotaMeter *meter)
{
    uint32_t crc = 0;
    uint32_t done = 0;
    while (done < info->dataLength) {
        const uint32_t rest = info->dataLength - done;
        const uint32_t piece = rest < FOTA_IO_BYTES ? rest : FOTA_IO_BYTES;
        if (pack->read(pack->context, FOTA_PACK_HEADER_SIZE + done, io, piece) != 0)
            return FOTA_APPLY_PACK_READ_FAILED;
        crc = fotaCrcUpdate(crc, io, piece);
        done += piece;
        fotaMeterAt(meter, done);
    }
    return crc == info->dataCrc ? FOTA_APPLY_OK : FOTA_APPLY_BAD_DATA_CRC;
}
