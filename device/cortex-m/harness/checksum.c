#include "checksum.h"

/* Bit by bit: the test program checks results, it has no speed to win. */
uint32_t packChecksum(const uint8_t *bytes, uint32_t length)
{
    uint32_t crc = 0;
    for (uint32_t i = 0; i < length; i++) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; bit++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}
