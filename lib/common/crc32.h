// The pack checksum: reflected CRC-32 (0xEDB88320), initial value 0, no final inversion.
#pragma once

#include <cstdint>

namespace quarnel {

uint32_t packCrc32(const uint8_t *bytes, uint32_t length);

} // namespace quarnel
