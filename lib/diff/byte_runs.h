// Lengths of the stretches of one byte value, so that comparisons can step
// over erased flash and zero fill instead of reading it byte by byte.
#pragma once

#include <cstdint>

namespace quarnel {

// Fills runs[i], for every i < size, with how many bytes from data[i] on equal
// data[i], counting only bytes before size.
void measureByteRuns(const uint8_t *data, int32_t size, int32_t *runs);

// Brings runs up to date after data[begin, end) changed.
void remeasureByteRuns(const uint8_t *data, int32_t size, int32_t begin, int32_t end, int32_t *runs);

// Number of leading bytes a and b share, at most limit, given both buffers'
// runs (aRuns[i] belongs to a[i]) and that their first `known` bytes are equal.
int32_t matchLengthOverRuns(const uint8_t *a, const int32_t *aRuns, const uint8_t *b, const int32_t *bRuns,
                            int32_t limit, int32_t known);

} // namespace quarnel
