/* Little-endian fields of packs and progress records, read and written byte by byte whatever the CPU. */
#ifndef FOTA_LE_FIELDS_H
#define FOTA_LE_FIELDS_H

#include <stdint.h>

static inline uint32_t fotaLoadLe32(const uint8_t *bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

static inline void fotaStoreLe32(uint8_t *bytes, uint32_t value)
{
    bytes[0] = (uint8_t)value;
    bytes[1] = (uint8_t)(value >> 8);
    bytes[2] = (uint8_t)(value >> 16);
    bytes[3] = (uint8_t)(value >> 24);
}

#endif
