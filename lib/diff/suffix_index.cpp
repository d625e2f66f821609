#include "diff/suffix_index.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "diff/repeats.h"
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
// placed among the kept ones from the last to the first: a suffix sorts
// among the kept ones by its first byte and then as the suffix one further
// on does, so its place follows from that one's with a count of the kept
// suffixes that follow the same byte (the last-to-first mapping of the
// Burrows-Wheeler transform). They are then ordered among themselves by the
// suffix order of a short integer string, merged back, and their common
// prefixes measured anew with Kasai's bound.

namespace quarnel {

namespace {

// Beyond these, sorting everything again is cheaper than the update.
constexpr int32_t affectedShareLimit = 4;  // affected suffixes above size / 4
constexpr int64_t comparedBytesPerByte = 4; // bytes compared while placing, per byte of text
constexpr int32_t maxTiedShare = 8;          // affected suffixes tied on their first key, as a share settled by doubling

// Kept ranks per block of precedingCounts_.
constexpr int32_t countBlockBits = 8;
constexpr int32_t countBlock = 1 << countBlockBits;

// Most of the work is random reads; asking for lines early lets several misses overlap.
inline void prefetch(const void *address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

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

// How many of bytes[0, length) equal value.
int32_t countByte(const uint8_t *bytes, int32_t length, uint8_t value)
{
    int32_t count = 0;
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
    __m128i sums = _mm_setzero_si128();
    // An equal byte compares as all ones (-1), so subtracting it counts one; 255 rounds fill a lane.
    __m128i lanes = _mm_setzero_si128();
    int32_t rounds = 0;
    for (; length - i >= 16; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
        lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(chunk, wanted));
        if (++rounds == 255) {
            sums = _mm_add_epi64(sums, _mm_sad_epu8(lanes, _mm_setzero_si128()));
            lanes = _mm_setzero_si128();
            rounds = 0;
        }
    }
    sums = _mm_add_epi64(sums, _mm_sad_epu8(lanes, _mm_setzero_si128()));
    count = _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums));
#endif
    for (; i < length; i++)
        count += bytes[i] == value;
    return count;
}

} // namespace

void SuffixIndex::build(const uint8_t *text, int32_t size)
{
    text_.assign(text, text + size);
    size_ = size;
    byteCounts_.assign(256, 0);
    for (int32_t i = 0; i < size; i++)
        byteCounts_[text[i]]++;
    repeats_.resize(static_cast<size_t>(size));
    measureRepeats(text, size, repeats_.data());
    rebuild();
}

void SuffixIndex::rebuild()
{
    const size_t slots = static_cast<size_t>(size_) + 1;
    sa_.resize(slots);
    before_.resize(slots);
    lcpBelow_.resize(slots);
    lcpAbove_.resize(slots);
    inducedSuffixArray(text_.data(), size_, sa_.data());
    const uint8_t *text = text_.data();
    for (int32_t r = 0; r <= size_; r++)
        before_[r] = sa_[r] > 0 ? text[sa_[r] - 1] : 0;

    // Kasai's walk in text order; lcpBelow_ first holds the position ranked just below.
    for (int32_t r = 1; r <= size_; r++) {
        if (r + lookahead <= size_)
            prefetch(&lcpBelow_[sa_[r + lookahead]]);
        lcpBelow_[sa_[r]] = sa_[r - 1];
    }
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

    for (int32_t i = begin; i < end; i++) {
        byteCounts_[text_[i]]--;
        byteCounts_[text[i]]++;
    }
    std::memcpy(text_.data() + begin, text + begin, static_cast<size_t>(end - begin));
    remeasureRepeats(text_.data(), size_, begin, end, repeats_.data());
    if (end - first > size_ / affectedShareLimit || !updatePart(first, end)) {
        rebuild();
        return;
    }
    counts_.partialUpdates++;
}

bool SuffixIndex::updatePart(int32_t first, int32_t end)
{
    keepUnaffected(first, end);
    countPrecedingBytes(first, end);
    if (!findGaps(first, end))
        return false;
    orderAffected(first, end);
    mergeAffected(first, end);
    repairLcp(first, end);
    return true;
}

// Moves the kept suffixes, in order, to the front of sa_ (and the bytes
// before them to the front of before_); gives kept suffixes that become
// neighbours the minimum of the common prefixes between them.
void SuffixIndex::keepUnaffected(int32_t first, int32_t end)
{
    keptCount_ = size_ + 1 - (end - first);
    joins_.clear();
    startRank_ = -1;
    // Plain pointers: stores through bytes could alias the vectors' own, which would be reloaded every step.
    int32_t *sa = sa_.data();
    uint8_t *before = before_.data();
    const int32_t *lcpBelow = lcpBelow_.data();
    const uint32_t count = static_cast<uint32_t>(end - first);
    int32_t out = 0;
    int32_t r = 0;
    while (r <= size_) {
        // Copies the stretch up to the next suffix that needs a look: an affected one, the one at end,
        // or the whole text.
        int32_t stop = r;
        while (stop <= size_ && static_cast<uint32_t>(sa[stop] - first) > count && sa[stop] != 0)
            stop++;
        // Entries only move down, and not before the first affected one.
        if (out != r) {
            std::memmove(sa + out, sa + r, sizeof(int32_t) * static_cast<size_t>(stop - r));
            std::memmove(before + out, before + r, static_cast<size_t>(stop - r));
        }
        out += stop - r;
        r = stop;
        if (r > size_)
            break;
        const int32_t p = sa[r];
        if (static_cast<uint32_t>(p - first) < count) {
            int32_t runMin = std::numeric_limits<int32_t>::max();
            for (; r <= size_ && static_cast<uint32_t>(sa[r] - first) < count; r++)
                runMin = std::min(runMin, lcpBelow[sa[r]]);
            // The empty suffix, ranked first, is always kept.
            if (r <= size_)
                joins_.push_back({sa[out - 1], sa[r], runMin});
            else
                lcpAbove_[sa[out - 1]] = 0;
            continue;
        }
        if (p == end)
            terminalRank_ = out;
        if (p == 0)
            startRank_ = out;
        before[out] = before[r];
        sa[out++] = p;
        r++;
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

// Counts, per block of kept ranks, the bytes before the kept suffixes below
// it, and per byte value the kept suffixes that start with a smaller one.
void SuffixIndex::countPrecedingBytes(int32_t first, int32_t end)
{
    const int32_t keptCount = keptCount_;
    const int32_t blocks = (keptCount >> countBlockBits) + 1;
    precedingCounts_.resize(static_cast<size_t>(blocks) * 256);
    // The bytes before neighbouring suffixes are often equal; four tallies
    // taken in turn keep each increment from waiting for the one before.
    int32_t tallies[4][256] = {};
    const uint8_t *before = before_.data();
    for (int32_t block = 0; block < blocks; block++) {
        int32_t *counts = &precedingCounts_[static_cast<size_t>(block) * 256];
        for (int32_t byte = 0; byte < 256; byte++)
            counts[byte] = tallies[0][byte] + tallies[1][byte] + tallies[2][byte] + tallies[3][byte];
        const int32_t stop = std::min(keptCount, (block + 1) << countBlockBits);
        int32_t r = block << countBlockBits;
        for (; stop - r >= 4; r += 4) {
            tallies[0][before[r]]++;
            tallies[1][before[r + 1]]++;
            tallies[2][before[r + 2]]++;
            tallies[3][before[r + 3]]++;
        }
        for (; r < stop; r++)
            tallies[0][before[r]]++;
    }

    std::vector<int32_t> &below = keptBelowByte_;
    below.assign(256, 0);
    for (int32_t p = first; p < end; p++)
        below[text_[p]]--;
    // The empty suffix is kept and sorts below every other.
    int32_t sum = 1;
    for (int32_t byte = 0; byte < 256; byte++) {
        const int32_t kept = byteCounts_[byte] + below[byte];
        below[byte] = sum;
        sum += kept;
    }
}

// How many kept suffixes ranked below gap follow the given byte. The suffix
// after the affected run follows a changed byte and the whole text follows
// none, so neither counts.
int32_t SuffixIndex::precedingCount(uint8_t byte, int32_t gap) const
{
    const int32_t blockStart = gap & ~(countBlock - 1);
    int32_t count = precedingCounts_[(static_cast<size_t>(gap) >> countBlockBits) * 256 + byte] +
                    countByte(before_.data() + blockStart, gap - blockStart, byte);
    if (terminalRank_ < gap && before_[terminalRank_] == byte)
        count--;
    if (startRank_ >= 0 && startRank_ < gap && before_[startRank_] == byte)
        count--;
    return count;
}

// Asks for the lines precedingCount(byte, gap) will read.
void SuffixIndex::prefetchCount(uint8_t byte, int32_t gap) const
{
    prefetch(&precedingCounts_[(static_cast<size_t>(gap) >> countBlockBits) * 256 + byte]);
    const int32_t blockStart = gap & ~(countBlock - 1);
    for (int32_t line = blockStart; line < gap; line += 64)
        prefetch(before_.data() + line);
}

// The number of kept suffixes below the suffix at p, by binary search.
int32_t SuffixIndex::searchGap(int32_t p) const
{
    const uint8_t *text = text_.data();
    // The empty suffix, kept first, is below every other.
    int32_t low = 0;
    int32_t high = keptCount_;
    int32_t lowCommon = 0;
    int32_t highCommon = 0;
    while (high - low > 1) {
        const int32_t mid = low + (high - low) / 2;
        const Comparison c = compareSuffixes(text, size_, p, sa_[mid], std::min(lowCommon, highCommon));
        if (c.below) {
            high = mid;
            highCommon = c.common;
        } else {
            low = mid;
            lowCommon = c.common;
        }
    }
    return high;
}

// For every affected suffix, the number of kept suffixes below it. A suffix
// at p sorts among the kept ones that start with a smaller byte, and among
// those that start with the same byte as the suffixes one further on sort:
// so its gap follows from the gap of p + 1. The one kept suffix whose next
// suffix is affected, the one just before the run, is compared through the
// first affected suffix, placed beforehand by binary search; only where that
// one shares a gap with p + 1 are the texts compared. Gives up when those
// comparisons read too many bytes (long runs of one value).
bool SuffixIndex::findGaps(int32_t first, int32_t end)
{
    const int32_t count = end - first;
    gap_.resize(static_cast<size_t>(count));
    const uint8_t *text = text_.data();
    const int32_t firstGap = first > 0 ? searchGap(first) : 0;
    const int32_t byteBeforeRun = first > 0 ? text[first - 1] : -1;
    int64_t budget = comparedBytesPerByte * size_;

    // Every step waits for a count from a table of megabytes; several stretches
    // of the run are walked side by side, each down from its own top (placed by
    // binary search), so that those waits overlap.
    struct Walk {
        int32_t p;
        int32_t stop;
        int32_t nextGap; // the gap of p + 1, or for the suffix at end its rank among the kept ones
    };
    constexpr int32_t maxWalks = 16;
    constexpr int32_t minWalkLength = 256;
    const int32_t walks = std::min(maxWalks, 1 + count / minWalkLength);
    Walk walk[maxWalks];
    for (int32_t w = 0; w < walks; w++) {
        const int32_t top = first + static_cast<int32_t>(int64_t{count} * (w + 1) / walks);
        walk[w] = {top - 1, first + static_cast<int32_t>(int64_t{count} * w / walks),
                   top == end ? terminalRank_ : searchGap(top)};
    }

    int32_t active = walks;
    while (active > 0) {
        for (int32_t w = 0; w < active; w++)
            prefetchCount(text[walk[w].p], walk[w].nextGap);
        for (int32_t w = 0; w < active;) {
            Walk &current = walk[w];
            const int32_t p = current.p;
            const uint8_t byte = text[p];
            int32_t gap = keptBelowByte_[byte] + precedingCount(byte, current.nextGap);
            if (byte == byteBeforeRun) {
                // Is the suffix at first below the one at p + 1?
                bool firstBelow;
                if (p + 1 == end) {
                    firstBelow = firstGap <= current.nextGap;
                } else if (firstGap != current.nextGap) {
                    firstBelow = firstGap < current.nextGap;
                } else {
                    const Comparison c = compareSuffixes(text, size_, first, p + 1, 0);
                    budget -= c.common;
                    if (budget < 0)
                        return false;
                    firstBelow = c.below;
                }
                gap += firstBelow;
            }
            gap_[p - first] = gap;
            current.nextGap = gap;
            if (--current.p >= current.stop) {
                w++;
                continue;
            }
            active--;
            current = walk[active];
        }
    }
    return true;
}

// Sorts queries_ by their keys, by stable radix passes of eleven bits.
void SuffixIndex::sortQueries()
{
    constexpr int digitBits = 11;
    constexpr uint32_t digitMask = (1u << digitBits) - 1;
    uint64_t highest = 0;
    for (const Query &query : queries_)
        highest = std::max(highest, query.key);
    queryScratch_.resize(queries_.size());
    std::vector<int32_t> &counts = digitCounts_;
    for (int shift = 0; shift < 64 && (highest >> shift) != 0; shift += digitBits) {
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
    sortQueries();

    order_.resize(static_cast<size_t>(count) + 1);
    ranks_.resize(static_cast<size_t>(count) + 1);
    ties_.clear();
    int32_t tied = 0;
    for (int32_t k = 0; k <= count; k++) {
        order_[k] = queries_[k].offset;
        // A suffix's rank is where its group of equal keys starts.
        const bool sameAsPrevious = k > 0 && queries_[k].key == queries_[k - 1].key;
        ranks_[queries_[k].offset] = sameAsPrevious ? ranks_[queries_[k - 1].offset] : k;
        if (sameAsPrevious) {
            if (ties_.empty() || ties_.back().start + ties_.back().length != k)
                ties_.push_back({k - 1, 1});
            ties_.back().length++;
            tied++;
        }
    }
    // Few ties are settled by doubling within their groups; many (runs,
    // repeats inside the run) by sorting the whole integer string.
    if (tied > count / maxTiedShare) {
        symbols_.resize(static_cast<size_t>(count) + 1);
        int32_t alphabet = 0;
        for (int32_t k = 0; k <= count; k++) {
            if (k > 0 && queries_[k].key != queries_[k - 1].key)
                alphabet++;
            symbols_[queries_[k].offset] = alphabet;
        }
        inducedSuffixArray(symbols_.data(), count + 1, alphabet + 1, order_.data());
    } else {
        settleTies();
    }
    // The suffix that closes the string is kept, not affected.
    order_.erase(std::remove(order_.begin(), order_.end(), count), order_.end());
}

// Orders the suffixes within each group of ties_ by prefix doubling: members
// that share their first h symbols are ordered by the ranks of the suffixes h
// further on. The suffix at the end of the string is alone in its group, so
// every group splits up before a member runs past it.
void SuffixIndex::settleTies()
{
    for (int32_t h = 1; !ties_.empty(); h *= 2) {
        rankUpdates_.clear();
        nextTies_.clear();
        for (const Group &group : ties_) {
            members_.clear();
            for (int32_t k = group.start; k < group.start + group.length; k++)
                members_.push_back({ranks_[order_[k] + h], order_[k]});
            std::sort(members_.begin(), members_.end());
            for (int32_t i = 0; i < group.length;) {
                int32_t next = i + 1;
                while (next < group.length && members_[next].first == members_[i].first)
                    next++;
                for (int32_t m = i; m < next; m++) {
                    order_[group.start + m] = members_[m].second;
                    rankUpdates_.push_back({members_[m].second, group.start + i});
                }
                if (next - i > 1)
                    nextTies_.push_back({group.start + i, next - i});
                i = next;
            }
        }
        // The new ranks take effect together, after every group was read with the old ones.
        for (const auto &update : rankUpdates_)
            ranks_[update.first] = update.second;
        ties_.swap(nextTies_);
    }
}

// Merges the sorted affected suffixes among the kept ones at the front of
// sa_ (and the bytes before them in before_), from the back, so that every
// kept entry moves up once and only after it was read.
void SuffixIndex::mergeAffected(int32_t first, int32_t end)
{
    before_[terminalRank_] = text_[end - 1];
    newRank_.resize(static_cast<size_t>(end - first));
    int32_t *sa = sa_.data();
    uint8_t *before = before_.data();
    int32_t keptEnd = keptCount_; // kept entries [0, keptEnd) are still to be placed
    int32_t out = size_ + 1;      // entries [out, size_] are placed
    for (size_t k = order_.size(); k-- > 0;) {
        const int32_t j = order_[k];
        const int32_t gap = gap_[j];
        const int32_t moved = keptEnd - gap;
        out -= moved;
        std::memmove(sa + out, sa + gap, sizeof(int32_t) * static_cast<size_t>(moved));
        std::memmove(before + out, before + gap, static_cast<size_t>(moved));
        keptEnd = gap;
        const int32_t p = first + j;
        out--;
        newRank_[j] = out;
        before[out] = p > 0 ? text_[p - 1] : 0;
        sa[out] = p;
    }
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
