#include "diff/repeats.h"

#include <algorithm>
#include <cstring>

namespace quarnel {

namespace {

// Repeats shorter than this are cheaper to compare than to step over.
constexpr int32_t repeatWorthSkipping = 64;

// The repeat at i from the one at i + 1: one longer while the byte four on equals this one.
inline int32_t repeatAt(const uint8_t *data, int32_t size, int32_t i, const int32_t *repeats)
{
    if (i + repeatPeriod >= size)
        return size - i;
    return data[i] == data[i + repeatPeriod] ? repeats[i + 1] + 1 : repeatPeriod;
}

} // namespace

void measureRepeats(const uint8_t *data, int32_t size, int32_t *repeats)
{
    for (int32_t i = size - 1; i >= 0; i--)
        repeats[i] = repeatAt(data, size, i, repeats);
}

void remeasureRepeats(const uint8_t *data, int32_t size, int32_t begin, int32_t end, int32_t *repeats)
{
    // A changed byte also decides the repeats of the positions one period before it.
    int32_t i = end - 1;
    for (; i >= std::max(0, begin - repeatPeriod); i--)
        repeats[i] = repeatAt(data, size, i, repeats);
    // A repeat that reaches into the range from before it grew or shrank with it.
    for (; i >= 0; i--) {
        const int32_t repeat = repeatAt(data, size, i, repeats);
        if (repeat == repeats[i])
            break;
        repeats[i] = repeat;
    }
}

int32_t matchLengthOverRepeats(const uint8_t *a, const int32_t *aRepeats, const uint8_t *b, const int32_t *bRepeats,
                               int32_t limit, int32_t known)
{
    int32_t i = known;
    while (i < limit) {
        const int32_t window = std::min(limit - i, repeatWorthSkipping);
        const int32_t same = matchLength(a + i, window, b + i, window);
        i += same;
        if (same < window)
            return i;
        // After every 64 equal bytes, look for a repeat to step over. Two repeats
        // that start with the same four bytes agree as far as the shorter one
        // goes, and differ right after it; two of one length both end there.
        if (limit - i >= 8 && aRepeats[i] >= repeatWorthSkipping && std::memcmp(a + i, b + i, repeatPeriod) == 0) {
            if (aRepeats[i] != bRepeats[i])
                return std::min(limit, i + std::min(aRepeats[i], bRepeats[i]));
            i += aRepeats[i];
        }
    }
    return limit;
}

} // namespace quarnel
