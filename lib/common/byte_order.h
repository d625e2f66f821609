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

inline void storeLe32(uint8_t *at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

inline void storeLe64(uint8_t *at, uint64_t value)
{
    storeLe32(at, static_cast<uint32_t>(value));
    storeLe32(at + 4, static_cast<uint32_t>(value >> 32));
}

} // namespace quarnel
