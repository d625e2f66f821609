#include "pack/planner.h"

#include <algorithm>
#include <cstring>

#include "diff/differ.h"

namespace quarnel {

namespace {

constexpr uint32_t largeChunk = 65536;
constexpr uint32_t mediumChunk = 32768;
constexpr uint32_t smallChunk = 4096;

// Diffs one chunk against the working image, lists it, then writes it in.
void planChunk(uint8_t *workingImage, uint32_t oldSize, const uint8_t *newImage, uint32_t pos, uint32_t len,
               ChunkList &chunks)
{
    PatchList patches = diffBuffers(workingImage, static_cast<int32_t>(oldSize), newImage + pos, len);
    for (const PatchPtr &patch : patches)
        patch->newOffset += pos;
    chunks.push_back(std::move(patches));
    std::memcpy(workingImage + pos, newImage + pos, len);
}

} // namespace

uint32_t chunkLength(uint32_t boundary, uint32_t available)
{
    if ((boundary & (largeChunk - 1)) == 0 && available >= largeChunk)
        return largeChunk;
    if ((boundary & (mediumChunk - 1)) == 0 && available >= mediumChunk)
        return mediumChunk;
    return smallChunk;
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
    UpdatePlan plan;
    plan.directionPatches = diffBuffers(workingImage, static_cast<int32_t>(oldSize), newImage, newSize);
    const bool forward = diffBytesMovingDown(plan.directionPatches) > diffBytesMovingUp(plan.directionPatches);

    // Content moving down is applied from the bottom up, so that every chunk
    // still finds the old bytes it reads above itself; and the reverse.
    if (forward) {
        for (uint32_t pos = 0; pos < newSize;) {
            const uint32_t len = std::min(chunkLength(newStart + pos, newSize - pos), newSize - pos);
            planChunk(workingImage, oldSize, newImage, pos, len, plan.chunks);
            pos += len;
        }
    } else {
        for (uint32_t end = newSize; end != 0;) {
            const uint32_t len = std::min(chunkLength(newStart + end, end), end);
            planChunk(workingImage, oldSize, newImage, end - len, len, plan.chunks);
            end -= len;
        }
    }
    return plan;
}

} // namespace quarnel
