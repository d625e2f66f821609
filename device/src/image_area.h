/* Holding a pack to the flash the device lets packs write: its code area. */
#ifndef FOTA_IMAGE_AREA_H
#define FOTA_IMAGE_AREA_H

#include <stddef.h>
#include <stdint.h>

#include "internal.h"
#include "meter.h"
#include "pack_header.h"
#include "quarnel_apply.h"
#include "stream_check.h"

/* FOTA_APPLY_OK when [start, start + length) lies inside trust's image area. */
FOTA_INTERNAL int fotaCheckImageArea(const FotaTrust *trust, uint32_t start, uint32_t length);

/* A chunk visitor of the checking pass: the chunk's unit held to the image area of the FotaTrust it is given. */
FOTA_INTERNAL int fotaChunkInImageArea(void *trust, const FotaChunk *chunk);

/* FotaApplyPack, its arguments checked, reporting to meter; when area is not null, the old image and every
   chunk's unit are held to it before the first write. */
FOTA_INTERNAL int fotaApplyPackWithin(const FotaFlash *flash, const FotaPackSource *pack,
                                      const FotaSpareArea *spare, void *work, size_t workSize,
                                      const FotaTrust *area, FotaMeter *meter);

#endif
