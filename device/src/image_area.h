/* Holding a pack to the flash the device lets packs write: its code area. */
#ifndef FOTA_IMAGE_AREA_H
#define FOTA_IMAGE_AREA_H

#include <stdint.h>

#include "internal.h"
#include "quarnel_apply.h"
#include "stream_check.h"

/* FOTA_APPLY_OK when [start, start + length) lies inside trust's image area. */
FOTA_INTERNAL int fotaCheckImageArea(const FotaTrust *trust, uint32_t start, uint32_t length);

/* A chunk visitor of the checking pass: the chunk's unit held to the image area of the FotaTrust it is given. */
FOTA_INTERNAL int fotaChunkInImageArea(void *trust, const FotaChunk *chunk);

#endif
