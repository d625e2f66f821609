#include "image_area.h"

int fotaCheckImageArea(const FotaTrust *trust, uint32_t start, uint32_t length)
{
    const uint64_t areaEnd = (uint64_t)trust->imageOffset + trust->imageLength;
    if (start < trust->imageOffset || (uint64_t)start + length > areaEnd)
        return FOTA_APPLY_OUTSIDE_IMAGE_AREA;
    return FOTA_APPLY_OK;
}

int fotaCheckStreamInImageArea(const FotaTrust *trust, const FotaPackInfo *info, const FotaStream *stream)
{
    FotaChunk chunk;
    int more;
    int result = fotaCheckImageArea(trust, info->oldStart, info->oldSize);
    for (more = fotaFirstChunk(stream, &chunk); result == FOTA_APPLY_OK && more; more = fotaNextChunk(stream, &chunk))
        result = fotaCheckImageArea(trust, chunk.target, chunk.length);
    return result;
}
