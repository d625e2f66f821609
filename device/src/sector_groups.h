/* Groups of chunks that the update rebuilds together: without a sector map each chunk alone, its unit
   being whole sectors; with one, every run of chunks that share a sector, with the whole sectors they
   touch. Groups follow the walk, lie back to back, and end where both a chunk and a sector end. */
#ifndef FOTA_SECTOR_GROUPS_H
#define FOTA_SECTOR_GROUPS_H

#include <stdint.h>

#include "internal.h"
#include "quarnel_apply.h"
#include "stream_layout.h"

typedef struct FotaGroup {
    uint32_t firstChunk;
    uint32_t chunkCount;
    uint32_t chunksStart; /* the group's chunks' units together: [chunksStart, chunksEnd) */
    uint64_t chunksEnd;
    uint32_t start;       /* the whole sectors they touch, [start, end): what is erased and rebuilt */
    uint64_t end;
} FotaGroup;

/* The group that begins with chunk first, whose unit starts at target. */
FOTA_INTERNAL int fotaGroupFrom(const FotaFlash *flash, const FotaStream *stream, const uint8_t *codes,
                                uint32_t first, uint32_t target, FotaGroup *group);

/* Where the walk puts the first chunk after the group. */
FOTA_INTERNAL uint32_t fotaTargetAfter(const FotaStream *stream, const uint8_t *codes, const FotaGroup *group);

/* The unit of the group's chunk index (0 for its first), by the walk. */
FOTA_INTERNAL void fotaChunkInGroup(const FotaStream *stream, const uint8_t *codes, const FotaGroup *group,
                                    uint32_t index, uint32_t *target, uint32_t *length);

/* With a sector map, every group before the first write: whole sectors, none shared with the scratch or
   the state area or reaching outside area (the signed call's image area; may be 0), no more chunks than
   FOTA_GROUP_MAX_CHUNKS, none longer than the scratch; the scratch and the state area whole sectors. The
   groups' places go into *fingerprint, so that records written under one sector map are not read under
   another. FOTA_APPLY_BAD_GEOMETRY otherwise. */
FOTA_INTERNAL int fotaCheckGroups(const FotaFlash *flash, const FotaSpareArea *spare, const FotaStream *stream,
                                  const uint8_t *codes, const FotaTrust *area, uint32_t *fingerprint);

#endif
