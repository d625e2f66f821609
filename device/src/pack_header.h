/* The pack's 28-byte header and the 13-byte header of its LZMA block. */
#ifndef FOTA_PACK_HEADER_H
#define FOTA_PACK_HEADER_H

#include <stdint.h>

#include "internal.h"
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

/* Both headers from the pack's first available bytes (all of them when it has fewer than the two headers):
   checks the magic, the data length against packSize, the properties byte and that the stated length fits
   in 32 bits. */
FOTA_INTERNAL int fotaParsePackInfo(const uint8_t *bytes, uint32_t available, uint32_t packSize,
                                    FotaPackInfo *info);

/* Reads both headers through the pack's callback and parses them. */
FOTA_INTERNAL int fotaReadPackInfo(const FotaPackSource *pack, FotaPackInfo *info);

#endif
