/* The pack's checksum: CRC-32 with the reflected polynomial 0xEDB88320,
   register started at 0 and not inverted at the end. */
#ifndef CHECKSUM_H
#define CHECKSUM_H

#include <stdint.h>

uint32_t packChecksum(const uint8_t *bytes, uint32_t length);

#endif
