#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "diff/repeats.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Erased flash, zero fill, fill words and two-byte patterns of lengths from a
// byte to thousands, between short stretches of other bytes.
Bytes repetitiveBytes(std::mt19937 &rng, size_t size)
{
    const uint8_t fillWord[] = {0xFE, 0xE7, 0xFE, 0xE7, 0xEF, 0xBE, 0xAD, 0xDE};
    Bytes out;
    while (out.size() < size) {
        const size_t length = rng() % 4 == 0 ? 1 + rng() % 3000 : 1 + rng() % 9;
        const uint32_t kind = rng() % 4;
        const size_t phase = rng() % 8;
        for (size_t k = 0; k < length && out.size() < size; k++) {
            if (kind == 0)
                out.push_back(uint8_t(rng()));
            else if (kind == 1)
                out.push_back(0xFF);
            else
                out.push_back(fillWord[(kind == 2 ? (phase + k) % 8 : (phase + k) % 2)]);
        }
    }
    return out;
}

std::vector<int32_t> countedRepeats(const Bytes &data)
{
    const size_t size = data.size();
    std::vector<int32_t> repeats(size);
    for (size_t i = 0; i < size; i++) {
        size_t length = std::min<size_t>(4, size - i);
        while (i + length < size && data[i + length] == data[i + length - 4])
            length++;
        repeats[i] = int32_t(length);
    }
    return repeats;
}

} // namespace

TEST(Repeats, MeasuredAndRemeasuredAfterEditsAsCounted)
{
    std::mt19937 rng(31);
    for (int round = 0; round < 40; round++) {
        Bytes data = repetitiveBytes(rng, rng() % 20000);
        std::vector<int32_t> repeats(data.size());
        quarnel::measureRepeats(data.data(), int32_t(data.size()), repeats.data());
        ASSERT_EQ(repeats, countedRepeats(data)) << "round " << round;
        for (int edit = 0; edit < 10 && !data.empty(); edit++) {
            const size_t begin = rng() % data.size();
            const size_t end = begin + 1 + rng() % std::min<size_t>(data.size() - begin, 5000);
            // Continuing the pattern before the range, breaking it, or filling the range with something else.
            const uint8_t value = uint8_t(rng() % 3 ? 0xFF : rng());
            for (size_t i = begin; i < end; i++) {
                if (i >= 4 && rng() % 2 == 0)
                    data[i] = data[i - 4];
                else
                    data[i] = rng() % 50 == 0 ? uint8_t(rng()) : value;
            }
            quarnel::remeasureRepeats(data.data(), int32_t(data.size()), int32_t(begin), int32_t(end), repeats.data());
            ASSERT_EQ(repeats, countedRepeats(data)) << "round " << round << ", edit " << edit;
        }
    }
}

TEST(Repeats, MatchLengthOverRepeatsEqualsPlainComparison)
{
    std::mt19937 rng(32);
    const Bytes a = repetitiveBytes(rng, 200000);
    Bytes b = repetitiveBytes(rng, 200000);
    // Copies of stretches of a, so that long repeats of equal and unequal length meet.
    for (int copy = 0; copy < 60; copy++) {
        const size_t from = rng() % (a.size() - 8000), to = rng() % (b.size() - 8000), length = rng() % 8000;
        std::copy(a.begin() + long(from), a.begin() + long(from + length), b.begin() + long(to));
    }
    const std::vector<int32_t> aRepeats = countedRepeats(a), bRepeats = countedRepeats(b);
    int longMatches = 0;
    for (int probe = 0; probe < 200000; probe++) {
        const int32_t i = int32_t(rng() % a.size());
        // Start where b has the same byte often enough to reach long common prefixes.
        int32_t j = int32_t(rng() % b.size());
        for (int tries = 0; tries < 64 && b[j] != a[i]; tries++)
            j = int32_t(rng() % b.size());
        // The repeats were measured over the whole buffers, which may go on well past limit.
        const int32_t shortening = int32_t(rng() % 2 ? rng() % 3 : rng() % 5000);
        const int32_t limit = std::min(int32_t(a.size()) - i, int32_t(b.size()) - j) - shortening;
        const int32_t expected = quarnel::matchLength(a.data() + i, limit, b.data() + j, limit);
        const int32_t known = expected > 0 ? int32_t(rng() % uint32_t(expected + 1)) : 0;
        ASSERT_EQ(quarnel::matchLengthOverRepeats(a.data() + i, aRepeats.data() + i, b.data() + j,
                                                  bRepeats.data() + j, std::max(limit, 0), known),
                  std::max(expected, 0))
            << "a at " << i << ", b at " << j << ", limit " << limit << ", known " << known;
        longMatches += expected > 200;
    }
    EXPECT_GT(longMatches, 1000);
}
