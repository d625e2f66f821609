/* The flash's sectors as the port's sectorAt names them, each answer checked before it is relied on. */
#ifndef FOTA_SECTOR_MAP_H
#define FOTA_SECTOR_MAP_H

#include <stdint.h>

#include "internal.h"
#include "quarnel_apply.h"

#define FOTA_MIN_SECTOR_BYTES 256u
#define FOTA_MAX_SECTOR_BYTES 262144u

/* The sector that holds offset: FOTA_APPLY_BAD_GEOMETRY when the port names none, or one of no valid size,
   not at a multiple of FOTA_MIN_SECTOR_BYTES, or not holding offset. */
FOTA_INTERNAL int fotaSectorAt(const FotaFlash *flash, uint32_t offset, uint32_t *start, uint32_t *length);

/* FOTA_APPLY_OK when [start, end) is whole sectors: a sector begins at start and one ends at end. */
FOTA_INTERNAL int fotaWholeSectors(const FotaFlash *flash, uint32_t start, uint64_t end);

/* The end of the last sector that [start, start + length) touches, start being a sector's start. */
FOTA_INTERNAL int fotaSectorsEnd(const FotaFlash *flash, uint32_t start, uint64_t length, uint64_t *end);

#endif
