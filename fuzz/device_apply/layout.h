// The one modelled device of fuzz_device_apply: where its flash keeps what.
#pragma once

#include <cstdint>

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

} // namespace devicefuzz
