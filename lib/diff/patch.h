// Patch records: new bytes expressed against old bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace quarnel {

// Produces new[newOffset, +D+E): D bytes of old[oldOffset..] plus diffBytes
// (mod 256), then extraBytes copied as they are.
class Patch {
public:
    uint32_t newOffset = 0;
    uint32_t oldOffset = 0;
    std::vector<uint8_t> diffBytes;
    std::vector<uint8_t> extraBytes;
};

using PatchPtr = std::shared_ptr<Patch>;
using PatchList = std::vector<PatchPtr>;
// One PatchList per chunk, in the order the chunks must be applied.
using ChunkList = std::vector<PatchList>;

} // namespace quarnel
