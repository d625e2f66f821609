// The one modelled device of fuzz_device_apply: where its flash keeps what.
#pragma once

#include <cstdint>
#include <vector>

#include "nor_flash.h"

namespace devicefuzz {

// A flash range [start, end), end in 64 bits so that a range reaching 2^32 does not wrap.
struct Region {
    uint64_t start = 0;
    uint64_t end = 0;

    bool holds(uint64_t offset, uint64_t length) const { return offset >= start && offset + length <= end; }
};

// Offsets from the flash base. The boot area below the code area is never the update's to touch.
constexpr uint32_t codeBase = 0x10000;
constexpr uint32_t codeSize = 0x10000;
constexpr uint32_t scratchOffset = 0x20000;
constexpr uint32_t scratchSize = 0x10000;
constexpr uint32_t stateOffset = 0x30000;
constexpr uint32_t stateSizeLimit = 0x4000; // records for 31 chunks of a 256-byte program unit
constexpr uint32_t flashSize = stateOffset + stateSizeLimit;

constexpr Region codeArea{codeBase, codeBase + codeSize};
constexpr Region scratchArea{scratchOffset, scratchOffset + scratchSize};

// The flash's sectors, by the input's choice: erase units of 4, 32 and 64 KiB (no map); pages of 256 bytes;
// 16 KiB sectors over the code area, which the fuzz images' 4 KiB chunks share; one 64 KiB sector over it,
// the images rebuilt in it with the bytes past them carried over. The spare area is whole sectors in each.
inline const std::vector<NorSectorRun> &sectorMapOf(uint8_t choice)
{
    static const std::vector<NorSectorRun> maps[4] = {
        {},
        {{flashSize / 256, 256}},
        {{scratchOffset / 16384, 16384}, {1, scratchSize}, {stateSizeLimit / 4096, 4096}},
        {{1, codeBase}, {1, codeSize}, {1, scratchSize}, {stateSizeLimit / 4096, 4096}},
    };
    return maps[choice & 3];
}

} // namespace devicefuzz
