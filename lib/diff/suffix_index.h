// The suffix array of a text that is rewritten range by range, kept exact
// without sorting the whole text again after every change.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "common/large_allocator.h"

namespace quarnel {

class SuffixIndex {
public:
    // How the index has been brought up to date so far.
    struct Counts {
        int32_t fullBuilds = 0;
        int32_t partialUpdates = 0;
    };

    // Indexes a copy of text[0, size) from scratch.
    void build(const uint8_t *text, int32_t size);

    // Follows the text to its new content, which differs from the indexed
    // one only within [begin, end).
    void update(const uint8_t *text, int32_t begin, int32_t end);

    // size() + 1 entries, the empty suffix first: the array suffixSort builds.
    const int32_t *suffixArray() const { return sa_.data(); }
    // Per text position (size() + 1 entries): the length of the common prefix
    // of the suffix there with the suffix ranked just below it (0 for the
    // empty suffix) and just above it (0 for the top suffix).
    const int32_t *lcpBelow() const { return lcpBelow_.data(); }
    const int32_t *lcpAbove() const { return lcpAbove_.data(); }
    // Per text position: how far the text keeps repeating (measureRepeats).
    const int32_t *repeats() const { return repeats_.data(); }
    int32_t size() const { return size_; }
    const Counts &counts() const { return counts_; }

private:
    void rebuild();
    bool updatePart(int32_t first, int32_t end);
    void keepUnaffected(int32_t first, int32_t end);
    void countPrecedingBytes(int32_t first, int32_t end);
    int32_t precedingCount(uint8_t byte, int32_t gap) const;
    void prefetchCount(uint8_t byte, int32_t gap) const;
    int32_t searchGap(int32_t p) const;
    bool findGaps(int32_t first, int32_t end);
    void sortQueries();
    void orderAffected(int32_t first, int32_t end);
    void settleTies();
    void mergeAffected(int32_t first, int32_t end);
    void repairLcp(int32_t first, int32_t end);

    int32_t size_ = 0;
    LargeVector<uint8_t> text_;
    LargeVector<int32_t> sa_;
    LargeVector<uint8_t> before_;  // per rank: the byte before that suffix (0 for the whole text)
    LargeVector<int32_t> lcpBelow_;
    LargeVector<int32_t> lcpAbove_;
    LargeVector<int32_t> repeats_;
    std::vector<int32_t> byteCounts_; // how often each byte value occurs in the text
    Counts counts_;

    // Scratch of one update, kept to avoid allocating per call.
    int32_t keptCount_ = 0; // the kept suffixes: moved to the front of sa_ and before_ during an update
    // Per block of 256 kept ranks and byte value: how many kept suffixes ranked
    // below the block follow that byte.
    LargeVector<int32_t> precedingCounts_;
    std::vector<int32_t> keptBelowByte_; // per byte value: kept suffixes that start with a smaller byte
    // Two kept suffixes that become neighbours, and the least common prefix of those removed between them.
    struct Join {
        int32_t lower;
        int32_t upper;
        int32_t between;
    };
    std::vector<Join> joins_;
    int32_t terminalRank_ = 0; // where the suffix just after the affected run lies among the kept ones
    int32_t startRank_ = -1;   // where the whole text lies among the kept ones, when it is kept
    // An affected suffix (by its offset from the first) and the number it is sorted by.
    struct Query {
        uint64_t key;
        int32_t offset;
    };
    LargeVector<Query> queries_;
    LargeVector<Query> queryScratch_;
    LargeVector<int32_t> gap_;     // per affected suffix: how many kept suffixes sort below it
    LargeVector<int32_t> order_;   // affected suffixes (as offsets from the first) in sorted order
    LargeVector<int32_t> newRank_; // per affected suffix: its rank after the merge
    std::vector<int32_t> digitCounts_;
    LargeVector<int32_t> symbols_;
    // Ordering ties among the affected suffixes: per suffix the rank of its
    // group, and the groups (in order_) still to split.
    struct Group {
        int32_t start;
        int32_t length;
    };
    LargeVector<int32_t> ranks_;
    std::vector<Group> ties_;
    std::vector<Group> nextTies_;
    std::vector<std::pair<int32_t, int32_t>> members_;     // a group's next ranks and suffixes
    std::vector<std::pair<int32_t, int32_t>> rankUpdates_; // suffix and new rank
};

} // namespace quarnel
