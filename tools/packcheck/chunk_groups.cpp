#include "packcheck/chunk_groups.h"

#include <algorithm>

#include "packcheck/power_cuts.h"

namespace quarnel::powercut {

namespace {

// The whole sectors that the chunk's unit touches.
FlashRange sectorsOf(const verify::StreamChunk &chunk, const std::vector<NorSectorRun> &sectors)
{
    const uint32_t end = chunk.targetOffset + static_cast<uint32_t>(chunk.length());
    if (sectors.empty())
        return {chunk.targetOffset, end};
    const FlashRange first = sectorOf(sectors, chunk.targetOffset);
    const FlashRange last = sectorOf(sectors, end - 1);
    if (first.start == first.end || last.start == last.end)
        return {chunk.targetOffset, end};
    return {first.start, last.end};
}

} // namespace

std::vector<ChunkGroup> chunkGroups(const std::vector<verify::StreamChunk> &chunks,
                                    const std::vector<NorSectorRun> &sectors)
{
    std::vector<ChunkGroup> groups;
    for (size_t i = 0; i < chunks.size(); ++i) {
        const uint32_t start = chunks[i].targetOffset;
        const uint32_t end = start + static_cast<uint32_t>(chunks[i].length());
        const FlashRange touched = sectorsOf(chunks[i], sectors);
        ChunkGroup *last = groups.empty() ? nullptr : &groups.back();
        if (!sectors.empty() && last != nullptr && start < last->sectors.end && end > last->sectors.start) {
            last->sectors = {std::min(last->sectors.start, touched.start), std::max(last->sectors.end, touched.end)};
            last->chunkCount += 1;
        } else {
            groups.push_back({touched, i, 1});
        }
    }
    return groups;
}

} // namespace quarnel::powercut
