// How far data keeps repeating its last four bytes, so that comparisons can
// step over erased flash, zero fill and fill words instead of reading them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quarnel {

// The period the repeats are measured with: one fill word. Runs of one byte
// value and two-byte patterns repeat with it too.
constexpr int32_t repeatPeriod = 4;

// Fills repeats[i], for every i < size, with the length of the longest prefix
// of data[i, size) in which every byte equals the one repeatPeriod before it.
void measureRepeats(const uint8_t *data, int32_t size, int32_t *repeats);

// Brings repeats up to date after data[begin, end) changed.
void remeasureRepeats(const uint8_t *data, int32_t size, int32_t begin, int32_t end, int32_t *repeats);

// Number of leading bytes a and b share, at most min(aLength, bLength); 0 when aLength <= 0.
inline int32_t matchLength(const uint8_t *a, int32_t aLength, const uint8_t *b, int32_t bLength)
{
    const int32_t limit = std::min(aLength, bLength);
    int32_t i = 0;
    while (limit - i >= 8 && std::memcmp(a + i, b + i, 8) == 0)
        i += 8;
    while (i < limit && a[i] == b[i])
        i++;
    return i;
}

// Number of leading bytes a and b share, at most limit, given both buffers'
// repeats (aRepeats[i] belongs to a[i]) and that their first `known` bytes are
// equal. Repeats measured over buffers that go on past limit serve as well:
// wherever they differ from the short buffers' own, both reach limit.
int32_t matchLengthOverRepeats(const uint8_t *a, const int32_t *aRepeats, const uint8_t *b, const int32_t *bRepeats,
                               int32_t limit, int32_t known);

} // namespace quarnel
