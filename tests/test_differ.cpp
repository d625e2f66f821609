#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/platform.h"

#if QUARNEL_TESTS_ON_POSIX
#include <bzlib.h>
#include <unistd.h>
#endif

#include "diff/differ.h"
#include "diff/repeats.h"
#include "reference/diff_buffers.h"
#include "reference/suffix_sort.h"
#include "support/patch_check.h"
#include "support/test_files.h"

using quarnel::PatchList;
using Bytes = std::vector<uint8_t>;

namespace {

// mt19937 with plain modulo, so a seed gives the same bytes with every standard library.
class Random {
public:
    explicit Random(uint32_t seed) : engine_(seed) {}
    uint32_t below(uint32_t bound) { return bound == 0 ? 0 : engine_() % bound; }
    uint8_t byte() { return uint8_t(engine_()); }
    Bytes bytes(size_t count)
    {
        Bytes out(count);
        for (uint8_t &b : out)
            b = byte();
        return out;
    }

private:
    std::mt19937 engine_;
};

// Firmware-like bytes of any size, seeded from the running generator.
Bytes firmwareImage(Random &random, size_t size)
{
    return testsupport::firmwareLikeBytes(uint32_t(size), random.below(1u << 31));
}

// A later version of old: blocks moved and duplicated, bytes changed, ranges inserted and deleted.
Bytes firmwareUpdate(Random &random, const Bytes &old)
{
    Bytes out = old;
    const uint32_t edits = 1 + random.below(8);
    for (uint32_t e = 0; e < edits; ++e) {
        const uint32_t size = uint32_t(out.size());
        const uint32_t span = 1 + random.below(size / 4 + 8);
        const uint32_t at = random.below(size + 1);
        const uint32_t kind = random.below(5);
        switch (kind) {
        case 0: // changed constants and addresses
            for (uint32_t n = 1 + random.below(16); n > 0 && size > 0; --n) {
                uint8_t &b = out[random.below(size)];
                b = random.below(2) ? random.byte() : uint8_t(b + 1 + random.below(4));
            }
            break;
        case 1: {
            const Bytes fresh = firmwareImage(random, span);
            out.insert(out.begin() + at, fresh.begin(), fresh.end());
            break;
        }
        case 2:
            out.erase(out.begin() + at, out.begin() + std::min(size, at + span));
            break;
        default: { // a block moved or duplicated
            const Bytes block(out.begin() + at, out.begin() + std::min(size, at + span));
            if (kind == 3)
                out.erase(out.begin() + at, out.begin() + at + long(block.size()));
            const uint32_t to = random.below(uint32_t(out.size()) + 1);
            out.insert(out.begin() + to, block.begin(), block.end());
            break;
        }
        }
    }
    return out;
}

// The suffix array by definition: all suffixes, the empty one included, in unsigned byte order.
std::vector<int32_t> referenceSuffixArray(const Bytes &data)
{
    const int32_t n = int32_t(data.size());
    std::vector<int32_t> order(size_t(n) + 1);
    for (int32_t i = 0; i <= n; ++i)
        order[size_t(i)] = i;
    std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
        const int32_t common = std::min(n - a, n - b);
        const int c = common > 0 ? std::memcmp(data.data() + a, data.data() + b, size_t(common)) : 0;
        return c != 0 ? c < 0 : n - a < n - b;
    });
    return order;
}

std::vector<int32_t> suffixArray(const Bytes &data)
{
    std::vector<int32_t> I(data.size() + 1), V(data.size() + 1);
    quarnel::suffixSort(I.data(), V.data(), data.data(), int32_t(data.size()));
    return I;
}

std::vector<int32_t> repeatsOf(const Bytes &data)
{
    std::vector<int32_t> repeats(data.size());
    quarnel::measureRepeats(data.data(), int32_t(data.size()), repeats.data());
    return repeats;
}

PatchList diff(const Bytes &oldData, const Bytes &newData)
{
    return quarnel::diffBuffers(oldData.data(), int32_t(oldData.size()), newData.data(),
                                uint32_t(newData.size()));
}

::testing::AssertionResult checkList(const PatchList &patches, const Bytes &oldData, const Bytes &newData)
{
    return testsupport::checkPatchList(patches, oldData.data(), uint32_t(oldData.size()), newData.data(),
                                       uint32_t(newData.size()));
}

// Field-by-field comparison of two record lists, naming the first difference.
::testing::AssertionResult sameRecords(const PatchList &actual, const PatchList &expected)
{
    for (size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
        const quarnel::Patch &a = *actual[i];
        const quarnel::Patch &e = *expected[i];
        if (a.newOffset != e.newOffset || a.oldOffset != e.oldOffset || a.diffBytes != e.diffBytes ||
            a.extraBytes != e.extraBytes)
            return ::testing::AssertionFailure()
                   << "record " << i << ": got {new " << a.newOffset << ", old " << a.oldOffset << ", D "
                   << a.diffBytes.size() << ", E " << a.extraBytes.size() << "}, expected {new " << e.newOffset
                   << ", old " << e.oldOffset << ", D " << e.diffBytes.size() << ", E " << e.extraBytes.size()
                   << "}" << (a.diffBytes.size() == e.diffBytes.size() && a.extraBytes.size() == e.extraBytes.size()
                                  ? " (contents differ)"
                                  : "");
    }
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " records, expected " << expected.size();
    return ::testing::AssertionSuccess();
}

struct Record {
    uint32_t newOffset;
    uint32_t oldOffset;
    Bytes diffBytes;
    Bytes extraBytes;
};

::testing::AssertionResult isOneRecord(const PatchList &patches, const Record &expected)
{
    if (patches.size() != 1)
        return ::testing::AssertionFailure() << patches.size() << " records, expected 1";
    auto wanted = std::make_shared<quarnel::Patch>();
    wanted->newOffset = expected.newOffset;
    wanted->oldOffset = expected.oldOffset;
    wanted->diffBytes = expected.diffBytes;
    wanted->extraBytes = expected.extraBytes;
    return sameRecords(patches, {wanted});
}

} // namespace

TEST(SuffixSort, EqualsComparisonSortOfAllSuffixes)
{
    Random random(1);
    std::vector<Bytes> buffers;
    for (uint32_t size = 0; size <= 40; ++size) {
        buffers.push_back(random.bytes(size));
        buffers.push_back(Bytes(size, 0x00));
        buffers.push_back(Bytes(size, 0xFF));
        Bytes twoLetters(size);
        for (uint8_t &b : twoLetters)
            b = random.below(2) ? 0xFF : 0x00;
        buffers.push_back(twoLetters);
    }
    // Groups of 15, 16 and 17 equal keys straddle the two ways of splitting a group.
    for (uint32_t count : {14u, 15u, 16u, 17u, 18u, 31u, 32u, 33u}) {
        for (uint32_t period : {1u, 2u, 3u, 7u}) {
            Bytes repeated;
            for (uint32_t i = 0; i < count * period; ++i)
                repeated.push_back(uint8_t('a' + i % period));
            buffers.push_back(repeated);
        }
        Bytes scattered = random.bytes(count * 3);
        for (uint32_t i = 0; i < count; ++i)
            scattered[random.below(uint32_t(scattered.size()))] = 0x41;
        buffers.push_back(scattered);
    }
    Bytes allValues(256), descending(256);
    for (int i = 0; i < 256; ++i) {
        allValues[size_t(i)] = uint8_t(i);
        descending[size_t(i)] = uint8_t(255 - i);
    }
    buffers.push_back(allValues);
    buffers.push_back(descending);
    Bytes shuffled = allValues;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    buffers.push_back(shuffled);
    Bytes twice = shuffled;
    twice.insert(twice.end(), shuffled.begin(), shuffled.end());
    buffers.push_back(twice);
    // A Fibonacci word repeats at every scale, so prefix doubling needs many passes.
    Bytes fibonacci{'b'}, previous{'a'};
    while (fibonacci.size() < 3000) {
        Bytes next = fibonacci;
        next.insert(next.end(), previous.begin(), previous.end());
        previous = fibonacci;
        fibonacci = next;
    }
    buffers.push_back(fibonacci);
    Bytes runs;
    while (runs.size() < 3000)
        runs.insert(runs.end(), 1 + random.below(300), random.below(2) ? 0xFF : 0x00);
    buffers.push_back(runs);
    for (uint32_t seed = 0; seed < 40; ++seed)
        buffers.push_back(firmwareImage(random, 1 + random.below(4000)));

    for (const Bytes &buffer : buffers) {
        const std::vector<int32_t> expected = referenceSuffixArray(buffer);
        const std::vector<int32_t> actual = suffixArray(buffer);
        const auto mismatch = std::mismatch(actual.begin(), actual.end(), expected.begin());
        EXPECT_TRUE(mismatch.first == actual.end())
            << "size " << buffer.size() << ": I[" << (mismatch.first - actual.begin()) << "] = " << *mismatch.first
            << ", expected " << *mismatch.second;
    }
}

TEST(LongestMatch, BinarySearchRulesDecideTheCandidate)
{
    // Suffixes of "aba": "" 3, "a" 2, "aba" 0, "ba" 1. The probe at I[1] = "a" compares equal
    // to "ab" over its one byte and moves the upper index, so the search never reaches "aba".
    const Bytes aba{'a', 'b', 'a'};
    const std::vector<int32_t> abaSuffixes = suffixArray(aba);
    ASSERT_EQ(abaSuffixes, (std::vector<int32_t>{3, 2, 0, 1}));
    const uint8_t ab[] = {'a', 'b'};
    quarnel::Match match = quarnel::findLongestMatch(abaSuffixes.data(), aba.data(), repeatsOf(aba).data(), 3, ab,
                                                     repeatsOf(Bytes(ab, ab + 2)).data(), 2, 0, 3);
    EXPECT_EQ(match.length, 1);
    EXPECT_EQ(match.position, 2);

    // Suffixes of "xaxc": "" 4, "axc" 1, "c" 3, "xaxc" 0, "xc" 2. "xb" lands between "xaxc" and
    // "xc", both sharing one byte: the tie goes to the upper one.
    const Bytes xaxc{'x', 'a', 'x', 'c'};
    const std::vector<int32_t> xaxcSuffixes = suffixArray(xaxc);
    ASSERT_EQ(xaxcSuffixes, (std::vector<int32_t>{4, 1, 3, 0, 2}));
    const uint8_t xb[] = {'x', 'b'};
    match = quarnel::findLongestMatch(xaxcSuffixes.data(), xaxc.data(), repeatsOf(xaxc).data(), 4, xb,
                                      repeatsOf(Bytes(xb, xb + 2)).data(), 2, 0, 4);
    EXPECT_EQ(match.length, 1);
    EXPECT_EQ(match.position, 2);

    const uint8_t text[] = "0123456789abcdefXYZ";
    const uint8_t same[] = "0123456789abcdefXYz";
    EXPECT_EQ(quarnel::matchLength(text, 19, same, 19), 18);
    EXPECT_EQ(quarnel::matchLength(text, 12, same, 19), 12);
    EXPECT_EQ(quarnel::matchLength(text, 19, same, 9), 9);
    EXPECT_EQ(quarnel::matchLength(text, -3, same, 19), 0);
}

TEST(Differ, PinnedCases)
{
    Random random(2);
    const Bytes old = random.bytes(16384);

    {
        SCOPED_TRACE("identical data");
        const PatchList patches = diff(old, old);
        EXPECT_TRUE(isOneRecord(patches, {0, 0, Bytes(old.size(), 0), {}}));
        EXPECT_TRUE(checkList(patches, old, old));
    }
    {
        SCOPED_TRACE("a chunk unchanged in place is found at its own offset");
        const Bytes chunk(old.begin() + 8192, old.begin() + 12288);
        const PatchList patches = diff(old, chunk);
        EXPECT_TRUE(isOneRecord(patches, {0, 8192, Bytes(chunk.size(), 0), {}}));
        EXPECT_TRUE(checkList(patches, old, chunk));
    }
    {
        SCOPED_TRACE("content also at the start keeps the first alignment");
        Bytes doubled(old.begin(), old.begin() + 4096);
        doubled.insert(doubled.end(), old.begin(), old.begin() + 4096);
        const Bytes secondCopy(doubled.begin() + 4096, doubled.end());
        EXPECT_TRUE(isOneRecord(diff(doubled, secondCopy), {0, 0, Bytes(secondCopy.size(), 0), {}}));
    }
    {
        SCOPED_TRACE("nothing in common");
        EXPECT_TRUE(isOneRecord(diff(Bytes(4, 0x41), Bytes(4, 0x42)), {0, 0, {}, Bytes(4, 0x42)}));
    }
    {
        SCOPED_TRACE("empty old data");
        const Bytes fresh = random.bytes(300);
        const PatchList patches = diff({}, fresh);
        EXPECT_TRUE(isOneRecord(patches, {0, 0, {}, fresh}));
        EXPECT_TRUE(checkList(patches, {}, fresh));
    }
    {
        SCOPED_TRACE("empty new data");
        EXPECT_TRUE(diff(old, {}).empty());
        EXPECT_TRUE(diff({}, {}).empty());
        EXPECT_TRUE(checkList({}, old, {}));
    }
    {
        SCOPED_TRACE("difference bytes wrap");
        Bytes before = random.bytes(64);
        before[20] = 0x66;
        Bytes after = before;
        after[20] = 0x58;
        Bytes expectedDiff(64, 0);
        expectedDiff[20] = 0xF2;
        const PatchList patches = diff(before, after);
        EXPECT_TRUE(isOneRecord(patches, {0, 0, expectedDiff, {}}));
        EXPECT_TRUE(checkList(patches, before, after));
    }
}

TEST(Differ, EightBytesOrFewerGiveOneRecord)
{
    Random random(3);
    for (int round = 0; round < 2000; ++round) {
        const Bytes old = random.below(3) == 0 ? firmwareImage(random, random.below(64))
                                               : random.bytes(random.below(64));
        Bytes fresh;
        const uint32_t size = 1 + random.below(8);
        if (old.size() > size && random.below(2)) {
            const uint32_t at = random.below(uint32_t(old.size() - size));
            fresh.assign(old.begin() + at, old.begin() + at + size);
            if (random.below(2))
                fresh[random.below(size)] ^= 0x10;
        } else {
            fresh = random.bytes(size);
        }
        const PatchList patches = diff(old, fresh);
        ASSERT_EQ(patches.size(), 1u) << "round " << round;
        ASSERT_TRUE(checkList(patches, old, fresh)) << "round " << round;
    }
}

TEST(Differ, FirmwareLikePairsReplayAndAnySuffixArrayBuilderAgrees)
{
    Random random(4);
    for (int round = 0; round < 150; ++round) {
        const Bytes old = firmwareImage(random, 1 + random.below(round < 100 ? 3000 : 40000));
        const Bytes fresh = firmwareUpdate(random, old);
        const PatchList patches = diff(old, fresh);
        ASSERT_TRUE(checkList(patches, old, fresh)) << "round " << round;

        // The suffix array is unique, so the scan over one built another way must give the same records.
        if (old.size() <= 3000) {
            const std::vector<int32_t> reference = referenceSuffixArray(old);
            const PatchList again =
                quarnel::diffWithSuffixArray(reference.data(), old.data(), repeatsOf(old).data(), int32_t(old.size()),
                                             fresh.data(), repeatsOf(fresh).data(), uint32_t(fresh.size()));
            ASSERT_TRUE(sameRecords(again, patches)) << "round " << round;
        }
    }
}

// ---- Cross-check with Debian's bsdiff, an independent implementation of the same algorithm ----

#if QUARNEL_TESTS_ON_POSIX
namespace {

std::string findBsdiff()
{
    const char *path = std::getenv("PATH");
    std::string folders = path ? path : "";
    folders += ":/usr/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::filesystem::path candidate = std::filesystem::path(folders.substr(start, end - start)) / "bsdiff";
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        start = end + 1;
    }
    return {};
}

// The header's 8-byte numbers: magnitude little-endian, sign in the top bit.
int64_t readOfft(const uint8_t *p)
{
    int64_t value = p[7] & 0x7F;
    for (int i = 6; i >= 0; --i)
        value = value * 256 + p[i];
    return (p[7] & 0x80) ? -value : value;
}

::testing::AssertionResult decompress(const uint8_t *data, size_t size, size_t capacity, Bytes &out)
{
    out.resize(capacity);
    unsigned int length = unsigned(capacity);
    const int status = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char *>(out.data()), &length,
                                                  const_cast<char *>(reinterpret_cast<const char *>(data)),
                                                  unsigned(size), 0, 0);
    if (status != BZ_OK)
        return ::testing::AssertionFailure() << "bzip2 block does not decode: status " << status;
    out.resize(length);
    return ::testing::AssertionSuccess();
}

// Parses a BSDIFF40 patch into records, dropping control triples whose two lengths are both 0.
::testing::AssertionResult bsdiffRecords(const Bytes &patch, PatchList &records)
{
    if (patch.size() < 32 || std::memcmp(patch.data(), "BSDIFF40", 8) != 0)
        return ::testing::AssertionFailure() << "not a BSDIFF40 patch";
    const int64_t controlLength = readOfft(&patch[8]);
    const int64_t diffLength = readOfft(&patch[16]);
    const int64_t newSize = readOfft(&patch[24]);
    if (controlLength < 0 || diffLength < 0 || newSize < 0 || 32 + controlLength + diffLength > int64_t(patch.size()))
        return ::testing::AssertionFailure() << "bad BSDIFF40 header";
    const uint8_t *block = patch.data() + 32;
    Bytes control, diffBlock, extraBlock;
    auto result = decompress(block, size_t(controlLength), 24 * size_t(newSize + 2), control);
    if (result)
        result = decompress(block + controlLength, size_t(diffLength), size_t(newSize) + 1, diffBlock);
    if (result)
        result = decompress(block + controlLength + diffLength, patch.size() - 32 - size_t(controlLength + diffLength),
                            size_t(newSize) + 1, extraBlock);
    if (!result)
        return result;

    int64_t newPos = 0, oldPos = 0, diffPos = 0, extraPos = 0;
    for (size_t c = 0; c + 24 <= control.size(); c += 24) {
        const int64_t x = readOfft(&control[c]), y = readOfft(&control[c + 8]), z = readOfft(&control[c + 16]);
        if (x < 0 || y < 0 || diffPos + x > int64_t(diffBlock.size()) || extraPos + y > int64_t(extraBlock.size()))
            return ::testing::AssertionFailure() << "bad control triple " << c / 24;
        if (x != 0 || y != 0) {
            auto record = std::make_shared<quarnel::Patch>();
            record->newOffset = uint32_t(newPos);
            record->oldOffset = uint32_t(oldPos);
            record->diffBytes.assign(diffBlock.begin() + diffPos, diffBlock.begin() + diffPos + x);
            record->extraBytes.assign(extraBlock.begin() + extraPos, extraBlock.begin() + extraPos + y);
            records.push_back(record);
        }
        newPos += x + y;
        oldPos += x + z;
        diffPos += x;
        extraPos += y;
    }
    if (newPos != newSize)
        return ::testing::AssertionFailure() << "control covers " << newPos << " of " << newSize << " bytes";
    return ::testing::AssertionSuccess();
}

} // namespace
#endif

TEST(Differ, SameRecordsAsBsdiff)
{
#if !QUARNEL_TESTS_ON_POSIX
    GTEST_SKIP() << "runs the build machine's bsdiff program, which is no Windows program";
#else
    const std::string bsdiff = findBsdiff();
    ASSERT_FALSE(bsdiff.empty()) << "bsdiff not found in PATH or /usr/bin: run scripts/install-deps";
    const testsupport::TempDir folder;
    const std::string oldPath = folder.path("old"), newPath = folder.path("new"), patchPath = folder.path("patch");

    Random random(5);
    for (int round = 0; round < 300; ++round) {
        // Sizes spread evenly over the powers of two from a few bytes to 64 KiB.
        const uint32_t scale = 1u << random.below(17);
        Bytes old = firmwareImage(random, 1 + scale / 2 + random.below(scale / 2 + 1));
        Bytes fresh = random.below(20) == 0 ? firmwareImage(random, old.size()) : firmwareUpdate(random, old);
        if (fresh.empty())
            continue;
        if (round % 4 == 0) {
            // Erased flash or a fill word after both images: repeats far longer than the firmware's
            // own, sometimes of one length.
            const uint8_t fill[] = {0xFE, 0xE7, 0xFE, 0xE7};
            const bool erased = random.below(2) == 0;
            const uint32_t padding = random.below(20000);
            for (Bytes *image : {&old, &fresh}) {
                const uint32_t length = image == &old || random.below(2) ? padding : random.below(20000);
                for (uint32_t k = 0; k < length; k++)
                    image->push_back(erased ? 0xFF : fill[k % 4]);
            }
        }
        testsupport::writeFile(oldPath, std::string(old.begin(), old.end()));
        testsupport::writeFile(newPath, std::string(fresh.begin(), fresh.end()));
        const std::string command = "'" + bsdiff + "' '" + oldPath + "' '" + newPath + "' '" + patchPath + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        PatchList expected;
        ASSERT_TRUE(bsdiffRecords(testsupport::readFile(patchPath), expected)) << "round " << round;
        const PatchList actual = diff(old, fresh);
        ASSERT_TRUE(checkList(actual, old, fresh)) << "round " << round;
        ASSERT_TRUE(sameRecords(actual, expected))
            << "round " << round << ", old size " << old.size() << ", new size " << fresh.size();
    }
#endif
}

TEST(PatchCheck, NamesWhatIsWrongWithABrokenList)
{
    Random random(6);
    const Bytes old = firmwareImage(random, 5000);
    const Bytes fresh = firmwareUpdate(random, old);
    const PatchList good = diff(old, fresh);
    ASSERT_TRUE(checkList(good, old, fresh));
    ASSERT_GE(good.size(), 2u);

    auto copyOf = [](const PatchList &list) {
        PatchList copy;
        for (const quarnel::PatchPtr &patch : list)
            copy.push_back(std::make_shared<quarnel::Patch>(*patch));
        return copy;
    };
    auto failsWith = [&](const PatchList &broken, const std::string &text) {
        const ::testing::AssertionResult result = checkList(broken, old, fresh);
        return !result && std::string(result.message()).find(text) != std::string::npos;
    };

    PatchList broken = copyOf(good);
    quarnel::Patch &withDiff = **std::find_if(broken.begin(), broken.end(),
                                               [](const quarnel::PatchPtr &p) { return !p->diffBytes.empty(); });
    withDiff.diffBytes.back() ^= 1;
    const uint32_t wrongAt = withDiff.newOffset + uint32_t(withDiff.diffBytes.size()) - 1;
    EXPECT_TRUE(failsWith(broken, "differs first at new offset " + std::to_string(wrongAt)));

    broken = copyOf(good);
    broken.erase(broken.begin());
    EXPECT_TRUE(failsWith(broken, "should start at new offset 0"));

    broken = copyOf(good);
    broken.pop_back();
    EXPECT_TRUE(failsWith(broken, "records end at new offset"));

    broken = copyOf(good);
    broken.insert(broken.begin() + 1, std::make_shared<quarnel::Patch>());
    broken[1]->newOffset = broken[2]->newOffset;
    EXPECT_TRUE(failsWith(broken, "is empty"));

    broken = copyOf(good);
    broken[0]->oldOffset = uint32_t(old.size());
    broken[0]->diffBytes.push_back(0);
    EXPECT_TRUE(failsWith(broken, "reads past old size"));

    // The planner's lists start at the chunk's offset in the whole image.
    PatchList shifted = copyOf(good);
    for (const quarnel::PatchPtr &patch : shifted)
        patch->newOffset += 0x8000;
    EXPECT_TRUE(testsupport::checkPatchList(shifted, old.data(), uint32_t(old.size()), fresh.data(),
                                            uint32_t(fresh.size()), 0x8000));
    EXPECT_FALSE(checkList(shifted, old, fresh));
}
