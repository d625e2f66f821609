#include "diff/differ.h"

#include "diff/repeats.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace quarnel {

namespace {

// True when the extension score 2*s - i beats 2*best - bestLength; 64-bit so that 2*s cannot overflow.
bool scoresHigher(int32_t s, int32_t i, int32_t best, int32_t bestLength)
{
    return 2 * int64_t{s} - i > 2 * int64_t{best} - bestLength;
}

// One aligned stretch of new data waiting to become a record.
struct Stretch {
    int32_t lastScan;
    int32_t lastPos;
    int32_t scan;
    int32_t matchPos;
};

// Shortest forward extension from lastPos with the best score.
int32_t forwardExtension(const Stretch &st, const uint8_t *oldData, int32_t oldSize, const uint8_t *newData)
{
    int32_t s = 0;
    int32_t best = 0;
    int32_t length = 0;
    for (int32_t i = 0; st.lastScan + i < st.scan && st.lastPos + i < oldSize;) {
        if (oldData[st.lastPos + i] == newData[st.lastScan + i])
            s++;
        i++;
        if (scoresHigher(s, i, best, length)) {
            best = s;
            length = i;
        }
    }
    return length;
}

// Shortest backward extension from matchPos with the best score.
int32_t backwardExtension(const Stretch &st, const uint8_t *oldData, const uint8_t *newData)
{
    int32_t s = 0;
    int32_t best = 0;
    int32_t length = 0;
    for (int32_t i = 1; st.scan >= st.lastScan + i && st.matchPos >= i; i++) {
        if (oldData[st.matchPos - i] == newData[st.scan - i])
            s++;
        if (scoresHigher(s, i, best, length)) {
            best = s;
            length = i;
        }
    }
    return length;
}

// Where the two extensions overlap, gives each byte to the alignment that matches more of it.
void cutOverlap(const Stretch &st, const uint8_t *oldData, const uint8_t *newData, int32_t &forwardLength,
                int32_t &backwardLength)
{
    if (st.lastScan + forwardLength <= st.scan - backwardLength)
        return;
    const int32_t overlap = (st.lastScan + forwardLength) - (st.scan - backwardLength);
    int32_t s = 0;
    int32_t best = 0;
    int32_t cut = 0;
    for (int32_t i = 0; i < overlap; i++) {
        if (newData[st.lastScan + forwardLength - overlap + i] == oldData[st.lastPos + forwardLength - overlap + i])
            s++;
        if (newData[st.scan - backwardLength + i] == oldData[st.matchPos - backwardLength + i])
            s--;
        if (s > best) {
            best = s;
            cut = i + 1;
        }
    }
    forwardLength += cut - overlap;
    backwardLength -= cut;
}

// Closes the stretch into a record (unless it would be empty); returns the backward extension.
int32_t closeStretch(const Stretch &st, const uint8_t *oldData, int32_t oldSize, const uint8_t *newData,
                     int32_t newSize, PatchList &patches)
{
    int32_t forwardLength = forwardExtension(st, oldData, oldSize, newData);
    int32_t backwardLength = st.scan < newSize ? backwardExtension(st, oldData, newData) : 0;
    cutOverlap(st, oldData, newData, forwardLength, backwardLength);

    const int32_t extraStart = st.lastScan + forwardLength;
    const int32_t extraLength = (st.scan - backwardLength) - extraStart;
    if (forwardLength == 0 && extraLength == 0)
        return backwardLength;

    auto patch = std::make_shared<Patch>();
    patch->newOffset = static_cast<uint32_t>(st.lastScan);
    patch->oldOffset = static_cast<uint32_t>(st.lastPos);
    patch->diffBytes.resize(static_cast<size_t>(forwardLength));
    for (int32_t i = 0; i < forwardLength; i++)
        patch->diffBytes[i] = static_cast<uint8_t>(newData[st.lastScan + i] - oldData[st.lastPos + i]);
    patch->extraBytes.assign(newData + extraStart, newData + extraStart + extraLength);
    patches.push_back(std::move(patch));
    return backwardLength;
}

} // namespace

void checkDiffSizes(int32_t oldSize, uint32_t newSize)
{
    // Offsets and counts are signed 32-bit, so larger buffers cannot be described.
    if (oldSize < 0 || oldSize == std::numeric_limits<int32_t>::max() ||
        newSize > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
        throw std::length_error("diff buffer too large");
}

Match findLongestMatch(const int32_t *I, const uint8_t *oldData, const int32_t *oldRepeats, int32_t oldSize,
                       const uint8_t *target, const int32_t *targetRepeats, int32_t targetLength, int32_t low,
                       int32_t high)
{
    const auto common = [&](int32_t position, int32_t known) {
        return matchLengthOverRepeats(oldData + position, oldRepeats + position, target, targetRepeats,
                                   std::min(oldSize - position, targetLength), known);
    };
    // Leading bytes the target shares with the suffixes at low and high once they were compared (-1 before).
    // Every suffix between the two shares at least the smaller count, so a comparison may start past it.
    int32_t lowCommon = -1;
    int32_t highCommon = -1;
    while (high - low >= 2) {
        const int32_t x = low + (high - low) / 2;
        const int32_t compared = std::min(oldSize - I[x], targetLength);
        const int32_t known = std::min(std::max(0, std::min(lowCommon, highCommon)), compared);
        const int32_t length = common(I[x], known);
        if (length < compared && oldData[I[x] + length] < target[length]) {
            low = x;
            lowCommon = length;
        } else {
            high = x;
            highCommon = length;
        }
    }
    const int32_t a = lowCommon >= 0 ? lowCommon : common(I[low], 0);
    const int32_t b = highCommon >= 0 ? highCommon : common(I[high], 0);
    if (a > b)
        return {a, I[low]};
    return {b, I[high]};
}

PatchList diffWithSuffixArray(const int32_t *I, const uint8_t *oldData, const int32_t *oldRepeats, int32_t oldSize,
                              const uint8_t *newData, const int32_t *newRepeats, uint32_t newSize)
{
    checkDiffSizes(oldSize, newSize);
    const int32_t newLength = static_cast<int32_t>(newSize);
    PatchList patches;

    int32_t scan = 0;
    int32_t matchLen = 0;
    int32_t matchPos = 0;
    int32_t lastScan = 0;
    int32_t lastPos = 0;
    int32_t lastOffset = 0;
    while (scan < newLength) {
        int32_t oldScore = 0;
        scan += matchLen;
        // The cursor never moves back, so each new position is scored against the alignment once.
        int32_t cursor = scan;
        while (scan < newLength) {
            const Match match = findLongestMatch(I, oldData, oldRepeats, oldSize, newData + scan, newRepeats + scan,
                                                 newLength - scan, 0, oldSize);
            matchLen = match.length;
            matchPos = match.position;
            for (; cursor < scan + matchLen; cursor++) {
                if (cursor + lastOffset < oldSize && oldData[cursor + lastOffset] == newData[cursor])
                    oldScore++;
            }
            // Stop where the current alignment already explains the match, or a better one is found.
            if ((matchLen == oldScore && matchLen != 0) || matchLen > oldScore + 8)
                break;
            if (scan + lastOffset < oldSize && oldData[scan + lastOffset] == newData[scan])
                oldScore--;
            scan++;
        }

        if (matchLen != oldScore || scan == newLength) {
            const Stretch stretch{lastScan, lastPos, scan, matchPos};
            const int32_t backwardLength = closeStretch(stretch, oldData, oldSize, newData, newLength, patches);
            lastScan = scan - backwardLength;
            lastPos = matchPos - backwardLength;
            lastOffset = matchPos - scan;
        }
    }
    return patches;
}

} // namespace quarnel
