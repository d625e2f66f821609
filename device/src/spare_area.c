#include "spare_area.h"

#include "progress.h"

int fotaOverlaps(uint64_t aStart, uint64_t aEnd, uint64_t bStart, uint64_t bEnd)
{
    return aStart < bEnd && bStart < aEnd;
}

uint32_t fotaScratchLength(const FotaSpareArea *spare)
{
    return spare->scratchLength != 0 ? spare->scratchLength : FOTA_SCRATCH_BYTES;
}

int fotaCheckSpare(const FotaSpareArea *spare, const FotaStream *stream, int sectorMap, uint32_t identityBytes)
{
    const uint32_t unit = spare->programUnit;
    const uint64_t scratchEnd = (uint64_t)spare->scratchOffset + fotaScratchLength(spare);
    const uint64_t stateEnd = (uint64_t)spare->stateOffset + spare->stateLength;
    if (unit == 0 || unit > 256u || (unit & (unit - 1u)) != 0)
        return FOTA_APPLY_BAD_SPARE_AREA;
    if (spare->stateLength == 0 || stateEnd > 0x100000000u || scratchEnd > 0x100000000u)
        return FOTA_APPLY_BAD_SPARE_AREA;
    /* Without a sector map the flash erases 4, 32 and 64 KiB units, and the scratch holds the largest. */
    if (!sectorMap &&
        (fotaScratchLength(spare) != FOTA_SCRATCH_BYTES || spare->scratchOffset % FOTA_SCRATCH_BYTES != 0 ||
         spare->stateOffset % FOTA_SECTOR_BYTES != 0 || spare->stateLength % FOTA_SECTOR_BYTES != 0))
        return FOTA_APPLY_BAD_SPARE_AREA;
    if (fotaOverlaps(spare->scratchOffset, scratchEnd, stream->areaStart, stream->areaEnd) ||
        fotaOverlaps(spare->stateOffset, stateEnd, stream->areaStart, stream->areaEnd) ||
        fotaOverlaps(spare->scratchOffset, scratchEnd, spare->stateOffset, stateEnd))
        return FOTA_APPLY_BAD_SPARE_AREA;
    if (fotaStateBytesNeeded(stream->chunkCount, unit, identityBytes) > spare->stateLength)
        return FOTA_APPLY_STATE_TOO_SMALL;
    return FOTA_APPLY_OK;
}
