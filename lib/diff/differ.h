// Suffix-sort binary differ.
#pragma once

#include "diff/patch.h"

namespace quarnel {

// Expresses newData as records against oldData; offsets are relative to the
// two buffers. An empty new buffer gives an empty list.
PatchList diffBuffers(const uint8_t *oldData, int32_t oldSize, const uint8_t *newData, uint32_t newSize);

// The scan loop of diffBuffers over a suffix array I (oldSize + 1 entries) that
// the caller built with suffixSort, and both buffers' repeats (measureRepeats;
// the new data's may be measured over a longer buffer it begins); gives exactly
// what diffBuffers gives.
PatchList diffWithSuffixArray(const int32_t *I, const uint8_t *oldData, const int32_t *oldRepeats, int32_t oldSize,
                              const uint8_t *newData, const int32_t *newRepeats, uint32_t newSize);

struct Match {
    int32_t length;
    int32_t position;
};

// Longest match of target's beginning among the old suffixes I[low..high];
// ties go to the upper candidate. Both buffers come with their repeats.
Match findLongestMatch(const int32_t *I, const uint8_t *oldData, const int32_t *oldRepeats, int32_t oldSize,
                       const uint8_t *target, const int32_t *targetRepeats, int32_t targetLength, int32_t low,
                       int32_t high);

} // namespace quarnel
