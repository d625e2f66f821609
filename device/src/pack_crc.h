/* The pack checksum: reflected CRC-32 (0xEDB88320), register started at 0, no final inversion. */
#ifndef FOTA_PACK_CRC_H
#define FOTA_PACK_CRC_H

#include <stdint.h>

#include "internal.h"

/* Continues a checksum over length more bytes; start with crc 0. */
FOTA_INTERNAL uint32_t fotaCrcUpdate(uint32_t crc, const uint8_t *bytes, uint32_t length);

#endif
