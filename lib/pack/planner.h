// The in-place update planner.
#pragma once

#include "diff/patch.h"

namespace quarnel {

// Length of the chunk that a boundary (offset from flashBase) allows.
uint32_t chunkLength(uint32_t boundary, uint32_t available);

// Difference bytes of records that move content towards higher / lower offsets.
int32_t diffBytesMovingUp(const PatchList &patches);
int32_t diffBytesMovingDown(const PatchList &patches);

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

// The same plan made the straightforward way, sorting the working image's
// suffixes afresh for every diff: the reference that planUpdate must equal.
UpdatePlan planUpdateReference(uint8_t *workingImage, uint32_t oldSize, const uint8_t *newImage, uint32_t newSize,
                               uint32_t newStart);

} // namespace quarnel
