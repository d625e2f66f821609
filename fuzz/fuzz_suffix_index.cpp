// SuffixIndex driven directly: built over a text from the input, then the text is
// rewritten range by range and the index told of each range. After the build and
// after every update, its suffix array, both common-prefix arrays and the repeats
// must equal a fresh computation: the prefix-doubling sort of tests/reference, common
// prefixes counted byte by byte over that array, and measureRepeats over the text.
//
// Input: a header (size class and starting content, size bits, seed), then one
// six-byte step per rewrite: kind, position (u16, a share of the text), length
// code, parameter, and how the range told to update() relates to the rewrite.
// Set FUZZ_REPORT_COUNTS=1 to print the index's full builds and partial updates.
#include <algorithm>
#include <cstring>
#include <vector>

#include "diff/repeats.h"
#include "diff/suffix_index.h"
#include "reference/suffix_sort.h"
#include "support.h"

using namespace quarnel;

namespace {

using Bytes = std::vector<uint8_t>;
using fuzzsupport::InputReader;
using fuzzsupport::SplitMix;

// Texts above this many bytes are compared after fewer rewrites, so that one input stays fast.
constexpr int64_t checkedBytesPerInput = 384 << 10;
constexpr int maxSteps = 24;
constexpr int minSteps = 2;
// Up to this size the common prefixes are measured pair by pair from scratch; above it by
// Kasai's walk, which stays linear in long runs of one byte.
constexpr int32_t pairwiseLimit = 2048;

int32_t textSize(uint8_t sizeClass, InputReader &in)
{
    const uint32_t bits = in.u16();
    switch (sizeClass) {
    case 0:
    case 1:
        return int32_t(bits % 512);
    case 2:
    case 3:
    case 4:
        return int32_t(bits % 8192);
    case 5:
        return int32_t(bits % 32768);
    case 6:
        return 16384 + int32_t(bits % 49153); // up to 64 KiB
    default:
        return 65536 + int32_t((bits << 2) % 196609); // up to 256 KiB, rarely
    }
}

// Starting texts of the kinds firmware has: code-like words, erased flash, zero fill,
// small alphabets, and the input's own bytes tiled (long exact repeats).
Bytes startingText(int32_t size, uint8_t kind, SplitMix &random, const InputReader &in)
{
    Bytes text(size_t(size), 0);
    switch (kind % 8) {
    case 0: { // words from a few opcodes, with random operands and padding runs
        uint32_t opcodes[8];
        for (uint32_t &opcode : opcodes)
            opcode = uint32_t(random.next()) & 0xFFFF0000u;
        for (int32_t i = 0; i < size;) {
            const int32_t stretch = std::min(size - i, int32_t(16 + random.below(600)));
            const uint32_t what = random.below(5);
            for (int32_t k = 0; k < stretch; k += 4) {
                const uint32_t word = what == 3   ? 0xFFFFFFFFu
                                      : what == 4 ? 0u
                                                  : opcodes[random.below(8)] | uint32_t(random.next() & 0xFFFF);
                for (int32_t b = 0; b < 4 && k + b < stretch; b++)
                    text[size_t(i + k + b)] = uint8_t(word >> (8 * b));
            }
            i += stretch;
        }
        break;
    }
    case 1:
        for (uint8_t &b : text)
            b = uint8_t(random.next());
        break;
    case 2:
        std::fill(text.begin(), text.end(), 0xFF);
        break;
    case 3:
        std::fill(text.begin(), text.end(), 0x00);
        break;
    case 4: // two or three byte values
        for (uint8_t &b : text)
            b = uint8_t(random.below(2 + (kind >> 3) % 2));
        break;
    case 5: // the rest of the input, tiled
        if (in.left() > 0)
            for (size_t i = 0; i < text.size(); i++)
                text[i] = in.rest()[i % std::min<size_t>(in.left(), 97)];
        break;
    case 6: { // one fill word
        const uint32_t word = uint32_t(random.next());
        for (size_t i = 0; i < text.size(); i++)
            text[i] = uint8_t(word >> (8 * (i % 4)));
        break;
    }
    default: // random with an erased tail
        for (size_t i = 0; i < text.size(); i++)
            text[i] = i < text.size() / 2 ? uint8_t(random.next()) : 0xFF;
        break;
    }
    return text;
}

int32_t rewriteLength(uint8_t code, int32_t size)
{
    const int32_t low = code & 63;
    switch (code >> 6) {
    case 0:
        return 1 + low;
    case 1:
        return 1 + low * 64;
    case 2:
        return (1 + low) * 512;
    default:
        return int32_t(int64_t(size) * (1 + low) / 64);
    }
}

struct Step {
    int32_t begin; // the range that changed
    int32_t end;
    int32_t toldBegin; // the range update() is given
    int32_t toldEnd;
};

// Rewrites a range of text the ways firmware changes between versions.
Step rewrite(Bytes &text, InputReader &in, SplitMix &random)
{
    const int32_t size = int32_t(text.size());
    const uint8_t kind = in.byte();
    const int32_t begin = int32_t((uint32_t(in.u16()) * uint32_t(size)) >> 16);
    const int32_t end = std::min(size, begin + std::max(1, rewriteLength(in.byte(), size)));
    const uint8_t parameter = in.byte();
    const uint8_t range = in.byte();
    uint8_t *at = text.data();
    switch (kind % 10) {
    case 0: // fresh bytes
        for (int32_t i = begin; i < end; i++)
            at[i] = uint8_t(random.next());
        break;
    case 1: // zero fill
        std::fill(at + begin, at + end, 0x00);
        break;
    case 2: // erased flash
        std::fill(at + begin, at + end, 0xFF);
        break;
    case 3: { // a fill pattern of one to four bytes
        const uint32_t word = uint32_t(random.next());
        const int32_t period = 1 + parameter % 4;
        for (int32_t i = begin; i < end; i++)
            at[i] = uint8_t(word >> (8 * ((i - begin) % period)));
        break;
    }
    case 4: { // a copy of another part of the text, as moved code is
        const int32_t length = end - begin;
        const int32_t from = int32_t((uint32_t(parameter) * uint32_t(size - length + 1)) >> 8);
        std::memmove(at + begin, at + from, size_t(length));
        break;
    }
    case 5: // small changes to every byte
        for (int32_t i = begin; i < end; i++)
            at[i] = uint8_t(at[i] + 1 + parameter % 3);
        break;
    case 6: // one byte
        at[begin] = uint8_t(at[begin] ^ (1 + parameter));
        break;
    case 7: { // the bytes just before, carried on byte by byte: a long repeat of a short period
        const int32_t period = 1 + parameter % 64;
        for (int32_t i = begin; i < end; i++)
            at[i] = i >= period ? at[i - period] : uint8_t(random.next());
        break;
    }
    case 8: // the text's own start, as a chunk that equals the first bytes
        for (int32_t i = begin; i < end; i++)
            at[i] = at[i - begin];
        break;
    default: // nothing changes
        break;
    }
    // The caller may name a wider range than what changed, or an empty one when nothing did.
    Step step = {begin, end, begin - (range & 3), end + ((range >> 2) & 3)};
    switch (range >> 4) {
    case 15:
        step.toldBegin = 0;
        step.toldEnd = size;
        break;
    case 14:
        step.toldBegin = -5;
        step.toldEnd = size + 5;
        break;
    default:
        break;
    }
    if (kind % 10 == 9 && (range & 0x40) != 0)
        step.toldEnd = step.toldBegin;
    return step;
}

// The oracle's own loops give the fuzzer no useful feedback and only slow it down.
#define ORACLE __attribute__((no_sanitize("coverage")))

ORACLE void mismatch(const char *what, const char *array, int32_t at, int32_t expected, int32_t got, int32_t size)
{
    std::fprintf(stderr, "%s: %s[%d] is %d, should be %d (text of %d bytes)\n", what, array, at, got, expected, size);
    fuzzsupport::fail("the suffix index differs from a fresh computation");
}

ORACLE int32_t commonPrefix(const Bytes &text, int32_t a, int32_t b)
{
    const int32_t size = int32_t(text.size());
    int32_t l = 0;
    while (a + l < size && b + l < size && text[size_t(a + l)] == text[size_t(b + l)])
        l++;
    return l;
}

ORACLE void expectFresh(const SuffixIndex &index, const Bytes &text, const char *what)
{
    const int32_t size = int32_t(text.size());
    if (index.size() != size)
        mismatch(what, "size", 0, size, index.size(), size);

    std::vector<int32_t> sa(size_t(size) + 1);
    std::vector<int32_t> scratch(size_t(size) + 1);
    suffixSort(sa.data(), scratch.data(), text.data(), size);
    for (int32_t r = 0; r <= size; r++)
        if (index.suffixArray()[r] != sa[size_t(r)])
            mismatch(what, "suffixArray", r, sa[size_t(r)], index.suffixArray()[r], size);

    // below[p]: common prefix of the suffix at p with the one ranked just below it.
    std::vector<int32_t> below(size_t(size) + 1, 0);
    if (size <= pairwiseLimit) {
        for (int32_t r = 1; r <= size; r++)
            below[size_t(sa[size_t(r)])] = commonPrefix(text, sa[size_t(r)], sa[size_t(r - 1)]);
    } else {
        std::vector<int32_t> &rank = scratch;
        for (int32_t r = 0; r <= size; r++)
            rank[size_t(sa[size_t(r)])] = r;
        int32_t h = 0;
        for (int32_t p = 0; p < size; p++) {
            const int32_t lower = sa[size_t(rank[size_t(p)] - 1)];
            while (p + h < size && lower + h < size && text[size_t(p + h)] == text[size_t(lower + h)])
                h++;
            below[size_t(p)] = h;
            h = std::max(0, h - 1);
        }
    }
    for (int32_t r = 0; r <= size; r++) {
        const int32_t p = sa[size_t(r)];
        if (index.lcpBelow()[p] != below[size_t(p)])
            mismatch(what, "lcpBelow", p, below[size_t(p)], index.lcpBelow()[p], size);
        const int32_t above = r < size ? below[size_t(sa[size_t(r + 1)])] : 0;
        if (index.lcpAbove()[p] != above)
            mismatch(what, "lcpAbove", p, above, index.lcpAbove()[p], size);
    }

    std::vector<int32_t> repeats(static_cast<size_t>(size));
    measureRepeats(text.data(), size, repeats.data());
    for (int32_t p = 0; p < size; p++)
        if (index.repeats()[p] != repeats[size_t(p)])
            mismatch(what, "repeats", p, repeats[size_t(p)], index.repeats()[p], size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    InputReader in(data, size);
    const uint8_t head = in.byte();
    const int32_t length = textSize(head & 7, in);
    SplitMix random(in.u32());
    Bytes text = startingText(length, uint8_t(head >> 3), random, in);

    SuffixIndex index;
    index.build(text.data(), length);
    expectFresh(index, text, "after the build");

    const int steps =
        int(std::clamp<int64_t>(checkedBytesPerInput / (int64_t(length) + 1), minSteps, maxSteps));
    int updates = 0;
    for (int k = 0; k < steps && !in.empty() && length > 0; k++) {
        const Step step = rewrite(text, in, random);
        index.update(text.data(), step.toldBegin, step.toldEnd);
        updates++;
        char what[96];
        std::snprintf(what, sizeof what, "after rewrite %d of [%d, %d), told [%d, %d)", k, step.begin, step.end,
                      step.toldBegin, step.toldEnd);
        expectFresh(index, text, what);
    }
    const SuffixIndex::Counts &counts = index.counts();
    if (counts.fullBuilds < 1 || counts.fullBuilds + counts.partialUpdates > 1 + updates)
        fuzzsupport::fail("the index counts more builds and updates than it was asked for");
    if (fuzzsupport::reportWanted("FUZZ_REPORT_COUNTS"))
        std::fprintf(stderr, "suffix_index: text %d bytes, %d updates: fullBuilds %d partialUpdates %d\n", length,
                     updates, counts.fullBuilds, counts.partialUpdates);
    return 0;
}
