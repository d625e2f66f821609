#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "diff/byte_runs.h"
#include "diff/differ.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Runs of a few values with lengths from one byte to thousands, as erased flash and fill make them.
Bytes runHeavyBytes(std::mt19937 &rng, size_t size)
{
    Bytes out;
    while (out.size() < size) {
        const uint8_t value = rng() % 3 == 0 ? uint8_t(rng()) : (rng() % 2 ? 0xFF : 0x00);
        const size_t length = rng() % 4 == 0 ? 1 + rng() % 3000 : 1 + rng() % 6;
        out.insert(out.end(), std::min(length, size - out.size()), value);
    }
    return out;
}

std::vector<int32_t> countedRuns(const Bytes &data)
{
    std::vector<int32_t> runs(data.size());
    for (size_t i = 0; i < data.size(); i++) {
        size_t j = i;
        while (j < data.size() && data[j] == data[i])
            j++;
        runs[i] = int32_t(j - i);
    }
    return runs;
}

} // namespace

TEST(ByteRuns, MeasuredAndRemeasuredAfterEditsAsCounted)
{
    std::mt19937 rng(31);
    for (int round = 0; round < 40; round++) {
        Bytes data = runHeavyBytes(rng, rng() % 20000);
        std::vector<int32_t> runs(data.size());
        quarnel::measureByteRuns(data.data(), int32_t(data.size()), runs.data());
        ASSERT_EQ(runs, countedRuns(data)) << "round " << round;
        for (int edit = 0; edit < 10 && !data.empty(); edit++) {
            const size_t begin = rng() % data.size();
            const size_t end = begin + 1 + rng() % std::min<size_t>(data.size() - begin, 5000);
            // Joining a run before the range, splitting one, or filling the range with something else.
            const uint8_t value = begin > 0 && rng() % 2 ? data[begin - 1] : uint8_t(rng() % 3 ? 0xFF : rng());
            for (size_t i = begin; i < end; i++)
                data[i] = rng() % 50 == 0 ? uint8_t(rng()) : value;
            quarnel::remeasureByteRuns(data.data(), int32_t(data.size()), int32_t(begin), int32_t(end), runs.data());
            ASSERT_EQ(runs, countedRuns(data)) << "round " << round << ", edit " << edit;
        }
    }
}

TEST(ByteRuns, MatchLengthOverRunsEqualsPlainComparison)
{
    std::mt19937 rng(32);
    const Bytes a = runHeavyBytes(rng, 200000);
    Bytes b = runHeavyBytes(rng, 200000);
    // Copies of stretches of a, so that long equal runs of equal and unequal length meet.
    for (int copy = 0; copy < 60; copy++) {
        const size_t from = rng() % (a.size() - 8000), to = rng() % (b.size() - 8000), length = rng() % 8000;
        std::copy(a.begin() + long(from), a.begin() + long(from + length), b.begin() + long(to));
    }
    const std::vector<int32_t> aRuns = countedRuns(a), bRuns = countedRuns(b);
    int longMatches = 0;
    for (int probe = 0; probe < 200000; probe++) {
        const int32_t i = int32_t(rng() % a.size());
        // Start where b has the same byte often enough to reach long common prefixes.
        int32_t j = int32_t(rng() % b.size());
        for (int tries = 0; tries < 64 && b[j] != a[i]; tries++)
            j = int32_t(rng() % b.size());
        const int32_t limit = std::min(int32_t(a.size()) - i, int32_t(b.size()) - j) - int32_t(rng() % 3);
        const int32_t expected = quarnel::matchLength(a.data() + i, limit, b.data() + j, limit);
        const int32_t known = expected > 0 ? int32_t(rng() % uint32_t(expected + 1)) : 0;
        ASSERT_EQ(quarnel::matchLengthOverRuns(a.data() + i, aRuns.data() + i, b.data() + j, bRuns.data() + j,
                                               std::max(limit, 0), known),
                  std::max(expected, 0))
            << "a at " << i << ", b at " << j << ", limit " << limit << ", known " << known;
        longMatches += expected > 200;
    }
    EXPECT_GT(longMatches, 1000);
}
