#include "reference/diff_buffers.h"

#include <vector>

#include "diff/differ.h"
#include "diff/repeats.h"
#include "reference/suffix_sort.h"

namespace quarnel {

PatchList diffBuffers(const uint8_t *oldData, int32_t oldSize, const uint8_t *newData, uint32_t newSize)
{
    checkDiffSizes(oldSize, newSize);
    const size_t slots = static_cast<size_t>(oldSize) + 1;
    std::vector<int32_t> I(slots);
    {
        // V is only needed while sorting; dropping it early lowers the peak during the scan.
        std::vector<int32_t> V(slots);
        suffixSort(I.data(), V.data(), oldData, oldSize);
    }
    std::vector<int32_t> oldRepeats(static_cast<size_t>(oldSize));
    measureRepeats(oldData, oldSize, oldRepeats.data());
    std::vector<int32_t> newRepeats(newSize);
    measureRepeats(newData, static_cast<int32_t>(newSize), newRepeats.data());
    return diffWithSuffixArray(I.data(), oldData, oldRepeats.data(), oldSize, newData, newRepeats.data(), newSize);
}

} // namespace quarnel
