// Little-endian fields of packs and patch streams, whatever the host.
#pragma once

#include <cstdint>

namespace quarnel {

inline uint32_t loadLe32(const uint8_t *at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

inline uint64_t loadLe64(const uint8_t *at)
{
    return uint64_t(loadLe32(at)) | uint64_t(loadLe32(at + 4)) << 32;
}

} // namespace quarnel
