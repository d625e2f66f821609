#include "sector_groups.h"

#include "le_fields.h"
#include "pack_crc.h"
#include "sector_map.h"
#include "spare_area.h"
#include "work_layout.h"

int fotaGroupFrom(const FotaFlash *flash, const FotaStream *stream, const uint8_t *codes, uint32_t first,
                  uint32_t target, FotaGroup *group)
{
    uint32_t sectorStart;
    uint32_t sectorLength;
    int result;
    group->firstChunk = first;
    group->chunkCount = 1;
    group->chunksStart = target;
    group->chunksEnd = (uint64_t)target + fotaChunkLength(codes, first);
    group->start = group->chunksStart;
    group->end = group->chunksEnd;
    if (flash->sectorAt == 0)
        return FOTA_APPLY_OK;
    if ((result = fotaSectorAt(flash, group->chunksStart, &sectorStart, &sectorLength)) != FOTA_APPLY_OK)
        return result;
    group->start = sectorStart;
    if ((result = fotaSectorAt(flash, (uint32_t)(group->chunksEnd - 1u), &sectorStart, &sectorLength)) !=
        FOTA_APPLY_OK)
        return result;
    group->end = (uint64_t)sectorStart + sectorLength;
    /* Every next chunk that reaches into the sectors so far joins, and brings its own sectors. */
    while (first + group->chunkCount < stream->chunkCount) {
        const uint32_t length = fotaChunkLength(codes, first + group->chunkCount);
        const int rising = stream->direction > 0;
        const uint64_t nextStart = rising ? group->chunksEnd : (uint64_t)group->chunksStart - length;
        if (rising ? nextStart >= group->end : group->chunksStart <= group->start)
            break;
        if (group->chunkCount == FOTA_GROUP_MAX_CHUNKS)
            return FOTA_APPLY_BAD_GEOMETRY;
        group->chunkCount += 1;
        if (rising) {
            group->chunksEnd = nextStart + length;
            result = fotaSectorAt(flash, (uint32_t)(group->chunksEnd - 1u), &sectorStart, &sectorLength);
            if (result == FOTA_APPLY_OK && (uint64_t)sectorStart + sectorLength > group->end)
                group->end = (uint64_t)sectorStart + sectorLength;
        } else {
            group->chunksStart = (uint32_t)nextStart;
            result = fotaSectorAt(flash, group->chunksStart, &sectorStart, &sectorLength);
            if (result == FOTA_APPLY_OK && sectorStart < group->start)
                group->start = sectorStart;
        }
        if (result != FOTA_APPLY_OK)
            return result;
    }
    return FOTA_APPLY_OK;
}

uint32_t fotaTargetAfter(const FotaStream *stream, const uint8_t *codes, const FotaGroup *group)
{
    const uint32_t next = group->firstChunk + group->chunkCount;
    if (stream->direction > 0 || next >= stream->chunkCount)
        return (uint32_t)group->chunksEnd;
    return group->chunksStart - fotaChunkLength(codes, next);
}

void fotaChunkInGroup(const FotaStream *stream, const uint8_t *codes, const FotaGroup *group, uint32_t index,
                      uint32_t *target, uint32_t *length)
{
    uint32_t i;
    uint64_t at = stream->direction < 0 ? group->chunksEnd : group->chunksStart;
    for (i = 0; i <= index; ++i) {
        *length = fotaChunkLength(codes, group->firstChunk + i);
        if (stream->direction < 0)
            at -= *length;
        *target = (uint32_t)at;
        if (stream->direction >= 0)
            at += *length;
    }
}

/* The group's sectors, and where they are not to reach. */
static int checkGroup(const FotaFlash *flash, const FotaSpareArea *spare, const FotaTrust *area,
                      const FotaGroup *group)
{
    const uint32_t scratchLength = fotaScratchLength(spare);
    const int result = fotaWholeSectors(flash, group->start, group->end);
    if (result != FOTA_APPLY_OK)
        return result;
    if (fotaOverlaps(group->start, group->end, spare->scratchOffset, (uint64_t)spare->scratchOffset + scratchLength) ||
        fotaOverlaps(group->start, group->end, spare->stateOffset, (uint64_t)spare->stateOffset + spare->stateLength) ||
        group->end - group->start > scratchLength)
        return FOTA_APPLY_BAD_GEOMETRY;
    if (area != 0 && (group->start < area->imageOffset ||
                      group->end > (uint64_t)area->imageOffset + area->imageLength))
        return FOTA_APPLY_BAD_GEOMETRY;
    return FOTA_APPLY_OK;
}

int fotaCheckGroups(const FotaFlash *flash, const FotaSpareArea *spare, const FotaStream *stream,
                    const uint8_t *codes, const FotaTrust *area, uint32_t *fingerprint)
{
    uint32_t first = 0;
    uint32_t target = stream->firstTarget;
    uint32_t crc = 0;
    uint8_t place[8];
    int result =
        fotaWholeSectors(flash, spare->scratchOffset, (uint64_t)spare->scratchOffset + fotaScratchLength(spare));
    if (result == FOTA_APPLY_OK)
        result = fotaWholeSectors(flash, spare->stateOffset, (uint64_t)spare->stateOffset + spare->stateLength);
    while (result == FOTA_APPLY_OK && first < stream->chunkCount) {
        FotaGroup group;
        if ((result = fotaGroupFrom(flash, stream, codes, first, target, &group)) != FOTA_APPLY_OK ||
            (result = checkGroup(flash, spare, area, &group)) != FOTA_APPLY_OK)
            break;
        fotaStoreLe32(place, group.start);
        fotaStoreLe32(place + 4, (uint32_t)(group.end - group.start));
        crc = fotaCrcUpdate(crc, place, sizeof place);
        target = fotaTargetAfter(stream, codes, &group);
        first += group.chunkCount;
    }
    fotaStoreLe32(place, fotaScratchLength(spare));
    *fingerprint = fotaCrcUpdate(crc, place, 4);
    return result;
}
