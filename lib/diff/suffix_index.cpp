#include "diff/suffix_index.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "diff/sais.h"

// After text[begin, end) changes, only two kinds of suffixes can change their
// place: those that start in the range, and those before it whose comparison
// with a neighbour in the suffix array reads into the range (their position
// plus their longer neighbour common prefix reaches begin). That reach never
// falls from one position to the next, so the affected suffixes form one run
// [first, end). Every other pair of suffixes compares on bytes that did not
// change, so the array without the affected suffixes (the kept ones) stays
// sorted, and the common prefix of two kept suffixes that become neighbours
// is the minimum of the old values between them. The affected suffixes are
// placed among the kept ones by binary search, ordered among themselves by
// the suffix order of a short integer string, merged back, and their common
// prefixes measured anew with Kasai's bound.

namespace quarnel {

namespace {

// Beyond these, sorting everything again is cheaper than the update.
constexpr int32_t affectedShareLimit = 4;  // affected suffixes above size / 4
// The searches' work in rough nanoseconds: a step costs a cache miss or two, eight compared bytes
// one; a full sort costs about a hundred per byte of text, and the searches may spend half that.
constexpr int64_t searchStepCost = 20;
constexpr int64_t searchBudgetPerByte = 50;

// Most of the work is random reads; asking for lines early lets several misses overlap.
inline void prefetch(const void *address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

// Every this many kept suffixes, the first eight bytes are noted, so that searches
// can narrow their range without reading the text.
constexpr int32_t sampleStride = 16;

// Reads ahead this many steps in loops whose addresses are known in advance.
constexpr int32_t lookahead = 16;

// Eight bytes as one number that orders like the bytes do.
inline uint64_t loadBigEndian(const uint8_t *bytes)
{
#if defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t value;
    std::memcpy(&value, bytes, 8);
    return __builtin_bswap64(value);
#else
    uint64_t value = 0;
    for (int i = 0; i < 8; i++)
        value = (value << 8) | bytes[i];
    return value;
#endif
}

// Index of the first differing byte of two different big-endian words.
inline int32_t firstDifference(uint64_t x, uint64_t y)
{
#if defined(__GNUC__)
    return __builtin_clzll(x ^ y) >> 3;
#else
    int32_t i = 0;
    while (((x ^ y) >> (56 - 8 * i) & 0xFF) == 0)
        i++;
    return i;
#endif
}

// The first eight bytes of the suffix at p as a number, zeros past the end: a
// smaller number means a smaller suffix (equal numbers tell nothing).
inline uint64_t prefixKey(const uint8_t *text, int32_t size, int32_t p)
{
    if (size - p >= 8)
        return loadBigEndian(text + p);
    uint64_t key = 0;
    for (int32_t b = 0; b < 8; b++)
        key = (key << 8) | (p + b < size ? text[p + b] : 0);
    return key;
}

struct Comparison {
    int32_t common; // length of the common prefix
    bool below;     // the first suffix sorts below the second
};

// Compares the suffixes at a and b (a != b), whose first known bytes are equal, eight bytes at a time.
inline Comparison compareSuffixes(const uint8_t *text, int32_t size, int32_t a, int32_t b, int32_t known)
{
    const int32_t limit = size - std::max(a, b);
    int32_t l = known;
    while (limit - l >= 8) {
        const uint64_t x = loadBigEndian(text + a + l);
        const uint64_t y = loadBigEndian(text + b + l);
        if (x != y)
            return {l + firstDifference(x, y), x < y};
        l += 8;
    }
    while (l < limit && text[a + l] == text[b + l])
        l++;
    // A suffix that ends first is a prefix of the other and sorts below it.
    const bool below = a + l == size || (b + l != size && text[a + l] < text[b + l]);
    return {l, below};
}

int32_t commonPrefix(const uint8_t *text, int32_t size, int32_t a, int32_t b, int32_t known)
{
    return compareSuffixes(text, size, a, b, known).common;
}

} // namespace

void SuffixIndex::build(const uint8_t *text, int32_t size)
{
    text_.assign(text, text + size);
    size_ = size;
    rebuild();
}

void SuffixIndex::rebuild()
{
    const size_t slots = static_cast<size_t>(size_) + 1;
    kept_.reserve(slots);
    samples_.reserve(slots / sampleStride + 1);
    sa_.resize(slots);
    lcpBelow_.resize(slots);
    lcpAbove_.resize(slots);
    inducedSuffixArray(text_.data(), size_, sa_.data());

    // Kasai's walk in text order; lcpBelow_ first holds the position ranked just below.
    for (int32_t r = 1; r <= size_; r++) {
        if (r + lookahead <= size_)
            prefetch(&lcpBelow_[sa_[r + lookahead]]);
        lcpBelow_[sa_[r]] = sa_[r - 1];
    }
    const uint8_t *text = text_.data();
    int32_t h = 0;
    for (int32_t i = 0; i < size_; i++) {
        if (i + lookahead < size_)
            prefetch(text + std::min(lcpBelow_[i + lookahead] + h, size_));
        h = commonPrefix(text, size_, i, lcpBelow_[i], h);
        lcpBelow_[i] = h;
        if (h > 0)
            h--;
    }
    lcpBelow_[size_] = 0;
    for (int32_t r = 0; r < size_; r++) {
        if (r + lookahead < size_) {
            prefetch(&lcpBelow_[sa_[r + 1 + lookahead]]);
            prefetch(&lcpAbove_[sa_[r + lookahead]]);
        }
        lcpAbove_[sa_[r]] = lcpBelow_[sa_[r + 1]];
    }
    lcpAbove_[sa_[size_]] = 0;

    counts_.fullBuilds++;
}

void SuffixIndex::update(const uint8_t *text, int32_t begin, int32_t end)
{
    begin = std::max(begin, 0);
    end = std::min(end, size_);
    while (begin < end && text[begin] == text_[begin])
        begin++;
    while (end > begin && text[end - 1] == text_[end - 1])
        end--;
    if (begin >= end)
        return;

    int32_t first = begin;
    while (first > 0 && (first - 1) + std::max(lcpBelow_[first - 1], lcpAbove_[first - 1]) >= begin)
        first--;

    std::memcpy(text_.data() + begin, text + begin, static_cast<size_t>(end - begin));
    if (end - first > size_ / affectedShareLimit || !updatePart(first, end)) {
        rebuild();
        return;
    }
    counts_.partialUpdates++;
}

bool SuffixIndex::updatePart(int32_t first, int32_t end)
{
    keepUnaffected(first, end);
    if (!findGaps(first, end))
        return false;
    orderAffected(first, end);
    mergeAffected(first, end);
    repairLcp(first, end);
    return true;
}

// Copies the kept suffixes, in order, into kept_ and notes every sixteenth
// one's first bytes; gives kept suffixes that become neighbours the minimum of
// the common prefixes between them.
void SuffixIndex::keepUnaffected(int32_t first, int32_t end)
{
    kept_.resize(static_cast<size_t>(size_) + 1 - (end - first));
    joins_.clear();
    const uint32_t count = static_cast<uint32_t>(end - first);
    int32_t out = 0;
    int32_t runMin = std::numeric_limits<int32_t>::max();
    for (int32_t r = 0; r <= size_; r++) {
        const int32_t p = sa_[r];
        if (static_cast<uint32_t>(p - first) < count) {
            runMin = std::min(runMin, lcpBelow_[p]);
            continue;
        }
        if (runMin != std::numeric_limits<int32_t>::max()) {
            joins_.push_back({kept_[out - 1], p, runMin});
            runMin = std::numeric_limits<int32_t>::max();
        }
        if (p == end)
            terminalRank_ = out;
        kept_[out++] = p;
    }
    if (runMin != std::numeric_limits<int32_t>::max())
        lcpAbove_[kept_[out - 1]] = 0;

    samples_.resize(static_cast<size_t>((out + sampleStride - 1) / sampleStride));
    const int32_t samples = static_cast<int32_t>(samples_.size());
    for (int32_t k = 0; k < samples; k++) {
        if (k + lookahead < samples)
            prefetch(text_.data() + kept_[(k + lookahead) * sampleStride]);
        samples_[k] = prefixKey(text_.data(), size_, kept_[k * sampleStride]);
    }

    const size_t joins = joins_.size();
    for (size_t k = 0; k < joins; k++) {
        if (k + lookahead < joins) {
            prefetch(&lcpBelow_[joins_[k + lookahead].upper]);
            prefetch(&lcpAbove_[joins_[k + lookahead].lower]);
        }
        const Join &join = joins_[k];
        const int32_t common = std::min(join.between, lcpBelow_[join.upper]);
        lcpBelow_[join.upper] = common;
        lcpAbove_[join.lower] = common;
    }
}

// For every affected suffix, the number of kept suffixes below it, by a
// binary search between the noted prefixes around its own, skipping the
// prefix both bounds share. Gives up when the searches compare too many
// bytes (long runs of one value).
bool SuffixIndex::findGaps(int32_t first, int32_t end)
{
    const int32_t count = end - first;
    gap_.resize(static_cast<size_t>(count));
    const uint8_t *text = text_.data();
    // Searching in order of the first bytes keeps consecutive searches on nearby paths, which stay in cache.
    queries_.resize(static_cast<size_t>(count));
    for (int32_t j = 0; j < count; j++)
        queries_[j] = {prefixKey(text, size_, first + j), j};
    // The top four bytes are enough to keep nearby searches together.
    sortQueries(32);

    // Several searches advance side by side so that their cache misses overlap;
    // each lane works through its own stretch of the sorted order.
    constexpr int32_t lanes = 16;
    struct Lane {
        int32_t next; // the lane's next entry of queries_
        int32_t stop;
        int32_t p;
        int32_t low;
        int32_t high;
        int32_t lowCommon;
        int32_t highCommon;
        int32_t mid;
    };
    const int32_t keptCount = static_cast<int32_t>(kept_.size());
    // Starts the lane's next search between the noted prefixes around the suffix's own;
    // false when its stretch is done.
    const auto startSearch = [&](Lane &lane) {
        while (lane.next < lane.stop) {
            const Query &query = queries_[lane.next++];
            const auto lower = std::lower_bound(samples_.begin(), samples_.end(), query.key);
            const auto upper = std::upper_bound(lower, samples_.end(), query.key);
            // kept_[0] is the empty suffix, below every other.
            const int32_t lowerSample = static_cast<int32_t>(lower - samples_.begin());
            const int32_t upperSample = static_cast<int32_t>(upper - samples_.begin());
            lane.low = lowerSample == 0 ? 0 : (lowerSample - 1) * sampleStride;
            lane.high = upper == samples_.end() ? keptCount : upperSample * sampleStride;
            if (lane.high - lane.low <= 1) {
                gap_[query.offset] = lane.high;
                continue;
            }
            lane.p = first + query.offset;
            lane.lowCommon = 0;
            lane.highCommon = 0;
            return true;
        }
        return false;
    };
    Lane lanesState[lanes];
    int32_t active = 0;
    for (int32_t l = 0; l < lanes; l++) {
        Lane &lane = lanesState[active];
        lane.next = int32_t(int64_t(count) * l / lanes);
        lane.stop = int32_t(int64_t(count) * (l + 1) / lanes);
        if (startSearch(lane))
            active++;
    }

    int64_t budget = searchBudgetPerByte * size_;
    while (active > 0) {
        for (int32_t l = 0; l < active; l++) {
            Lane &lane = lanesState[l];
            lane.mid = lane.low + (lane.high - lane.low) / 2;
            prefetch(&kept_[lane.mid]);
        }
        for (int32_t l = 0; l < active; l++) {
            const Lane &lane = lanesState[l];
            prefetch(text + kept_[lane.mid] + std::min(lane.lowCommon, lane.highCommon));
        }
        for (int32_t l = 0; l < active;) {
            Lane &lane = lanesState[l];
            const int32_t known = std::min(lane.lowCommon, lane.highCommon);
            const Comparison c = compareSuffixes(text, size_, lane.p, kept_[lane.mid], known);
            budget -= searchStepCost + (c.common - known) / 8;
            if (c.below) {
                lane.high = lane.mid;
                lane.highCommon = c.common;
            } else {
                lane.low = lane.mid;
                lane.lowCommon = c.common;
            }
            if (lane.high - lane.low > 1) {
                l++;
                continue;
            }
            gap_[lane.p - first] = lane.high;
            if (startSearch(lane)) {
                l++;
                continue;
            }
            // The last lane, whose step of this round is still to come, takes this one's place.
            active--;
            lane = lanesState[active];
        }
        if (budget < 0)
            return false;
    }
    return true;
}

// Sorts queries_ by their keys from bit lowestBit up, by stable radix passes of eleven bits.
void SuffixIndex::sortQueries(int lowestBit)
{
    constexpr int digitBits = 11;
    constexpr uint32_t digitMask = (1u << digitBits) - 1;
    uint64_t highest = 0;
    for (const Query &query : queries_)
        highest = std::max(highest, query.key);
    queryScratch_.resize(queries_.size());
    std::vector<int32_t> &counts = digitCounts_;
    for (int shift = lowestBit; shift < 64 && (highest >> shift) != 0; shift += digitBits) {
        counts.assign(digitMask + 2, 0);
        for (const Query &query : queries_)
            counts[((query.key >> shift) & digitMask) + 1]++;
        for (size_t d = 1; d < counts.size(); d++)
            counts[d] += counts[d - 1];
        for (const Query &query : queries_)
            queryScratch_[counts[(query.key >> shift) & digitMask]++] = query;
        queries_.swap(queryScratch_);
    }
}

// Sorts the affected suffixes into order_. Two of them in different gaps are
// ordered by their gaps; in the same gap by their first byte, then by the
// suffixes one further on. So their order is the suffix order of the string
// (2 * gap, byte) over [first, end), closed by the suffix at end, which is
// kept and sorts as (2 * its kept rank + 1).
void SuffixIndex::orderAffected(int32_t first, int32_t end)
{
    const int32_t count = end - first;
    queries_.resize(static_cast<size_t>(count) + 1);
    for (int32_t j = 0; j < count; j++)
        queries_[j] = {(static_cast<uint64_t>(gap_[j]) << 9) | text_[first + j], j};
    queries_[count] = {(static_cast<uint64_t>(terminalRank_) << 9) | 0x100, count};
    sortQueries(0);

    order_.resize(static_cast<size_t>(count) + 1);
    bool distinct = true;
    for (int32_t k = 0; k <= count; k++) {
        order_[k] = queries_[k].offset;
        distinct = distinct && (k == 0 || queries_[k].key != queries_[k - 1].key);
    }
    if (!distinct) {
        symbols_.resize(static_cast<size_t>(count) + 1);
        int32_t alphabet = 0;
        for (int32_t k = 0; k <= count; k++) {
            if (k > 0 && queries_[k].key != queries_[k - 1].key)
                alphabet++;
            symbols_[queries_[k].offset] = alphabet;
        }
        inducedSuffixArray(symbols_.data(), count + 1, alphabet + 1, order_.data());
    }
    order_.erase(std::remove(order_.begin(), order_.end(), count), order_.end());
}

// Merges the sorted affected suffixes among the kept ones into sa_.
void SuffixIndex::mergeAffected(int32_t first, int32_t end)
{
    newRank_.resize(static_cast<size_t>(end - first));
    int32_t from = 0;
    int32_t out = 0;
    for (const int32_t j : order_) {
        const int32_t gap = gap_[j];
        std::copy(kept_.begin() + from, kept_.begin() + gap, sa_.begin() + out);
        out += gap - from;
        from = gap;
        newRank_[j] = out;
        sa_[out++] = first + j;
    }
    std::copy(kept_.begin() + from, kept_.end(), sa_.begin() + out);
}

// Measures the common prefixes of the affected suffixes with both neighbours,
// carrying Kasai's bound from each position to the next.
void SuffixIndex::repairLcp(int32_t first, int32_t end)
{
    const uint8_t *text = text_.data();
    int32_t below = 0;
    int32_t above = 0;
    for (int32_t p = first; p < end; p++) {
        if (p + 2 * lookahead < end) {
            const int32_t r = newRank_[p + 2 * lookahead - first];
            prefetch(sa_.data() + r - 1);
            prefetch(sa_.data() + r + 1);
        }
        if (p + lookahead < end) {
            const int32_t r = newRank_[p + lookahead - first];
            prefetch(text + std::min(sa_[r - 1] + below, size_));
            prefetch(&lcpAbove_[sa_[r - 1]]);
            if (r < size_) {
                prefetch(text + std::min(sa_[r + 1] + above, size_));
                prefetch(&lcpBelow_[sa_[r + 1]]);
            }
        }
        const int32_t r = newRank_[p - first];
        const int32_t lower = sa_[r - 1];
        below = commonPrefix(text, size_, p, lower, below);
        lcpBelow_[p] = below;
        lcpAbove_[lower] = below;
        if (below > 0)
            below--;
        if (r < size_) {
            const int32_t upper = sa_[r + 1];
            above = commonPrefix(text, size_, p, upper, above);
            lcpAbove_[p] = above;
            lcpBelow_[upper] = above;
            if (above > 0)
                above--;
        } else {
            lcpAbove_[p] = 0;
            above = 0;
        }
    }
}

} // namespace quarnel
