// The in-place update planner.
#pragma once

#include <algorithm>

#include "diff/patch.h"

namespace quarnel {

// Length of the chunk that a boundary (offset from flashBase) allows.
uint32_t chunkLength(uint32_t boundary, uint32_t available);

// Difference bytes of records that move content towards higher / lower offsets.
int32_t diffBytesMovingUp(const PatchList &patches);
int32_t diffBytesMovingDown(const PatchList &patches);

// Whether the whole-image diff asks for a walk from the lowest chunk up.
bool walksForward(const PatchList &directionPatches);

// Calls chunk(pos, len) for every chunk of the new image in plan order.
template <class ChunkStep>
void walkChunks(bool forward, uint32_t newSize, uint32_t newStart, ChunkStep chunk)
{
    if (forward) {
        for (uint32_t pos = 0; pos < newSize;) {
            const uint32_t len = std::min(chunkLength(newStart + pos, newSize - pos), newSize - pos);
            chunk(pos, len);
            pos += len;
        }
    } else {
        for (uint32_t end = newSize; end != 0;) {
            const uint32_t len = std::min(chunkLength(newStart + end, end), end);
            chunk(end - len, len);
            end -= len;
        }
    }
}

// Makes the chunk's record offsets image offsets and lists the chunk.
void appendChunk(PatchList patches, uint32_t pos, ChunkList &chunks);

struct UpdatePlan {
    PatchList directionPatches; // the whole-image diff that chose the direction
    ChunkList chunks;
};

// Cuts the new image into erase-unit chunks, each diffed against the working
// image as the earlier chunks left it; leaves the working image equal to the
// new image over its first newSize bytes. One suffix array of the working
// image is kept up to date from chunk to chunk.
UpdatePlan planUpdate(uint8_t *workingImage, uint32_t oldSize, const uint8_t *newImage, uint32_t newSize,
                      uint32_t newStart);

// The signature planUpdate and the tests' reference planner share.
using PlanFunction = UpdatePlan (*)(uint8_t *workingImage, uint32_t oldSize, const uint8_t *newImage,
                                    uint32_t newSize, uint32_t newStart);

} // namespace quarnel
