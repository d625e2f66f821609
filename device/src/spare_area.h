/* The caller's scratch and state area, checked against the update's own area. */
#ifndef FOTA_SPARE_AREA_H
#define FOTA_SPARE_AREA_H

#include "internal.h"
#include "quarnel_apply.h"
#include "stream_layout.h"

#define FOTA_SCRATCH_BYTES 65536u
#define FOTA_SECTOR_BYTES 4096u

/* Checks alignment, programUnit, that scratch, state and the update's area are
   disjoint, and that the state area holds this stream's progress records. */
FOTA_INTERNAL int fotaCheckSpare(const FotaSpareArea *spare, const FotaStream *stream);

#endif
