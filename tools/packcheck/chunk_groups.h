// The groups of chunks the device applier rebuilds together, worked out on the host from the pack's chunks.
#pragma once

#include <cstddef>
#include <vector>

#include "packcheck/nor_flash_sim.h"
#include "verify/stream_layout.h"

namespace quarnel::powercut {

struct ChunkGroup {
    FlashRange sectors;    // what the applier erases and rebuilds for the group
    size_t firstChunk = 0; // in walk order
    size_t chunkCount = 0;
};

// In walk order: without a sector map each chunk's unit alone; with one, every run of chunks
// each reaching into the sectors of those before it, over the whole sectors they touch. Chunks
// outside the map count as their own units.
std::vector<ChunkGroup> chunkGroups(const std::vector<verify::StreamChunk> &chunks,
                                    const std::vector<NorSectorRun> &sectors);

} // namespace quarnel::powercut
