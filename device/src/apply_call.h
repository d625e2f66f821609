/* What the unsigned and the signed entry points share: one call of the applier on a pack read through
   FotaPack, after the entry point checked its arguments and divided the work memory. */
#ifndef FOTA_APPLY_CALL_H
#define FOTA_APPLY_CALL_H

#include <stddef.h>

#include "internal.h"
#include "meter.h"
#include "pack_source.h"
#include "quarnel_apply.h"
#include "work_layout.h"

/* The call with flash, pack, spare and work as given, reporting to meter; when area is not null (the signed
   call), the old image and every chunk's unit are held to it before the first write. */
FOTA_INTERNAL int fotaApplyWithin(const FotaFlash *flash, FotaPack *pack, const FotaSpareArea *spare,
                                  const FotaWork *work, const FotaTrust *area, FotaMeter *meter);

/* A work memory too small is reported as such, unless the pack is unreadable, as FotaApplyWorkSize tells. */
FOTA_INTERNAL int fotaWorkTooSmall(const FotaPackSource *pack);

#endif
