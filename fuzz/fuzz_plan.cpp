// The fast planner (one suffix index kept up to date from chunk to chunk) against
// the reference planner (the working image sorted afresh for every diff), on
// old/new image pairs built from the input by structured edits. Both must give
// the same direction records and the same chunk list, record by record; the chunk
// starts and lengths must follow the chunk rule from the direction the records
// ask for; every chunk's records, applied in order to the working image as the
// earlier chunks left it, must give the chunk's new bytes; and both working images
// must end as the new image over its length, with the old bytes beyond it.
//
// Input: an eight-byte header (size class and starting content, old size, code
// base, new size rule, how many edits shape the old image, seed), then one
// seven-byte edit after another: kind, position (u16, a share of the image),
// length code, parameter, source (u16, a share of the image). The first edits
// shape the old image (its size kept), the rest turn a copy of it into the new one.
// Set FUZZ_REPORT_COUNTS=1 to print the sizes, the walk and the fast planner's
// index counts (full builds, partial updates), measured by a second index that
// follows the planner's own updates.
#include <algorithm>
#include <cstring>
#include <vector>

#include "diff/suffix_index.h"
#include "pack/planner.h"
#include "reference/planner_reference.h"
#include "support.h"

using namespace quarnel;

namespace {

using Bytes = std::vector<uint8_t>;
using fuzzsupport::InputReader;
using fuzzsupport::SplitMix;

constexpr uint32_t sector = 4096;
constexpr uint32_t maxSectors = 256; // 1 MiB
constexpr int maxEdits = 64;
// An input whose pair would take longer than this (estimated) gets a shorter new image.
constexpr double secondsPerInput = 6.0;

// The oracle's own loops give the fuzzer no useful feedback and only slow it down.
#define ORACLE __attribute__((no_sanitize("coverage")))

// Old sizes: mostly up to 32 KiB, some up to 64 and 256 KiB, now and then up to 1 MiB.
uint32_t oldSectors(uint8_t sizeClass, InputReader &in)
{
    const uint32_t bits = in.u16();
    switch (sizeClass) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
        return 1 + bits % 8;
    case 5:
        return 1 + bits % 16;
    case 6:
        return 1 + bits % 64;
    default: // fewer the larger: each halving of the size is as likely
        return 1 + ((bits & 0xFF) >> ((bits >> 8) % 4));
    }
}

void putWord(Bytes &image, size_t at, uint32_t word)
{
    for (size_t b = 0; b < 4 && at + b < image.size(); b++)
        image[at + b] = uint8_t(word >> (8 * b));
}

// Starting content of the old image: firmware-like code with padding, random bytes,
// erased or zeroed flash, a fill word, the input's bytes tiled, or code with an erased tail.
Bytes startingImage(uint32_t size, uint8_t kind, SplitMix &random, const InputReader &in)
{
    Bytes image(size, 0);
    switch (kind % 8) {
    case 0:
    case 7: {
        uint32_t opcodes[16];
        for (uint32_t &opcode : opcodes)
            opcode = uint32_t(random.next()) & 0xFFFF0000u;
        for (size_t i = 0; i < size;) {
            const size_t stretch = std::min<size_t>(size - i, 16 + random.below(2048)) & ~size_t(3);
            const uint32_t what = random.below(6);
            for (size_t k = 0; k < stretch; k += 4) {
                uint32_t word = 0;
                if (what <= 1)
                    word = opcodes[random.below(16)] | uint32_t(random.next() & 0xFFFF);
                else if (what == 2)
                    word = uint32_t(random.below(256));
                else if (what == 3)
                    word = 0xFFFFFFFFu;
                putWord(image, i + k, word);
            }
            i += std::max<size_t>(stretch, 4);
        }
        if (kind % 8 == 7)
            std::fill(image.begin() + image.size() * (2 + random.below(7)) / 10, image.end(), 0xFF);
        break;
    }
    case 1:
        for (uint8_t &b : image)
            b = uint8_t(random.next());
        break;
    case 2:
        std::fill(image.begin(), image.end(), 0xFF);
        break;
    case 3:
        break;
    case 4: { // one fill word
        const uint32_t word = uint32_t(random.next());
        for (size_t i = 0; i < size; i += 4)
            putWord(image, i, word);
        break;
    }
    case 5: // the rest of the input, tiled
        if (in.left() > 0)
            for (size_t i = 0; i < size; i++)
                image[i] = in.rest()[i % std::min<size_t>(in.left(), 251)];
        break;
    default: // few byte values
        for (uint8_t &b : image)
            b = uint8_t(random.below(3));
        break;
    }
    return image;
}

size_t editLength(uint8_t code, size_t size)
{
    const size_t low = code & 63;
    switch (code >> 6) {
    case 0:
        return 1 + low;
    case 1:
        return 4 * (1 + low * 16); // up to about 4 KiB
    case 2:
        return (1 + low) * 1024; // up to 64 KiB
    default:
        return std::max<size_t>(1, size * (1 + low) / 64);
    }
}

// One edit of the kinds a new firmware version makes. Edits that insert or delete change the size.
void edit(Bytes &image, InputReader &in, SplitMix &random)
{
    if (image.empty())
        image.resize(sector, 0xFF);
    const size_t size = image.size();
    const uint8_t kind = in.byte();
    const size_t at = (size_t(in.u16()) * size) >> 16;
    const size_t length = editLength(in.byte(), size);
    const uint8_t parameter = in.byte();
    const size_t from = (size_t(in.u16()) * size) >> 16;
    const size_t end = std::min(size, at + length);
    const size_t sourceLength = std::min(length, size - from);
    switch (kind % 11) {
    case 0: // copy another part over this one
        std::memmove(image.data() + at, image.data() + from, std::min(end - at, sourceLength));
        break;
    case 1: { // insert fresh bytes: what follows moves up
        Bytes block(length);
        for (uint8_t &b : block)
            b = uint8_t(random.next());
        image.insert(image.begin() + at, block.begin(), block.end());
        break;
    }
    case 2: // delete: what follows moves down
        image.erase(image.begin() + at, image.begin() + end);
        break;
    case 3: // overwrite with bytes the input spells out (at most 64)
        for (size_t i = at; i < std::min(end, at + 64); i++)
            image[i] = in.byte();
        break;
    case 4:
        std::fill(image.begin() + at, image.begin() + end, 0x00);
        break;
    case 5:
        std::fill(image.begin() + at, image.begin() + end, 0xFF);
        break;
    case 6: { // a repeated fill word
        const uint32_t word = uint32_t(parameter) * 0x01000193u ^ uint32_t(random.next());
        for (size_t i = at; i < end; i++)
            image[i] = uint8_t(word >> (8 * ((i - at) % 4)));
        break;
    }
    case 7: { // a duplicated block: a copy of another part inserted here
        const Bytes block(image.begin() + from, image.begin() + from + sourceLength);
        image.insert(image.begin() + at, block.begin(), block.end());
        break;
    }
    case 8: // overwrite with fresh bytes
        for (size_t i = at; i < end; i++)
            image[i] = uint8_t(random.next());
        break;
    case 9: // scattered byte changes
        for (int k = 0; k <= parameter % 32; k++)
            image[random.below(uint32_t(size))] ^= uint8_t(1 + random.below(255));
        break;
    default: { // a block moved elsewhere
        const size_t moved = std::min(end - at, size_t(65536));
        const Bytes block(image.begin() + at, image.begin() + at + moved);
        image.erase(image.begin() + at, image.begin() + at + moved);
        const size_t to = std::min(from, image.size());
        image.insert(image.begin() + to, block.begin(), block.end());
        break;
    }
    }
}

// The chunks of one walk, by the chunk rule written out afresh.
struct Chunk {
    uint32_t pos;
    uint32_t len;
};

ORACLE uint32_t chunkRule(uint32_t boundary, uint32_t available)
{
    if (boundary % 65536 == 0 && available >= 65536)
        return 65536;
    if (boundary % 32768 == 0 && available >= 32768)
        return 32768;
    return 4096;
}

ORACLE std::vector<Chunk> expectedChunks(bool forward, uint32_t newSize, uint32_t newStart)
{
    std::vector<Chunk> chunks;
    if (forward) {
        for (uint32_t pos = 0; pos < newSize; pos += chunks.back().len)
            chunks.push_back({pos, chunkRule(newStart + pos, newSize - pos)});
    } else {
        for (uint32_t end = newSize; end > 0; end -= chunks.back().len) {
            const uint32_t len = chunkRule(newStart + end, end);
            chunks.push_back({end - len, len});
        }
    }
    return chunks;
}

// Bytes in runs of one value at least a sector long. The reference sort (bsdiff's prefix
// doubling, with the middle slot as pivot) slows down sharply on long equal runs: two
// runs of 0xFF of 64 KiB each take it 0.4 s, of 200 KiB each 4.4 s, of 256 KiB each 30 s.
ORACLE size_t longRunBytes(const uint8_t *bytes, size_t size)
{
    size_t total = 0;
    for (size_t i = 0; i < size;) {
        size_t j = i + 1;
        while (j < size && bytes[j] == bytes[i])
            j++;
        if (j - i >= sector)
            total += j - i;
        i = j;
    }
    return total;
}

// At most this many bytes of long runs in what the reference sorts (old image and the new
// bytes that chunks write over it), so that no sort takes more than about half a second.
constexpr size_t maxSortedRunBytes = 192 << 10;

// Seconds the two planners take at most, as measured in this instrumented build: the
// reference sorts the working image once per diff (about 0.3 us a byte, and 3 us a byte
// of long runs), and each of the four diffs searches per new byte, about 1 us, and up to
// 6 us when the images repeat themselves (runs of one byte or of a fill word make
// comparisons long).
ORACLE double estimatedSeconds(const Bytes &oldImage, const Bytes &newImage, uint32_t newSize, uint32_t newStart)
{
    const auto repeating = [](const uint8_t *bytes, size_t size) {
        size_t count = 0;
        for (size_t i = 4; i < size; i++)
            count += bytes[i] == bytes[i - 4];
        return double(count);
    };
    const double chunks = double(expectedChunks(true, newSize, newStart).size());
    const double share = (repeating(oldImage.data(), oldImage.size()) + repeating(newImage.data(), newSize)) /
                         double(oldImage.size() + newSize);
    const double runs = double(longRunBytes(oldImage.data(), oldImage.size()) +
                               longRunBytes(newImage.data(), std::min<size_t>(newSize, oldImage.size())));
    return 1e-6 * ((chunks + 1) * (0.3 * double(oldImage.size()) + 3.0 * runs) +
                   4.0 * double(newSize) * (1.0 + 5.0 * share));
}

ORACLE void report(const char *what, size_t chunk, size_t record)
{
    std::fprintf(stderr, "plan mismatch: %s (chunk %zu, record %zu)\n", what, chunk, record);
    fuzzsupport::fail("the fast planner differs from the reference planner");
}

ORACLE void expectSameRecords(const PatchList &fast, const PatchList &reference, size_t chunk)
{
    if (fast.size() != reference.size())
        report("record counts differ", chunk, std::min(fast.size(), reference.size()));
    for (size_t i = 0; i < fast.size(); i++) {
        const Patch &a = *fast[i];
        const Patch &b = *reference[i];
        if (a.newOffset != b.newOffset)
            report("newOffset differs", chunk, i);
        if (a.oldOffset != b.oldOffset)
            report("oldOffset differs", chunk, i);
        if (a.diffBytes != b.diffBytes)
            report("diffBytes differ", chunk, i);
        if (a.extraBytes != b.extraBytes)
            report("extraBytes differ", chunk, i);
    }
}

ORACLE void expectSamePlans(const UpdatePlan &fast, const UpdatePlan &reference, const Bytes &oldImage,
                            const Bytes &newImage, uint32_t newStart)
{
    const size_t noChunk = size_t(-1);
    expectSameRecords(fast.directionPatches, reference.directionPatches, noChunk);
    if (fast.chunks.size() != reference.chunks.size())
        report("chunk counts differ", fast.chunks.size(), 0);
    for (size_t c = 0; c < fast.chunks.size(); c++)
        expectSameRecords(fast.chunks[c], reference.chunks[c], c);

    // The walk the direction records ask for: forward when more difference bytes move content down.
    int64_t down = 0;
    int64_t up = 0;
    for (const PatchPtr &patch : reference.directionPatches) {
        if (patch->oldOffset > patch->newOffset)
            down += int64_t(patch->diffBytes.size());
        if (patch->newOffset > patch->oldOffset)
            up += int64_t(patch->diffBytes.size());
    }
    const uint32_t oldSize = uint32_t(oldImage.size());
    const uint32_t newSize = uint32_t(newImage.size());
    const std::vector<Chunk> chunks = expectedChunks(down > up, newSize, newStart);
    if (chunks.size() != reference.chunks.size())
        report("the chunk count does not follow the chunk rule", chunks.size(), 0);

    // Each chunk, applied to the working image as the earlier ones left it, gives its new bytes.
    Bytes working(std::max(oldSize, newSize), 0);
    std::copy(oldImage.begin(), oldImage.end(), working.begin());
    Bytes produced;
    for (size_t c = 0; c < chunks.size(); c++) {
        produced.clear();
        for (const PatchPtr &patch : reference.chunks[c]) {
            if (patch->newOffset != chunks[c].pos + produced.size())
                report("records do not tile the chunk", c, 0);
            if (patch->diffBytes.empty() && patch->extraBytes.empty())
                report("an empty record", c, 0);
            if (uint64_t(patch->oldOffset) + patch->diffBytes.size() > oldSize)
                report("a record reads past the old size", c, 0);
            for (size_t i = 0; i < patch->diffBytes.size(); i++)
                produced.push_back(uint8_t(working[patch->oldOffset + i] + patch->diffBytes[i]));
            produced.insert(produced.end(), patch->extraBytes.begin(), patch->extraBytes.end());
        }
        if (produced.size() != chunks[c].len ||
            std::memcmp(produced.data(), newImage.data() + chunks[c].pos, chunks[c].len) != 0)
            report("the chunk's records do not give its new bytes", c, 0);
        std::memcpy(working.data() + chunks[c].pos, produced.data(), produced.size());
    }
}

// The index counts the fast planner's own index reaches: a second index makes the
// same updates, taken from the chunk list (the planner keeps its index to itself).
void reportCounts(const Bytes &oldImage, const UpdatePlan &plan, uint32_t newSize, const Bytes &newImage,
                  uint32_t newStart)
{
    const uint32_t oldSize = uint32_t(oldImage.size());
    Bytes working(std::max(oldSize, newSize), 0);
    std::copy(oldImage.begin(), oldImage.end(), working.begin());
    SuffixIndex index;
    index.build(working.data(), int32_t(oldSize));
    uint32_t changedBegin = 0;
    uint32_t changedEnd = 0;
    for (const PatchList &chunk : plan.chunks) {
        index.update(working.data(), int32_t(changedBegin), int32_t(changedEnd));
        const uint32_t pos = chunk.front()->newOffset;
        uint32_t len = 0;
        for (const PatchPtr &patch : chunk)
            len += uint32_t(patch->diffBytes.size() + patch->extraBytes.size());
        std::memcpy(working.data() + pos, newImage.data() + pos, len);
        changedBegin = std::min(pos, oldSize);
        changedEnd = std::min(pos + len, oldSize);
    }
    const bool forward = plan.chunks.size() > 1 && plan.chunks.front().front()->newOffset == 0;
    std::fprintf(stderr, "plan: old %u new %u start 0x%x, %zu chunks %s: fullBuilds %d partialUpdates %d\n", oldSize,
                 newSize, newStart, plan.chunks.size(), forward ? "forward" : "backward", index.counts().fullBuilds,
                 index.counts().partialUpdates);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    InputReader in(data, size);
    const uint8_t head = in.byte();
    uint32_t oldSize = oldSectors(head >> 5, in) * sector;
    // The code base's place within 64 KiB decides where 4, 32 and 64 KiB chunks fall.
    const uint8_t base = in.byte();
    const uint32_t newStart = (base & 0x0F) * sector + (base >> 4) * 0x10000u;
    const uint8_t sizeRule = in.byte();
    const int oldEdits = in.byte() % 8;
    SplitMix random(in.u16());

    Bytes oldImage = startingImage(oldSize, head & 7, random, in);
    for (int k = 0; k < oldEdits && !in.empty(); k++) {
        edit(oldImage, in, random);
        oldImage.resize(oldSize, (head & 8) ? 0xFF : 0x00);
    }
    while (oldSize > sector && longRunBytes(oldImage.data(), oldSize) > maxSortedRunBytes / 2) {
        oldSize = std::max(sector, oldSize / 2 / sector * sector);
        oldImage.resize(oldSize);
    }
    Bytes newImage = oldImage;
    for (int k = 0; k < maxEdits && !in.empty(); k++) {
        edit(newImage, in, random);
        if (newImage.size() > 2 * maxSectors * sector)
            newImage.resize(2 * maxSectors * sector);
    }

    // The new size: the edited length rounded up to whole sectors, the old size, or the old size
    // give or take up to 16 sectors.
    uint32_t newSectors = 0;
    switch (sizeRule >> 6) {
    case 0:
    case 1:
        newSectors = uint32_t((newImage.size() + sector - 1) / sector);
        break;
    case 2:
        newSectors = oldSize / sector;
        break;
    default:
        newSectors = uint32_t(std::max<int64_t>(1, int64_t(oldSize / sector) + (sizeRule & 31) - 16));
        break;
    }
    newSectors = std::min(std::max(newSectors, 1u), maxSectors);
    newImage.resize(newSectors * sector, (sizeRule & 32) ? 0xFF : 0x00);
    const auto sortedRunBytes = [&] {
        return longRunBytes(oldImage.data(), oldSize) +
               longRunBytes(newImage.data(), std::min(newSectors * sector, oldSize));
    };
    while (newSectors > 1 && (estimatedSeconds(oldImage, newImage, newSectors * sector, newStart) > secondsPerInput ||
                              sortedRunBytes() > maxSortedRunBytes)) {
        newSectors = std::max(1u, newSectors / 2);
        newImage.resize(newSectors * sector);
    }
    const uint32_t newSize = newSectors * sector;

    Bytes fastWorking(std::max(oldSize, newSize), 0);
    std::copy(oldImage.begin(), oldImage.end(), fastWorking.begin());
    Bytes referenceWorking = fastWorking;
    const UpdatePlan fast = planUpdate(fastWorking.data(), oldSize, newImage.data(), newSize, newStart);
    const UpdatePlan reference =
        planUpdateReference(referenceWorking.data(), oldSize, newImage.data(), newSize, newStart);
    expectSamePlans(fast, reference, oldImage, newImage, newStart);

    // Both working images end as the new image, with the old bytes beyond it.
    Bytes expected = newImage;
    if (oldSize > newSize)
        expected.insert(expected.end(), oldImage.begin() + newSize, oldImage.end());
    if (fastWorking != expected)
        fuzzsupport::fail("the fast planner's working image is not the new image");
    if (referenceWorking != expected)
        fuzzsupport::fail("the reference planner's working image is not the new image");

    if (fuzzsupport::reportWanted("FUZZ_REPORT_COUNTS"))
        reportCounts(oldImage, fast, newSize, newImage, newStart);
    return 0;
}
