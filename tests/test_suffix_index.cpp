#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "diff/sais.h"
#include "diff/suffix_index.h"
#include "reference/suffix_sort.h"
#include "support/test_files.h"

using namespace quarnel;

namespace {

using Bytes = std::vector<uint8_t>;

// The reference suffix array: prefix doubling, the differ's own sort.
std::vector<int32_t> referenceArray(const Bytes &text)
{
    const int32_t size = int32_t(text.size());
    std::vector<int32_t> I(size + 1);
    std::vector<int32_t> V(size + 1);
    suffixSort(I.data(), V.data(), text.data(), size);
    return I;
}

// Compares the index with a fresh sort and with common prefixes counted byte by byte
// (Kasai's walk over the reference array, so that long runs stay linear).
void expectIndexMatches(const SuffixIndex &index, const Bytes &text, const char *what)
{
    const int32_t size = int32_t(text.size());
    ASSERT_EQ(index.size(), size) << what;
    const std::vector<int32_t> sa = referenceArray(text);
    for (int32_t r = 0; r <= size; r++)
        ASSERT_EQ(index.suffixArray()[r], sa[r]) << what << ": rank " << r << " of " << size;

    std::vector<int32_t> rank(size + 1);
    for (int32_t r = 0; r <= size; r++)
        rank[sa[r]] = r;
    std::vector<int32_t> below(size + 1, 0);
    int32_t h = 0;
    for (int32_t i = 0; i < size; i++) {
        const int32_t other = sa[rank[i] - 1];
        while (i + h < size && other + h < size && text[i + h] == text[other + h])
            h++;
        below[i] = h;
        if (h > 0)
            h--;
    }
    for (int32_t i = 0; i <= size; i++) {
        ASSERT_EQ(index.lcpBelow()[i], below[i]) << what << ": position " << i;
        const int32_t above = rank[i] < size ? below[sa[rank[i] + 1]] : 0;
        ASSERT_EQ(index.lcpAbove()[i], above) << what << ": position " << i;
    }
}

// Rewrites a range the ways firmware changes: fresh bytes, erased runs, a pattern,
// or a copy of another part of the buffer.
void editRange(Bytes &text, int32_t begin, int32_t end, std::mt19937 &rng)
{
    const int32_t size = int32_t(text.size());
    switch (rng() % 5) {
    case 0:
        for (int32_t i = begin; i < end; i++)
            text[i] = uint8_t(rng());
        break;
    case 1:
        std::fill(text.begin() + begin, text.begin() + end, rng() % 2 ? 0xFF : 0x00);
        break;
    case 2: {
        const uint8_t a = uint8_t(rng());
        const uint8_t b = uint8_t(rng());
        for (int32_t i = begin; i < end; i++)
            text[i] = (i - begin) % 3 == 2 ? b : a;
        break;
    }
    case 3: {
        // Copy from elsewhere, possibly overlapping, as moved code does.
        const int32_t from = int32_t(rng() % uint32_t(size - (end - begin) + 1));
        const Bytes source(text.begin() + from, text.begin() + from + (end - begin));
        std::copy(source.begin(), source.end(), text.begin() + begin);
        break;
    }
    default:
        for (int32_t i = begin; i < end; i++)
            text[i] = uint8_t(text[i] + 1 + rng() % 3);
        break;
    }
}

Bytes startingText(int32_t size, std::mt19937 &rng)
{
    switch (rng() % 4) {
    case 0:
        return testsupport::firmwareLikeBytes(uint32_t(size), uint32_t(rng()));
    case 1: {
        Bytes text(size);
        for (uint8_t &b : text)
            b = uint8_t(rng() % 3);
        return text;
    }
    case 2:
        return Bytes(size, 0xFF);
    default: {
        Bytes text(size);
        for (uint8_t &b : text)
            b = uint8_t(rng());
        return text;
    }
    }
}

} // namespace

TEST(InducedSuffixArray, EqualsThePrefixDoublingSort)
{
    std::mt19937 rng(11);
    std::vector<Bytes> texts = {{}, {0x41}, {0x41, 0x41}, {0x42, 0x41}, {0x00, 0xFF, 0x00}, Bytes(5000, 0x00)};
    texts.push_back(testsupport::firmwareLikeBytes(100000, 3));
    for (int i = 0; i < 300; i++) {
        Bytes text(rng() % 700);
        const uint32_t alphabet = 1 + rng() % 4;
        for (uint8_t &b : text)
            b = alphabet == 4 ? uint8_t(rng()) : uint8_t(0xFF - rng() % alphabet);
        texts.push_back(text);
    }
    for (const Bytes &text : texts) {
        std::vector<int32_t> sa(text.size() + 1);
        inducedSuffixArray(text.data(), int32_t(text.size()), sa.data());
        ASSERT_EQ(sa, referenceArray(text)) << "text of " << text.size() << " bytes";
    }
}

TEST(InducedSuffixArray, SortsIntegerStringsWithShortSuffixesFirst)
{
    std::mt19937 rng(12);
    for (int i = 0; i < 300; i++) {
        const int32_t alphabet = 1 + int32_t(rng() % (i % 2 ? 3 : 1000));
        std::vector<int32_t> text(rng() % 400);
        for (int32_t &symbol : text)
            symbol = int32_t(rng() % uint32_t(alphabet));
        std::vector<int32_t> expected(text.size());
        for (size_t k = 0; k < expected.size(); k++)
            expected[k] = int32_t(k);
        std::sort(expected.begin(), expected.end(), [&](int32_t a, int32_t b) {
            return std::lexicographical_compare(text.begin() + a, text.end(), text.begin() + b, text.end());
        });
        std::vector<int32_t> sa(text.size());
        inducedSuffixArray(text.data(), int32_t(text.size()), alphabet, sa.data());
        ASSERT_EQ(sa, expected) << "string of " << text.size() << " symbols over " << alphabet;
    }
}

TEST(SuffixIndex, FollowsRandomEditsExactly)
{
    std::mt19937 rng(2024);
    const int32_t sizes[] = {0, 1, 2, 3, 17, 300, 4096, 20000};
    int32_t partialUpdates = 0;
    for (const int32_t size : sizes) {
        for (int round = 0; round < 12; round++) {
            Bytes text = startingText(size, rng);
            SuffixIndex index;
            index.build(text.data(), size);
            expectIndexMatches(index, text, "after build");
            for (int edit = 0; edit < 8 && size > 0; edit++) {
                int32_t begin = int32_t(rng() % uint32_t(size));
                int32_t end = begin + 1 + int32_t(rng() % uint32_t(std::min(size - begin, edit % 3 ? 64 : size)));
                if (edit == 0)
                    begin = 0;
                if (edit == 1)
                    end = size;
                editRange(text, begin, end, rng);
                // The caller may name a wider range than what changed.
                index.update(text.data(), std::max(0, begin - int32_t(rng() % 3)), end);
                expectIndexMatches(index, text, "after edit");
            }
            partialUpdates += index.counts().partialUpdates;
        }
    }
    // The edits were merged in, not just answered by sorting again.
    EXPECT_GT(partialUpdates, 150);
}

TEST(SuffixIndex, EditsCoveringEverythingAndNothing)
{
    std::mt19937 rng(7);
    Bytes text = testsupport::firmwareLikeBytes(8192, 5);
    SuffixIndex index;
    index.build(text.data(), int32_t(text.size()));
    index.update(text.data(), 0, int32_t(text.size()));
    expectIndexMatches(index, text, "unchanged text");
    EXPECT_EQ(index.counts().fullBuilds, 1);
    EXPECT_EQ(index.counts().partialUpdates, 0);

    std::reverse(text.begin(), text.end());
    index.update(text.data(), 0, int32_t(text.size()));
    expectIndexMatches(index, text, "whole text rewritten");
    std::fill(text.begin(), text.end(), 0x00);
    index.update(text.data(), 0, int32_t(text.size()));
    expectIndexMatches(index, text, "all zero");
    text[4000] = 0x01;
    index.update(text.data(), 4000, 4001);
    expectIndexMatches(index, text, "one byte in a zero run");
}

TEST(SuffixIndex, ChunkSizedRewritesOfFirmwareStayIncremental)
{
    // A firmware image rewritten chunk by chunk with shifted copies of itself, as an update does.
    std::mt19937 rng(99);
    const int32_t size = 200 * 1024;
    Bytes text = testsupport::firmwareLikeBytes(uint32_t(size), 21);
    const Bytes next = [&] {
        Bytes shifted(text.begin() + 3000, text.end());
        Bytes inserted = testsupport::firmwareLikeBytes(3000, 22);
        shifted.insert(shifted.end(), inserted.begin(), inserted.end());
        return shifted;
    }();
    SuffixIndex index;
    index.build(text.data(), size);
    for (int32_t end = size; end > 0; end -= 16384) {
        const int32_t begin = std::max(0, end - 16384);
        std::copy(next.begin() + begin, next.begin() + end, text.begin() + begin);
        if (rng() % 4 == 0)
            std::fill(text.begin() + begin, text.begin() + begin + 700, 0xFF);
        index.update(text.data(), begin, end);
        expectIndexMatches(index, text, "chunk rewrite");
    }
    // Most rewrites are merged in; a few may sort everything again.
    EXPECT_GT(index.counts().partialUpdates, 9);
    EXPECT_LT(index.counts().fullBuilds, 4);
}
