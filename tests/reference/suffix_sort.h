// Suffix array construction by prefix doubling (Larsson-Sadakane).
#pragma once

#include <cstdint>

namespace quarnel {

// Fills I[0..oldSize] with the suffix array of oldData, the empty suffix
// first; V is scratch of the same size (oldSize + 1 entries each).
void suffixSort(int32_t *I, int32_t *V, const uint8_t *oldData, int32_t oldSize);

// Orders the unsorted group I[start, start + length) by the key V[I[slot] + h].
void splitGroup(int32_t *I, int32_t *V, int32_t start, int32_t length, int32_t h);

} // namespace quarnel
