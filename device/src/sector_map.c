#include "sector_map.h"

int fotaSectorAt(const FotaFlash *flash, uint32_t offset, uint32_t *start, uint32_t *length)
{
    uint32_t sectorStart = 0;
    uint32_t sectorLength = 0;
    if (flash->sectorAt(flash->context, offset, &sectorStart, &sectorLength) != 0)
        return FOTA_APPLY_BAD_GEOMETRY;
    if (sectorLength < FOTA_MIN_SECTOR_BYTES || sectorLength > FOTA_MAX_SECTOR_BYTES ||
        (sectorLength & (sectorLength - 1u)) != 0 || sectorStart % FOTA_MIN_SECTOR_BYTES != 0 ||
        sectorStart > offset || offset - sectorStart >= sectorLength ||
        (uint64_t)sectorStart + sectorLength > 0x100000000u)
        return FOTA_APPLY_BAD_GEOMETRY;
    *start = sectorStart;
    *length = sectorLength;
    return FOTA_APPLY_OK;
}

int fotaSectorsEnd(const FotaFlash *flash, uint32_t start, uint64_t length, uint64_t *end)
{
    uint64_t at = start;
    do {
        uint32_t sectorStart;
        uint32_t sectorLength;
        const int result = fotaSectorAt(flash, (uint32_t)at, &sectorStart, &sectorLength);
        if (result != FOTA_APPLY_OK)
            return result;
        if (sectorStart != at)
            return FOTA_APPLY_BAD_GEOMETRY;
        at += sectorLength;
    } while (at < (uint64_t)start + length && at < 0x100000000u);
    if (at < (uint64_t)start + length)
        return FOTA_APPLY_BAD_GEOMETRY;
    *end = at;
    return FOTA_APPLY_OK;
}

int fotaWholeSectors(const FotaFlash *flash, uint32_t start, uint64_t end)
{
    uint64_t reached = 0;
    int result;
    if (end <= start)
        return FOTA_APPLY_BAD_GEOMETRY;
    result = fotaSectorsEnd(flash, start, end - start, &reached);
    return result != FOTA_APPLY_OK ? result : reached == end ? FOTA_APPLY_OK : FOTA_APPLY_BAD_GEOMETRY;
}
