#include "diff/byte_runs.h"

#include <algorithm>
#include <cstring>

namespace quarnel {

namespace {

// Runs shorter than this are cheaper to compare than to step over.
constexpr int32_t runWorthSkipping = 64;

} // namespace

void measureByteRuns(const uint8_t *data, int32_t size, int32_t *runs)
{
    if (size > 0)
        remeasureByteRuns(data, size, 0, size, runs);
}

void remeasureByteRuns(const uint8_t *data, int32_t size, int32_t begin, int32_t end, int32_t *runs)
{
    int32_t i = end - 1;
    if (i >= 0)
        runs[i] = end < size && data[i] == data[end] ? runs[end] + 1 : 1;
    for (i--; i >= begin; i--)
        runs[i] = data[i] == data[i + 1] ? runs[i + 1] + 1 : 1;
    // A run that reaches into the range from before it grew or shrank with it.
    for (; i >= 0; i--) {
        const int32_t run = data[i] == data[i + 1] ? runs[i + 1] + 1 : 1;
        if (run == runs[i])
            break;
        runs[i] = run;
    }
}

int32_t matchLengthOverRuns(const uint8_t *a, const int32_t *aRuns, const uint8_t *b, const int32_t *bRuns,
                            int32_t limit, int32_t known)
{
    int32_t i = known;
    int32_t words = 0;
    while (limit - i >= 8) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y)
            break;
        i += 8;
        // Every 64 equal bytes, look for a run to step over: two equal runs end
        // together; a shorter one ends where the other still goes on.
        if ((++words & 7) == 0 && i < limit && aRuns[i] >= runWorthSkipping && a[i] == b[i]) {
            if (aRuns[i] != bRuns[i])
                return std::min(limit, i + std::min(aRuns[i], bRuns[i]));
            i += aRuns[i];
        }
    }
    while (i < limit && a[i] == b[i])
        i++;
    return std::min(i, limit);
}

} // namespace quarnel
