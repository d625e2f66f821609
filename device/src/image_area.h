/* Holding a pack to the flash the device lets packs write: its code area. */
#ifndef FOTA_IMAGE_AREA_H
#define FOTA_IMAGE_AREA_H

#include <stddef.h>
#include <stdint.h>

#include "pack_header.h"
#include "quarnel_apply.h"
#include "stream_layout.h"

/* FOTA_APPLY_OK when [start, start + length) lies inside trust's image area. */
int fotaCheckImageArea(const FotaTrust *trust, uint32_t start, uint32_t length);

/* The old image and every chunk's unit of a parsed stream, each held to trust's image area. */
int fotaCheckStreamInImageArea(const FotaTrust *trust, const FotaPackInfo *info, const FotaStream *stream);

/* FotaApplyPack; when area is not null, fotaCheckStreamInImageArea joins the checks before the first write. */
int fotaApplyPackWithin(const FotaFlash *flash, const FotaPackSource *pack, const FotaSpareArea *spare, void *work,
                        size_t workSize, const FotaTrust *area);

#endif
