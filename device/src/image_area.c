#include "image_area.h"

int fotaCheckImageArea(const FotaTrust *trust, uint32_t start, uint32_t length)
{
    const uint64_t areaEnd = (uint64_t)trust->imageOffset + trust->imageLength;
    if (start < trust->imageOffset || (uint64_t)start + length > areaEnd)
        return FOTA_APPLY_OUTSIDE_IMAGE_AREA;
    return FOTA_APPLY_OK;
}

int fotaChunkInImageArea(void *trust, const FotaChunk *chunk)
{
    return fotaCheckImageArea((const FotaTrust *)trust, chunk->target, chunk->length);
}
