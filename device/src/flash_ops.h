/* Flash transfers through the I/O block, with the callbacks' failures turned into result codes. */
#ifndef FOTA_FLASH_OPS_H
#define FOTA_FLASH_OPS_H

#include <stdint.h>

#include "internal.h"
#include "meter.h"
#include "quarnel_apply.h"

FOTA_INTERNAL int fotaRead(const FotaFlash *flash, uint32_t offset, void *out, uint32_t length);
FOTA_INTERNAL int fotaErase(const FotaFlash *flash, uint32_t offset, uint32_t length);
FOTA_INTERNAL int fotaProgram(const FotaFlash *flash, uint32_t offset, const void *data, uint32_t length);

/* The pack checksum of length flash bytes from offset, read through io (FOTA_IO_BYTES); the meter advances
   by each block read. */
FOTA_INTERNAL int fotaFlashCrc(const FotaFlash *flash, uint32_t offset, uint32_t length, uint8_t *io, uint32_t *crc,
                               FotaMeter *meter);

#endif
