/* The pack's 28-byte header and the 13-byte header of its LZMA block. */
#ifndef FOTA_PACK_HEADER_H
#define FOTA_PACK_HEADER_H

#include <stdint.h>

#include "internal.h"
#include "meter.h"
#include "quarnel_apply.h"

#define FOTA_PACK_HEADER_SIZE 28u
#define FOTA_LZMA_HEADER_SIZE 13u
#define FOTA_LZMA_PROPS_SIZE 5u

typedef struct FotaPackInfo {
    uint32_t oldCrc;
    uint32_t oldStart;
    uint32_t oldSize;
    uint32_t dataCrc;
    uint32_t dataLength;
    uint8_t lzmaProps[FOTA_LZMA_PROPS_SIZE];
    uint32_t streamLength; /* the decoded length the LZMA header states */
} FotaPackInfo;

/* Reads both headers and checks the magic, the data length against the pack's
   size, the properties byte and that the stated length fits in 32 bits. */
FOTA_INTERNAL int fotaReadPackInfo(const FotaPackSource *pack, FotaPackInfo *info);

/* Checks the data checksum over the stored block, read through io (FOTA_IO_BYTES), in the meter's phase. */
FOTA_INTERNAL int fotaCheckDataCrc(const FotaPackSource *pack, const FotaPackInfo *info, uint8_t *io,
                                   FotaMeter *meter);

#endif
