/* The caller's scratch and state area, checked against the update's own area. */
#ifndef FOTA_SPARE_AREA_H
#define FOTA_SPARE_AREA_H

#include "internal.h"
#include "quarnel_apply.h"
#include "stream_layout.h"

#define FOTA_SCRATCH_BYTES 65536u
#define FOTA_SECTOR_BYTES 4096u

/* Whether [aStart, aEnd) and [bStart, bEnd) share a byte. */
FOTA_INTERNAL int fotaOverlaps(uint64_t aStart, uint64_t aEnd, uint64_t bStart, uint64_t bEnd);

/* The scratch's length: FOTA_SCRATCH_BYTES unless the caller gave one. */
FOTA_INTERNAL uint32_t fotaScratchLength(const FotaSpareArea *spare);

/* Checks programUnit, the alignment (without a sector map; with one the groups' check holds the areas to
   sectors), that scratch, state and the update's area are disjoint, and that the state area holds this
   stream's progress records with an identity of identityBytes. */
FOTA_INTERNAL int fotaCheckSpare(const FotaSpareArea *spare, const FotaStream *stream, int sectorMap,
                                 uint32_t identityBytes);

#endif
