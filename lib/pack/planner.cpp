#include "pack/planner.h"

#include <algorithm>
#include <cstring>

#include "common/erase_units.h"
#include "diff/differ.h"
#include "diff/repeats.h"
#include "diff/suffix_index.h"

namespace quarnel {

bool walksForward(const PatchList &directionPatches)
{
    // Content moving down is applied from the bottom up, so that every chunk
    // still finds the old bytes it reads above itself; and the reverse.
    return diffBytesMovingDown(directionPatches) > diffBytesMovingUp(directionPatches);
}

void appendChunk(PatchList patches, uint32_t pos, ChunkList &chunks)
{
    for (const PatchPtr &patch : patches)
        patch->newOffset += pos;
    chunks.push_back(std::move(patches));
}

uint32_t chunkLength(uint32_t boundary, uint32_t available)
{
    if ((boundary & (largeEraseUnit - 1)) == 0 && available >= largeEraseUnit)
        return largeEraseUnit;
    if ((boundary & (mediumEraseUnit - 1)) == 0 && available >= mediumEraseUnit)
        return mediumEraseUnit;
    return sectorSize;
}

int32_t diffBytesMovingUp(const PatchList &patches)
{
    int32_t sum = 0;
    for (const PatchPtr &patch : patches)
        if (patch->newOffset > patch->oldOffset)
            sum += static_cast<int32_t>(patch->diffBytes.size());
    return sum;
}

int32_t diffBytesMovingDown(const PatchList &patches)
{
    int32_t sum = 0;
    for (const PatchPtr &patch : patches)
        if (patch->oldOffset > patch->newOffset)
            sum += static_cast<int32_t>(patch->diffBytes.size());
    return sum;
}

UpdatePlan planUpdate(uint8_t *workingImage, uint32_t oldSize, const uint8_t *newImage, uint32_t newSize,
                      uint32_t newStart)
{
    const int32_t oldLength = static_cast<int32_t>(oldSize);
    SuffixIndex index;
    index.build(workingImage, oldLength);

    std::vector<int32_t> newRepeats(newSize);
    measureRepeats(newImage, static_cast<int32_t>(newSize), newRepeats.data());

    UpdatePlan plan;
    plan.directionPatches = diffWithSuffixArray(index.suffixArray(), workingImage, index.repeats(), oldLength, newImage,
                                                newRepeats.data(), newSize);
    // The index catches up with a chunk's bytes only when the next chunk needs it. Bytes at
    // or beyond oldSize are never matched against, so only the part below it counts.
    uint32_t changedBegin = 0;
    uint32_t changedEnd = 0;
    walkChunks(walksForward(plan.directionPatches), newSize, newStart, [&](uint32_t pos, uint32_t len) {
        index.update(workingImage, static_cast<int32_t>(changedBegin), static_cast<int32_t>(changedEnd));
        appendChunk(diffWithSuffixArray(index.suffixArray(), workingImage, index.repeats(), oldLength, newImage + pos,
                                        newRepeats.data() + pos, len),
                    pos, plan.chunks);
        std::memcpy(workingImage + pos, newImage + pos, len);
        changedBegin = std::min(pos, oldSize);
        changedEnd = std::min(pos + len, oldSize);
    });
    return plan;
}

} // namespace quarnel
