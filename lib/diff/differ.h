// Suffix-sort binary differ.
#pragma once

#include "diff/patch.h"

namespace quarnel {

// Throws length_error for buffers larger than 32-bit signed offsets describe.
void checkDiffSizes(int32_t oldSize, uint32_t newSize);

// Expresses newData as records against oldData, with offsets relative to the
// two buffers, given the suffix array I of oldData (oldSize + 1 entries, the
// empty suffix first) and both buffers' repeats (measureRepeats; the new
// data's may be measured over a longer buffer it begins). An empty new buffer
// gives an empty list.
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
