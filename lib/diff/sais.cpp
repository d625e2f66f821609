#include "diff/sais.h"

#include <algorithm>
#include <vector>

#include "common/large_allocator.h"

namespace quarnel {

namespace {

// Suffix sorting by induction: sort the LMS substrings, name them, sort the
// string of names recursively when names repeat, then induce every suffix
// from the sorted LMS suffixes. The end of the text acts as a sentinel that
// is smaller than every symbol.
template <class Symbol>
class InducedSorter {
public:
    InducedSorter(const Symbol *text, int32_t size, int32_t alphabetSize, int32_t *sa)
        : text_(text), size_(size), sa_(sa), sType_(size), bucketStart_(alphabetSize + 1, 0), cursor_(alphabetSize)
    {
    }

    void run()
    {
        // S-type: smaller than the suffix that follows; the last suffix is L-type because the end sorts lowest.
        sType_[size_ - 1] = 0;
        for (int32_t i = size_ - 2; i >= 0; i--)
            sType_[i] = text_[i] < text_[i + 1] || (text_[i] == text_[i + 1] && sType_[i + 1] != 0);
        for (int32_t i = 0; i < size_; i++)
            bucketStart_[text_[i] + 1]++;
        for (size_t c = 1; c < bucketStart_.size(); c++)
            bucketStart_[c] += bucketStart_[c - 1];

        LargeVector<int32_t> lms;
        for (int32_t i = 1; i < size_; i++)
            if (isLms(i))
                lms.push_back(i);
        induce(lms);
        if (lms.size() <= 1)
            return;
        induce(sortedLmsSuffixes(lms));
    }

private:
    bool isLms(int32_t i) const { return i > 0 && sType_[i] != 0 && sType_[i - 1] == 0; }

    // Places the LMS suffixes at their buckets' ends in the given order, then
    // induces the L-type suffixes left to right and the S-type right to left.
    void induce(const LargeVector<int32_t> &lmsOrder)
    {
        std::fill(sa_, sa_ + size_, -1);
        for (size_t c = 0; c < cursor_.size(); c++)
            cursor_[c] = bucketStart_[c + 1];
        for (size_t k = lmsOrder.size(); k-- > 0;)
            sa_[--cursor_[text_[lmsOrder[k]]]] = lmsOrder[k];

        std::copy(bucketStart_.begin(), bucketStart_.end() - 1, cursor_.begin());
        sa_[cursor_[text_[size_ - 1]]++] = size_ - 1;
        for (int32_t i = 0; i < size_; i++) {
            const int32_t j = sa_[i] - 1;
            if (j >= 0 && sType_[j] == 0)
                sa_[cursor_[text_[j]]++] = j;
        }

        for (size_t c = 0; c < cursor_.size(); c++)
            cursor_[c] = bucketStart_[c + 1];
        for (int32_t i = size_ - 1; i >= 0; i--) {
            const int32_t j = sa_[i] - 1;
            if (j >= 0 && sType_[j] != 0)
                sa_[--cursor_[text_[j]]] = j;
        }
    }

    // True when the LMS substrings at a and b (up to and including the next LMS position) are equal.
    bool sameLmsSubstring(int32_t a, int32_t b) const
    {
        for (int32_t d = 0;; d++) {
            // A substring that runs into the end holds the sentinel, which occurs once.
            if (a + d == size_ || b + d == size_)
                return false;
            if (text_[a + d] != text_[b + d] || sType_[a + d] != sType_[b + d])
                return false;
            if (d > 0) {
                const bool endA = isLms(a + d);
                if (endA != isLms(b + d))
                    return false;
                if (endA)
                    return true;
            }
        }
    }

    // After the first induction the LMS substrings are in order; names them
    // and sorts the LMS suffixes by sorting the string of names.
    LargeVector<int32_t> sortedLmsSuffixes(const LargeVector<int32_t> &lms)
    {
        const int32_t count = static_cast<int32_t>(lms.size());
        // LMS positions are at least two apart, so position / 2 is a unique slot.
        LargeVector<int32_t> nameAt(size_ / 2 + 1, 0);
        int32_t names = 0;
        int32_t previous = -1;
        for (int32_t i = 0; i < size_; i++) {
            const int32_t p = sa_[i];
            if (!isLms(p))
                continue;
            if (previous < 0 || !sameLmsSubstring(previous, p))
                names++;
            nameAt[p / 2] = names - 1;
            previous = p;
        }

        LargeVector<int32_t> reduced(count);
        for (int32_t k = 0; k < count; k++)
            reduced[k] = nameAt[lms[k] / 2];
        nameAt = LargeVector<int32_t>();

        LargeVector<int32_t> reducedSa(count);
        if (names < count) {
            InducedSorter<int32_t>(reduced.data(), count, names, reducedSa.data()).run();
        } else {
            for (int32_t k = 0; k < count; k++)
                reducedSa[reduced[k]] = k;
        }
        LargeVector<int32_t> order(count);
        for (int32_t k = 0; k < count; k++)
            order[k] = lms[reducedSa[k]];
        return order;
    }

    const Symbol *text_;
    int32_t size_;
    int32_t *sa_;
    LargeVector<uint8_t> sType_;
    std::vector<int32_t> bucketStart_;
    std::vector<int32_t> cursor_;
};

template <class Symbol>
void sortSuffixes(const Symbol *text, int32_t size, int32_t alphabetSize, int32_t *sa)
{
    if (size == 0)
        return;
    if (size == 1) {
        sa[0] = 0;
        return;
    }
    InducedSorter<Symbol>(text, size, alphabetSize, sa).run();
}

} // namespace

void inducedSuffixArray(const uint8_t *text, int32_t size, int32_t *sa)
{
    sa[0] = size;
    sortSuffixes(text, size, 256, sa + 1);
}

void inducedSuffixArray(const int32_t *text, int32_t size, int32_t alphabetSize, int32_t *sa)
{
    sortSuffixes(text, size, alphabetSize, sa);
}

} // namespace quarnel
