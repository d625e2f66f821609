#include "reference/suffix_sort.h"

#include <utility>

namespace quarnel {

namespace {

// Selection-style split for small groups: repeatedly gathers the slots with the smallest key.
void splitSmallGroup(int32_t *I, int32_t *V, int32_t start, int32_t length, int32_t h)
{
    const int32_t end = start + length;
    int32_t j = 0;
    for (int32_t k = start; k < end; k += j) {
        j = 1;
        int32_t x = V[I[k] + h];
        for (int32_t i = 1; k + i < end; i++) {
            const int32_t key = V[I[k + i] + h];
            if (key < x) {
                x = key;
                j = 0;
            }
            if (key == x) {
                std::swap(I[k + j], I[k + i]);
                j++;
            }
        }
        for (int32_t i = 0; i < j; i++)
            V[I[k + i]] = k + j - 1;
        if (j == 1)
            I[k] = -1;
    }
}

} // namespace

void splitGroup(int32_t *I, int32_t *V, int32_t start, int32_t length, int32_t h)
{
    // The greater part is handled by looping, so only the less part costs stack depth.
    while (length > 0) {
        if (length < 16) {
            splitSmallGroup(I, V, start, length, h);
            return;
        }

        const int32_t end = start + length;
        const int32_t x = V[I[start + length / 2] + h];
        int32_t less = 0;
        int32_t equal = 0;
        for (int32_t i = start; i < end; i++) {
            const int32_t key = V[I[i] + h];
            if (key < x)
                less++;
            if (key == x)
                equal++;
        }
        const int32_t equalStart = start + less;
        const int32_t greaterStart = equalStart + equal;

        int32_t i = start;
        int32_t j = 0;
        int32_t k = 0;
        while (i < equalStart) {
            const int32_t key = V[I[i] + h];
            if (key < x) {
                i++;
            } else if (key == x) {
                std::swap(I[i], I[equalStart + j]);
                j++;
            } else {
                std::swap(I[i], I[greaterStart + k]);
                k++;
            }
        }
        while (equalStart + j < greaterStart) {
            if (V[I[equalStart + j] + h] == x) {
                j++;
            } else {
                std::swap(I[equalStart + j], I[greaterStart + k]);
                k++;
            }
        }

        if (equalStart > start)
            splitGroup(I, V, start, equalStart - start, h);

        for (int32_t e = equalStart; e < greaterStart; e++)
            V[I[e]] = greaterStart - 1;
        if (equal == 1)
            I[equalStart] = -1;

        length = end - greaterStart;
        start = greaterStart;
    }
}

void suffixSort(int32_t *I, int32_t *V, const uint8_t *oldData, int32_t oldSize)
{
    int32_t bucket[256] = {};
    for (int32_t i = 0; i < oldSize; i++)
        bucket[oldData[i]]++;
    for (int c = 1; c < 256; c++)
        bucket[c] += bucket[c - 1];
    for (int c = 255; c > 0; c--)
        bucket[c] = bucket[c - 1];
    bucket[0] = 0;

    for (int32_t i = 0; i < oldSize; i++)
        I[++bucket[oldData[i]]] = i;
    I[0] = oldSize;
    for (int32_t i = 0; i < oldSize; i++)
        V[i] = bucket[oldData[i]];
    V[oldSize] = 0;
    for (int c = 1; c < 256; c++) {
        if (bucket[c] == bucket[c - 1] + 1)
            I[bucket[c]] = -1;
    }
    I[0] = -1;

    // Prefix doubling: each pass orders the unsorted groups by the rank h bytes further on.
    // h is 64-bit only so that its last doubling cannot overflow; while a group is unsorted, h < oldSize.
    for (int64_t h = 1; I[0] != -(oldSize + 1); h += h) {
        int32_t sortedRun = 0;
        int32_t i = 0;
        while (i < oldSize + 1) {
            if (I[i] < 0) {
                sortedRun -= I[i];
                i -= I[i];
            } else {
                if (sortedRun != 0)
                    I[i - sortedRun] = -sortedRun;
                const int32_t groupLength = V[I[i]] + 1 - i;
                splitGroup(I, V, i, groupLength, static_cast<int32_t>(h));
                i += groupLength;
                sortedRun = 0;
            }
        }
        if (sortedRun != 0)
            I[i - sortedRun] = -sortedRun;
    }

    for (int32_t i = 0; i < oldSize + 1; i++)
        I[V[i]] = i;
}

} // namespace quarnel
