#include "spare_area.h"

#include "progress.h"

static int overlaps(uint64_t aStart, uint64_t aEnd, uint64_t bStart, uint64_t bEnd)
{
    return aStart < bEnd && bStart < aEnd;
}

int fotaCheckSpare(const FotaSpareArea *spare, const FotaStream *stream)
{
    const uint32_t unit = spare->programUnit;
    const uint64_t scratchEnd = (uint64_t)spare->scratchOffset + FOTA_SCRATCH_BYTES;
    const uint64_t stateEnd = (uint64_t)spare->stateOffset + spare->stateLength;
    if (unit == 0 || unit > 256u || (unit & (unit - 1u)) != 0)
        return FOTA_APPLY_BAD_SPARE_AREA;
    if (spare->scratchOffset % FOTA_SCRATCH_BYTES != 0 || spare->stateOffset % FOTA_SECTOR_BYTES != 0 ||
        spare->stateLength == 0 || spare->stateLength % FOTA_SECTOR_BYTES != 0 || stateEnd > 0x100000000u)
        return FOTA_APPLY_BAD_SPARE_AREA;
    if (overlaps(spare->scratchOffset, scratchEnd, stream->areaStart, stream->areaEnd) ||
        overlaps(spare->stateOffset, stateEnd, stream->areaStart, stream->areaEnd) ||
        overlaps(spare->scratchOffset, scratchEnd, spare->stateOffset, stateEnd))
        return FOTA_APPLY_BAD_SPARE_AREA;
    if (fotaStateBytesNeeded(stream->chunkCount, unit) > spare->stateLength)
        return FOTA_APPLY_STATE_TOO_SMALL;
    return FOTA_APPLY_OK;
}
