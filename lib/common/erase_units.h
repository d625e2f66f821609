// The units the device's code flash erases in: every chunk of a pack is one of them.
#pragma once

#include <cstdint>

namespace quarnel {

// The smallest unit, a sector: images and code areas are whole sectors.
constexpr uint32_t sectorSize = 4096;
constexpr uint32_t mediumEraseUnit = 32768;
constexpr uint32_t largeEraseUnit = 65536;

constexpr bool isEraseUnit(uint64_t length)
{
    return length == sectorSize || length == mediumEraseUnit || length == largeEraseUnit;
}

} // namespace quarnel
