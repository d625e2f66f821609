// The device applier under packs made to hurt it, and under a pack store that changes during a call.
#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <map>

#include "common/crc32.h"
#include "container/pack_header.h"
#include "packcheck/nor_flash_sim.h"
#include "packcheck/power_cuts.h"
#include "signing/signing.h"
#include "support/device_streams.h"
#include "support/device_updates.h"
#include "support/sanitizer.h"
#include "support/split_mix.h"
#include "support/test_files.h"

using quarnel::powercut::CutMode;
using quarnel::powercut::NorFlashSim;
using quarnel::powercut::UpdateCase;
using testsupport::Bytes;
namespace signing = quarnel::signing;

namespace {

uint32_t le32(const Bytes &bytes, size_t at)
{
    return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16) |
           static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void putLe32(Bytes &bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A pack store as the applier sees it: one pack, then from a chosen read on another of the same size (below
// a chosen offset), and a read that fails. Reads are counted, and numbered among the flash watch's events.
struct ChangingPack {
    const Bytes *first = nullptr;
    const Bytes *then = nullptr;
    uint32_t swapAt = UINT32_MAX;
    uint32_t thenBelow = UINT32_MAX;
    uint32_t failAt = UINT32_MAX;
    uint32_t reads = 0;
    uint32_t *events = nullptr;     // shared with the flash watch
    uint32_t failedAtEvent = UINT32_MAX;

    FotaPackSource source()
    {
        return {this, static_cast<uint32_t>(first->size()), read};
    }
    static int read(void *context, uint32_t offset, void *out, uint32_t length)
    {
        ChangingPack &self = *static_cast<ChangingPack *>(context);
        const uint32_t index = self.reads++;
        const uint32_t event = self.events != nullptr ? (*self.events)++ : 0;
        if (index == self.failAt) {
            self.failedAtEvent = event;
            return -1;
        }
        const Bytes &pack = index >= self.swapAt && offset < self.thenBelow ? *self.then : *self.first;
        if (uint64_t{offset} + length > pack.size())
            return -1;
        std::copy(pack.begin() + offset, pack.begin() + offset + length, static_cast<uint8_t *>(out));
        return 0;
    }
};

// The model's callbacks, with every erase counted per offset, the first write numbered among all events,
// and the highest progress reported.
struct FlashWatch {
    FotaFlash inner{};
    uint32_t events = 0;
    uint32_t firstWrite = UINT32_MAX;
    uint32_t mostDone = 0;
    std::map<uint32_t, int> erases;

    FotaFlash callbacks() { return {this, read, erase, program, progress, inner.sectorAt != nullptr ? sectorAt : nullptr}; }
    void noteWrite()
    {
        firstWrite = std::min(firstWrite, events);
        ++events;
    }
    static int read(void *context, uint32_t offset, void *out, uint32_t length)
    {
        FlashWatch &self = *static_cast<FlashWatch *>(context);
        ++self.events;
        return self.inner.read(self.inner.context, offset, out, length);
    }
    static int erase(void *context, uint32_t offset, uint32_t length)
    {
        FlashWatch &self = *static_cast<FlashWatch *>(context);
        self.noteWrite();
        self.erases[offset] += 1;
        return self.inner.erase(self.inner.context, offset, length);
    }
    static int program(void *context, uint32_t offset, const void *data, uint32_t length)
    {
        FlashWatch &self = *static_cast<FlashWatch *>(context);
        self.noteWrite();
        return self.inner.program(self.inner.context, offset, data, length);
    }
    static void progress(void *context, uint32_t done, uint32_t)
    {
        FlashWatch &self = *static_cast<FlashWatch *>(context);
        self.mostDone = std::max(self.mostDone, done);
    }
    static int sectorAt(void *context, uint32_t offset, uint32_t *start, uint32_t *length)
    {
        FlashWatch &self = *static_cast<FlashWatch *>(context);
        return self.inner.sectorAt(self.inner.context, offset, start, length);
    }
};

const UpdateCase &sampleUpdate()
{
    static const UpdateCase update = testsupport::deviceUpdateCase(testsupport::sampleDevicePair(), 16);
    return update;
}

const Bytes &sampleStream()
{
    static const Bytes stream = testsupport::decodedStream(sampleUpdate().pack);
    return stream;
}

Bytes packOfStream(const Bytes &stream)
{
    return testsupport::packOfStream(testsupport::sampleDevicePair(), stream);
}

bool holdsNewImage(const Bytes &flash, const UpdateCase &update)
{
    return std::equal(update.newImage.begin(), update.newImage.end(), flash.begin() + update.newStart);
}

bool holdsOldImage(const Bytes &flash)
{
    const testsupport::DevicePair &pair = testsupport::sampleDevicePair();
    return std::equal(pair.oldImage.begin(), pair.oldImage.end(), flash.begin() + pair.codeBase);
}

// The flash may be one an earlier call left half updated: its erased bytes were erased by that call.
NorFlashSim simOf(const Bytes &flash)
{
    return NorFlashSim(flash, {{0, static_cast<uint32_t>(flash.size())}}, 16, 11, norPastErasedAsRead);
}

struct Outcome {
    int result = -1;
    int queryResult = -1;
    uint32_t writes = 0;
    uint32_t mostDone = 0;
    Bytes flash;
};

// FotaApplyQuery, then FotaApplyPack, once each on a copy of flash.
Outcome applyAndQuery(const Bytes &flash, const Bytes &pack)
{
    NorFlashSim sim = simOf(flash);
    FlashWatch watch;
    watch.inner = sim.callbacks();
    const FotaPackSource source = testsupport::packSourceOf(pack);
    static Bytes work(FOTA_APPLY_WORK_SIZE);
    Outcome outcome;
    FotaApplyStatus status{};
    const FotaFlash readOnly{&watch, FlashWatch::read, nullptr, nullptr, nullptr, nullptr};
    outcome.queryResult = FotaApplyQuery(&readOnly, &source, &sampleUpdate().spare, work.data(), work.size(), &status);
    const FotaFlash watched = watch.callbacks();
    outcome.result = FotaApplyPack(&watched, &source, &sampleUpdate().spare, work.data(), work.size());
    outcome.mostDone = watch.mostDone;
    outcome.writes = static_cast<uint32_t>(sim.operations());
    outcome.flash = sim.bytes();
    EXPECT_TRUE(sim.violations().empty()) << sim.violations().front();
    return outcome;
}

void expectRefused(const Outcome &outcome, int code)
{
    EXPECT_EQ(outcome.result, code) << FotaApplyErrorMsg(outcome.result);
    EXPECT_EQ(outcome.queryResult, code) << FotaApplyErrorMsg(outcome.queryResult);
    EXPECT_EQ(outcome.writes, 0u);
}

// Where each chunk's entry lies in the stream, and where its literal bytes land in flash.
struct ChunkPlace {
    size_t entry;
    uint32_t target;
    uint32_t length;
    uint32_t records;
};

std::vector<ChunkPlace> chunkPlaces(const Bytes &stream)
{
    std::vector<ChunkPlace> places;
    size_t at = 4;
    for (uint32_t c = le32(stream, 0); c > 0; --c) {
        ChunkPlace place{at, le32(stream, at), 0, le32(stream, at + 8)};
        for (uint32_t r = 0; r < place.records; ++r)
            place.length += le32(stream, at + 12 * (r + 1) + 4) + le32(stream, at + 12 * (r + 1) + 8);
        places.push_back(place);
        at += 12 * (size_t{place.records} + 1);
    }
    return places;
}

// One literal byte of the stream and the flash offset it is written to.
struct LiteralSite {
    size_t streamAt;
    uint32_t flashAt;
    size_t chunk;
};

std::vector<LiteralSite> literalSites(const Bytes &stream)
{
    const std::vector<ChunkPlace> places = chunkPlaces(stream);
    size_t diffTotal = 0;
    for (const ChunkPlace &place : places)
        for (uint32_t r = 0; r < place.records; ++r)
            diffTotal += le32(stream, place.entry + 12 * (r + 1) + 4);
    const size_t tableEnd = places.back().entry + 12 * (size_t{places.back().records} + 1);
    size_t extra = tableEnd + diffTotal;
    std::vector<LiteralSite> sites;
    for (size_t c = 0; c < places.size(); ++c) {
        uint32_t offset = places[c].target;
        for (uint32_t r = 0; r < places[c].records; ++r) {
            const uint32_t d = le32(stream, places[c].entry + 12 * (r + 1) + 4);
            const uint32_t e = le32(stream, places[c].entry + 12 * (r + 1) + 8);
            for (uint32_t i = 0; i < e; ++i)
                sites.push_back({extra + i, offset + d + i, c});
            extra += e;
            offset += d + e;
        }
    }
    return sites;
}

// The sample's pack with one literal byte changed (its chunk's checksum with it), of exactly the sample
// pack's size: a valid pack that writes one byte otherwise. *at and *value say which byte, and to what.
Bytes foreignPackOfTheSameSize(uint32_t *at, uint8_t *value)
{
    const UpdateCase &update = sampleUpdate();
    const Bytes &stream = sampleStream();
    const std::vector<ChunkPlace> places = chunkPlaces(stream);
    const std::vector<LiteralSite> sites = literalSites(stream);
    const Bytes &oldImage = testsupport::sampleDevicePair().oldImage;
    for (size_t s = sites.size() / 2; s < sites.size(); s += 97) {
        const LiteralSite &site = sites[s];
        for (const uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0x10}, uint8_t{0x42}}) {
            Bytes changed = stream;
            changed[site.streamAt] ^= flip;
            const uint32_t image = site.flashAt - update.newStart;
            const bool oldHasIt = image < oldImage.size() && oldImage[image] == changed[site.streamAt];
            if (oldHasIt)
                continue;
            Bytes chunkBytes(update.newImage.begin() + (places[site.chunk].target - update.newStart),
                             update.newImage.begin() + (places[site.chunk].target - update.newStart) +
                                 places[site.chunk].length);
            chunkBytes[site.flashAt - places[site.chunk].target] = changed[site.streamAt];
            putLe32(changed, places[site.chunk].entry + 4,
                    quarnel::packCrc32(chunkBytes.data(), static_cast<uint32_t>(chunkBytes.size())));
            Bytes pack = packOfStream(changed);
            if (pack.size() == update.pack.size()) {
                *at = site.flashAt;
                *value = changed[site.streamAt];
                return pack;
            }
        }
    }
    ADD_FAILURE() << "no literal byte changes the pack and keeps its size";
    return {};
}

const signing::Key &deviceKey()
{
    static const signing::Key key = [] {
        signing::Key made;
        std::string error;
        EXPECT_TRUE(signing::makeKey(made, error)) << error;
        return made;
    }();
    return key;
}

struct SignedRun {
    int result = -1;
    bool cut = false;
    uint32_t reads = 0;
};

// One signed call of the sample on sim, the store swapping to `then` at read swapAt; cut at flash call cutAt.
SignedRun signedCall(NorFlashSim &sim, const Bytes &then, uint32_t swapAt, uint64_t cutAt = UINT64_MAX)
{
    const UpdateCase &update = sampleUpdate();
    static const Bytes signature =
        signing::signHash(deviceKey(), signing::sha256(update.pack.data(), update.pack.size()));
    ChangingPack store;
    store.first = &update.pack;
    store.then = &then;
    store.swapAt = swapAt;
    const FotaPackSource source = store.source();
    const FotaTrust trust{deviceKey().point.data(), signature.data(), static_cast<uint32_t>(signature.size()),
                          update.newStart, 0x400000 - update.newStart};
    static Bytes work(FOTA_APPLY_SIGNED_WORK_SIZE);
    std::fill(work.begin(), work.end(), uint8_t{0x6B});
    const FotaFlash flash = sim.callbacks();
    SignedRun run;
    static std::jmp_buf jump;
    if (cutAt != UINT64_MAX)
        sim.armCut(&jump, cutAt, CutMode::torn);
    else
        sim.disarm();
    // Only plain values live across the jump.
    if (setjmp(jump) != 0) {
        sim.disarm();
        run.cut = true;
        run.reads = store.reads;
        return run;
    }
    run.result = FotaApplySignedPack(&flash, &source, &trust, &update.spare, work.data(), work.size());
    run.reads = store.reads;
    return run;
}

} // namespace

// LZMA data damaged inside the chunk table, its checksums made to fit: the decoder fails part way through
// the table and must never be called again, by the checking pass's search for a data fault or anyone.
TEST(DeviceHostile, DamagedTableDataIsRefusedWithoutCallingAFailedDecoderAgain)
{
    const UpdateCase &update = sampleUpdate();
    const testsupport::DevicePair &pair = testsupport::sampleDevicePair();
    const Bytes block(update.pack.begin() + 28, update.pack.end());
    const size_t reach = std::min(block.size() - 1, size_t{4096});
    int decoderRefusals = 0;
    for (size_t at = 13; at < reach; at += testsupport::underAddressSanitizer ? 11 : 5) {
        Bytes damaged = block;
        damaged[at] ^= static_cast<uint8_t>(1u << (at % 8));
        const Bytes pack = quarnel::buildPack(pair.codeBase, static_cast<uint32_t>(pair.oldImage.size()),
                                              le32(update.pack, 8), damaged.data(),
                                              static_cast<uint32_t>(damaged.size()));
        SCOPED_TRACE(::testing::Message() << "block byte " << at);
        const Outcome outcome = applyAndQuery(update.flash, pack);
        EXPECT_NE(outcome.result, FOTA_APPLY_OK);
        EXPECT_TRUE(holdsOldImage(outcome.flash));
        decoderRefusals += outcome.result == FOTA_APPLY_BAD_LZMA_DATA;
        // A changed chunk checksum is found only once its chunk is built in the scratch.
        if (outcome.result != FOTA_APPLY_CHUNK_CRC_MISMATCH)
            expectRefused(outcome, outcome.result);
    }
    EXPECT_GT(decoderRefusals, 0);
}

// Records of no bytes, and a stated length no chunk count can need, are refused before any write and
// before the stream is decoded on: neither can make a call last.
TEST(DeviceHostile, EmptyRecordsAndOverlongStreamsAreRefusedAtOnce)
{
    const UpdateCase &update = sampleUpdate();
    const Bytes &stream = sampleStream();
    const uint32_t records = le32(stream, 12);
    Bytes empty(stream.begin(), stream.begin() + 16);
    putLe32(empty, 12, records + 1000);
    empty.resize(empty.size() + 12 * 1000, 0);
    for (size_t r = 0; r < 1000; ++r)
        putLe32(empty, 16 + 12 * r, update.newStart);
    empty.insert(empty.end(), stream.begin() + 16, stream.end());
    expectRefused(applyAndQuery(update.flash, packOfStream(empty)), FOTA_APPLY_BAD_STREAM);

    // One chunk of 4 KiB in literal bytes, then 16 MiB of zeros the table does not account for.
    Bytes literal(4096);
    for (size_t i = 0; i < literal.size(); ++i)
        literal[i] = static_cast<uint8_t>(i * 13 + 5);
    Bytes overlong(4 + 12 + 12);
    putLe32(overlong, 0, 1);
    putLe32(overlong, 4, update.newStart);
    putLe32(overlong, 8, quarnel::packCrc32(literal.data(), 4096));
    putLe32(overlong, 12, 1);
    putLe32(overlong, 16, update.newStart);
    putLe32(overlong, 24, 4096);
    overlong.insert(overlong.end(), literal.begin(), literal.end());
    overlong.resize(overlong.size() + (16u << 20), 0);
    const Outcome outcome = applyAndQuery(update.flash, packOfStream(overlong));
    expectRefused(outcome, FOTA_APPLY_BAD_STREAM);
    // The first pass's progress follows the stream it decodes.
    EXPECT_LT(outcome.mostDone, 65536u);
}

// A pack of no chunks would be finished on any flash: it is refused, with or without its old image there.
TEST(DeviceHostile, PackOfNoChunksIsRefused)
{
    const UpdateCase &update = sampleUpdate();
    const Bytes noChunks = packOfStream(Bytes(4, 0));
    expectRefused(applyAndQuery(update.flash, noChunks), FOTA_APPLY_BAD_STREAM);
    Bytes updated = update.flash;
    std::copy(update.newImage.begin(), update.newImage.end(), updated.begin() + update.newStart);
    expectRefused(applyAndQuery(updated, noChunks), FOTA_APPLY_BAD_STREAM);
}

// Chunks fill one range from the old image's start, back to back, and read only the old image and the
// units written before them: flash past the old image that no chunk has written yet holds bytes that no
// checksum vouches for, so the same pack would build differently on two devices.
TEST(DeviceHostile, ChunksInPlaceAndSourcesOnlyWhereChecksumsVouch)
{
    const UpdateCase &update = sampleUpdate();
    const Bytes &stream = sampleStream();
    const std::vector<ChunkPlace> places = chunkPlaces(stream);
    const uint32_t oldEnd = update.newStart + static_cast<uint32_t>(testsupport::sampleDevicePair().oldImage.size());
    ASSERT_GT(update.newImage.size(), testsupport::sampleDevicePair().oldImage.size());

    // The first chunk's first record with difference bytes, made to read across the old image's end,
    // into the new image's tail, which no chunk before the first has written.
    Bytes pastOld = stream;
    bool moved = false;
    for (uint32_t r = 0; r < places[0].records && !moved; ++r) {
        const size_t record = places[0].entry + 12 * (r + 1);
        const uint32_t d = le32(stream, record + 4);
        if (d >= 8) {
            putLe32(pastOld, record, oldEnd - d + 4);
            moved = true;
        }
    }
    ASSERT_TRUE(moved);
    expectRefused(applyAndQuery(update.flash, packOfStream(pastOld)), FOTA_APPLY_BAD_SOURCE);

    // Every chunk moved one 64 KiB unit up: still aligned and one way, but no longer where the old image starts.
    Bytes shifted = stream;
    for (const ChunkPlace &place : places)
        putLe32(shifted, place.entry, place.target + 0x10000);
    Bytes farSpare = update.flash;
    FotaSpareArea spare = update.spare;
    farSpare.resize(0x200000, 0xFF);
    spare.scratchOffset = 0x180000;
    spare.stateOffset = 0x190000;
    NorFlashSim sim = simOf(farSpare);
    const FotaFlash flash = sim.callbacks();
    const Bytes pack = packOfStream(shifted);
    const FotaPackSource source = testsupport::packSourceOf(pack);
    Bytes work(FOTA_APPLY_WORK_SIZE);
    EXPECT_EQ(FotaApplyPack(&flash, &source, &spare, work.data(), work.size()), FOTA_APPLY_BAD_CHUNK);
    EXPECT_EQ(sim.operations(), 0u);

    // A gap between two chunks: the first two pushed apart by one unit of the second's length.
    Bytes gap = stream;
    const int direction = places[1].target > places[0].target ? 1 : -1;
    for (size_t c = 1; c < places.size(); ++c)
        putLe32(gap, places[c].entry, places[c].target + static_cast<uint32_t>(direction * 0x10000));
    expectRefused(applyAndQuery(update.flash, packOfStream(gap)), FOTA_APPLY_BAD_CHUNK);
}

// The signed call's promise holds when the store changes at any read: swapped to a valid pack of the same
// size that writes one byte otherwise, at every read of the first update and at reads of resumed ones, the
// call never succeeds with that byte, and never writes it at all.
TEST(DeviceHostile, SignedCallWritesOnlyAuthenticatedBytesWhateverTheStoreDoes)
{
    const UpdateCase &update = sampleUpdate();
    uint32_t foreignAt = 0;
    uint8_t foreignValue = 0;
    const Bytes foreign = foreignPackOfTheSameSize(&foreignAt, &foreignValue);
    ASSERT_EQ(foreign.size(), update.pack.size());
    ASSERT_NE(update.newImage[foreignAt - update.newStart], foreignValue);

    NorFlashSim uncut = simOf(update.flash);
    const SignedRun whole = signedCall(uncut, foreign, UINT32_MAX);
    ASSERT_EQ(whole.result, FOTA_APPLY_OK) << FotaApplyErrorMsg(whole.result);
    const uint64_t flashCalls = uncut.operations();
    int refused = 0;
    const uint32_t stride = testsupport::underAddressSanitizer ? 3 : 1;
    for (uint32_t swapAt = 0; swapAt <= whole.reads; swapAt += stride) {
        SCOPED_TRACE(::testing::Message() << "store swapped at read " << swapAt << " of " << whole.reads);
        NorFlashSim sim = simOf(update.flash);
        const SignedRun run = signedCall(sim, foreign, swapAt);
        EXPECT_NE(sim.bytes()[foreignAt], foreignValue);
        if (run.result == FOTA_APPLY_OK) {
            EXPECT_TRUE(holdsNewImage(sim.bytes(), update));
        } else {
            ++refused;
            // Before any write it is a refusal; once the update is under way it stays pending.
            const bool wrote = sim.operations() > 0;
            EXPECT_TRUE(wrote ? run.result == FOTA_APPLY_PACK_CHANGED : run.result == FOTA_APPLY_BAD_SIGNATURE)
                << run.result << " " << FotaApplyErrorMsg(run.result) << " after " << sim.operations() << " writes";
        }
        EXPECT_TRUE(sim.violations().empty()) << sim.violations().front();
    }
    EXPECT_GT(refused, 0);

    // Resumes: the first call cut at a spread of flash calls, the next swapped at a spread of its reads.
    for (uint64_t cutAt = 3; cutAt < flashCalls; cutAt += flashCalls / 5) {
        for (uint32_t swapAt = 0; swapAt <= whole.reads; swapAt += whole.reads / 7 + 1) {
            SCOPED_TRACE(::testing::Message() << "cut at flash call " << cutAt << ", swapped at read " << swapAt);
            NorFlashSim sim = simOf(update.flash);
            ASSERT_TRUE(signedCall(sim, foreign, UINT32_MAX, cutAt).cut);
            const SignedRun resumed = signedCall(sim, foreign, swapAt);
            EXPECT_NE(sim.bytes()[foreignAt], foreignValue);
            if (resumed.result == FOTA_APPLY_OK) {
                EXPECT_TRUE(holdsNewImage(sim.bytes(), update));
            }
            EXPECT_EQ(signedCall(sim, foreign, UINT32_MAX).result, FOTA_APPLY_OK);
            EXPECT_TRUE(holdsNewImage(sim.bytes(), update));
            EXPECT_TRUE(sim.violations().empty()) << sim.violations().front();
        }
    }
}

// The unsigned call checks what it reads while applying against what its first pass saw: a store that
// changes, after that pass, to a table whose next chunk names the unit of the one before never has a unit
// written twice. The table changes only where it lies in the pack, so that the other cursors read on well.
TEST(DeviceHostile, UnsignedCallRechecksEveryChunkItApplies)
{
    const UpdateCase &update = sampleUpdate();
    const Bytes &stream = sampleStream();
    const std::vector<ChunkPlace> places = chunkPlaces(stream);
    size_t second = 1;
    while (second < places.size() && places[second].length != places[second - 1].length)
        ++second;
    ASSERT_LT(second, places.size());
    Bytes twice = stream;
    putLe32(twice, places[second].entry, places[second - 1].target);
    Bytes changed = packOfStream(twice);
    changed.resize(std::max(changed.size(), update.pack.size()), 0);

    ChangingPack counting;
    counting.first = counting.then = &update.pack;
    NorFlashSim uncut = simOf(update.flash);
    const FotaFlash uncutFlash = uncut.callbacks();
    FotaPackSource source = counting.source();
    Bytes work(FOTA_APPLY_WORK_SIZE);
    ASSERT_EQ(FotaApplyPack(&uncutFlash, &source, &update.spare, work.data(), work.size()), FOTA_APPLY_OK);
    // The first pass reads every granule once; the reads after it are the applying cursors'.
    const uint32_t firstPass = 1 + static_cast<uint32_t>((update.pack.size() + 511) / 512);
    int refused = 0;
    for (uint32_t swapAt = firstPass; swapAt <= counting.reads; swapAt += 2) {
        for (const uint32_t below : {512u, 1024u, 2048u, 4096u}) {
            SCOPED_TRACE(::testing::Message() << "store changed below " << below << " from read " << swapAt);
            ChangingPack store;
            store.first = &update.pack;
            store.then = &changed;
            store.swapAt = swapAt;
            store.thenBelow = below;
            NorFlashSim sim = simOf(update.flash);
            FlashWatch watch;
            watch.inner = sim.callbacks();
            const FotaFlash watched = watch.callbacks();
            source = store.source();
            const int result = FotaApplyPack(&watched, &source, &update.spare, work.data(), work.size());
            for (const auto &erased : watch.erases) {
                if (erased.first >= update.newStart && erased.first < update.spare.scratchOffset) {
                    EXPECT_EQ(erased.second, 1) << "unit 0x" << std::hex << erased.first << " erased twice";
                }
            }
            if (result == FOTA_APPLY_OK) {
                EXPECT_TRUE(holdsNewImage(sim.bytes(), update));
            } else {
                ++refused;
                EXPECT_EQ(result, FOTA_APPLY_PACK_CHANGED) << FotaApplyErrorMsg(result);
            }
            EXPECT_TRUE(sim.violations().empty()) << sim.violations().front();
        }
    }
    EXPECT_GT(refused, 0);
}

// A pack read that fails at any read of an update: before the first write the call is a refusal that wrote
// nothing; after it, a code that keeps the update pending, never one that says nothing was written; and
// the next call, its store working again, finishes the update.
TEST(DeviceHostile, EveryResultAfterAWriteKeepsTheUpdatePending)
{
    const UpdateCase &update = sampleUpdate();
    ChangingPack counting;
    counting.first = counting.then = &update.pack;
    NorFlashSim uncut = simOf(update.flash);
    const FotaFlash uncutFlash = uncut.callbacks();
    FotaPackSource source = counting.source();
    Bytes work(FOTA_APPLY_WORK_SIZE);
    ASSERT_EQ(FotaApplyPack(&uncutFlash, &source, &update.spare, work.data(), work.size()), FOTA_APPLY_OK);
    const uint32_t reads = counting.reads;
    int afterWrites = 0;
    for (uint32_t failAt = 0; failAt < reads; ++failAt) {
        SCOPED_TRACE(::testing::Message() << "pack read " << failAt << " of " << reads << " fails");
        NorFlashSim sim = simOf(update.flash);
        FlashWatch watch;
        watch.inner = sim.callbacks();
        ChangingPack store;
        store.first = store.then = &update.pack;
        store.failAt = failAt;
        store.events = &watch.events;
        const FotaFlash flash = watch.callbacks();
        source = store.source();
        const int result = FotaApplyPack(&flash, &source, &update.spare, work.data(), work.size());
        ASSERT_NE(store.failedAtEvent, UINT32_MAX);
        // The progress meter's look at the header only sizes the reports.
        if (result == FOTA_APPLY_OK) {
            EXPECT_EQ(failAt, 0u);
            EXPECT_TRUE(holdsNewImage(sim.bytes(), update));
        } else if (watch.firstWrite < store.failedAtEvent) {
            ++afterWrites;
            EXPECT_EQ(result, FOTA_APPLY_PACK_CHANGED) << FotaApplyErrorMsg(result);
        } else {
            EXPECT_EQ(result, FOTA_APPLY_PACK_READ_FAILED) << FotaApplyErrorMsg(result);
            EXPECT_EQ(sim.operations(), 0u);
        }
        ChangingPack working;
        working.first = working.then = &update.pack;
        source = working.source();
        const FotaFlash plain = sim.callbacks();
        EXPECT_EQ(FotaApplyPack(&plain, &source, &update.spare, work.data(), work.size()), FOTA_APPLY_OK);
        EXPECT_TRUE(holdsNewImage(sim.bytes(), update));
        EXPECT_TRUE(sim.violations().empty()) << sim.violations().front();
    }
    EXPECT_GT(afterWrites, 0);
}

// A pack whose old image lies where the flash callbacks refuse to read (another device's code area, or a
// hostile header) is refused like any other old image, with nothing written: a read failure there must not
// pass for an update under way, which would keep the device from ever starting its image again.
TEST(DeviceHostile, OldImageTheCallbacksWillNotReadIsRefused)
{
    const UpdateCase &update = sampleUpdate();
    // A pack made for a code area far past the end of this device's flash.
    const testsupport::DevicePair far = testsupport::makeDevicePair(
        testsupport::firmwareLikeBytes(0x8000, 1), testsupport::firmwareLikeBytes(0x8000, 2), 0x7FFF0000u);
    const Bytes &moved = far.pack;
    NorFlashSim sim = simOf(update.flash);
    FlashWatch watch;
    watch.inner = sim.callbacks();
    // The model refuses a read outside it as a broken rule; this port refuses it as a port should.
    struct Refusing {
        static int read(void *context, uint32_t offset, void *out, uint32_t length)
        {
            FlashWatch &inner = *static_cast<FlashWatch *>(context);
            if (uint64_t{offset} + length > 0x1000000u)
                return -1;
            return FlashWatch::read(&inner, offset, out, length);
        }
    };
    FotaFlash flash = watch.callbacks();
    flash.read = Refusing::read;
    const FotaPackSource source = testsupport::packSourceOf(moved);
    Bytes work(FOTA_APPLY_WORK_SIZE);
    FotaApplyStatus status{};
    EXPECT_EQ(FotaApplyQuery(&flash, &source, &update.spare, work.data(), work.size(), &status), FOTA_APPLY_OK);
    EXPECT_EQ(status.state, FOTA_STATE_NOT_APPLICABLE);
    EXPECT_EQ(FotaApplyPack(&flash, &source, &update.spare, work.data(), work.size()), FOTA_APPLY_OLD_IMAGE_MISMATCH);
    EXPECT_EQ(sim.operations(), 0u);
    EXPECT_TRUE(sim.violations().empty()) << sim.violations().front();
}

namespace {

// A pack past 1 MiB, so that the signed call's blocks are two granules each: one chunk of literal bytes per
// 64 KiB unit of fresh random bytes, which no encoder shrinks. *foreignAt and *foreign: one literal byte of
// a pack of the same size that writes it otherwise.
struct LargePack {
    testsupport::DevicePair pair;
    Bytes foreign;
    uint32_t foreignAt = 0;
};

Bytes literalStream(const Bytes &image, uint32_t base)
{
    const uint32_t chunks = static_cast<uint32_t>(image.size() / 0x10000);
    Bytes stream(4 + 24 * size_t{chunks});
    putLe32(stream, 0, chunks);
    for (uint32_t c = 0; c < chunks; ++c) {
        const size_t entry = 4 + 24 * size_t{c};
        putLe32(stream, entry, base + c * 0x10000);
        putLe32(stream, entry + 4, quarnel::packCrc32(image.data() + c * 0x10000, 0x10000));
        putLe32(stream, entry + 8, 1);
        putLe32(stream, entry + 12, base);
        putLe32(stream, entry + 16, 0);
        putLe32(stream, entry + 20, 0x10000);
    }
    stream.insert(stream.end(), image.begin(), image.end());
    return stream;
}

const LargePack &largePack()
{
    static const LargePack made = [] {
        LargePack pack;
        testsupport::SplitMix random(0x1A26E);
        Bytes newImage(0x180000);
        for (uint8_t &byte : newImage)
            byte = static_cast<uint8_t>(random.next());
        pack.pair.oldImage = Bytes(0x1000, 0x5A);
        pack.pair.codeBase = 0x10000;
        pack.pair.newImage = newImage;
        pack.pair.pack = testsupport::packOfStream(pack.pair, literalStream(newImage, 0x10000));
        pack.pair.chunkCount = static_cast<uint32_t>(newImage.size() / 0x10000);
        for (uint32_t at = 0x123457; pack.foreign.size() != pack.pair.pack.size() && at < 0x123457 + 64; ++at) {
            Bytes other = newImage;
            other[at] ^= 0x24;
            pack.foreign = testsupport::packOfStream(pack.pair, literalStream(other, 0x10000));
            pack.foreignAt = 0x10000 + at;
        }
        return pack;
    }();
    return made;
}

} // namespace

// Past 1 MiB of pack a block of digests covers several granules: a cursor entering a block reads it whole
// once to learn its granules' digests, then checks each granule as it reads it again. The store swapped at a
// spread of reads never gets a foreign byte into flash; a pack past 32 MiB is refused before it is read.
TEST(DeviceHostile, SignedCallChecksBlocksOfSeveralGranules)
{
    const LargePack &large = largePack();
    ASSERT_GT(large.pair.pack.size(), 2048u * 512u);
    ASSERT_EQ(large.foreign.size(), large.pair.pack.size());
    const UpdateCase update = testsupport::deviceUpdateCase(large.pair, 16);
    const Bytes signature = signing::signHash(deviceKey(), signing::sha256(update.pack.data(), update.pack.size()));
    const FotaTrust trust{deviceKey().point.data(), signature.data(), static_cast<uint32_t>(signature.size()),
                          update.newStart, 0x400000 - update.newStart};
    Bytes work(FOTA_APPLY_SIGNED_WORK_SIZE);
    auto signedRun = [&](ChangingPack &store, Bytes &flashAfter) {
        NorFlashSim sim = simOf(update.flash);
        const FotaFlash flash = sim.callbacks();
        const FotaPackSource source = store.source();
        const int result = FotaApplySignedPack(&flash, &source, &trust, &update.spare, work.data(), work.size());
        flashAfter = sim.bytes();
        EXPECT_TRUE(sim.violations().empty()) << sim.violations().front();
        return result;
    };
    ChangingPack counting;
    counting.first = counting.then = &update.pack;
    Bytes after;
    ASSERT_EQ(signedRun(counting, after), FOTA_APPLY_OK);
    EXPECT_TRUE(holdsNewImage(after, update));
    for (uint32_t swapAt = 0; swapAt < counting.reads; swapAt += counting.reads / 23 + 1) {
        SCOPED_TRACE(::testing::Message() << "store swapped at read " << swapAt << " of " << counting.reads);
        ChangingPack store;
        store.first = &update.pack;
        store.then = &large.foreign;
        store.swapAt = swapAt;
        const int result = signedRun(store, after);
        EXPECT_NE(after[large.foreignAt], update.newImage[large.foreignAt - update.newStart] ^ 0x24);
        if (result == FOTA_APPLY_OK) {
            EXPECT_TRUE(holdsNewImage(after, update));
        } else {
            EXPECT_TRUE(result == FOTA_APPLY_BAD_SIGNATURE || result == FOTA_APPLY_PACK_CHANGED)
                << FotaApplyErrorMsg(result);
        }
    }

    // One byte of one granule changed once the first pass is over: the first read of that granule, or of the
    // block it lies in, ends the call, so no byte of it reaches a decoder.
    const uint32_t firstPass = 1 + static_cast<uint32_t>((update.pack.size() + 511) / 512);
    for (const size_t granule : {size_t{1}, size_t{700}, update.pack.size() / 512 - 3}) {
        SCOPED_TRACE(::testing::Message() << "granule " << granule << " changed after the first pass");
        struct Tampering {
            FotaPackSource source;
            const Bytes *pack;
            size_t granule;
            uint32_t from;
            uint32_t reads = 0;
            uint32_t readsAfterTampered = 0;
            bool tampered = false;
            static int read(void *context, uint32_t offset, void *out, uint32_t length)
            {
                Tampering &self = *static_cast<Tampering *>(context);
                const uint32_t index = self.reads++;
                self.readsAfterTampered += self.tampered;
                std::copy_n(self.pack->data() + offset, length, static_cast<uint8_t *>(out));
                if (index >= self.from && offset / 512 == self.granule) {
                    static_cast<uint8_t *>(out)[100 % length] ^= 0x01;
                    self.tampered = true;
                }
                return 0;
            }
        };
        Tampering store{{nullptr, static_cast<uint32_t>(update.pack.size()), Tampering::read}, &update.pack, granule,
                        firstPass};
        store.source.context = &store;
        NorFlashSim sim = simOf(update.flash);
        const FotaFlash flash = sim.callbacks();
        const int result = FotaApplySignedPack(&flash, &store.source, &trust, &update.spare, work.data(), work.size());
        EXPECT_TRUE(store.tampered);
        EXPECT_TRUE(result == FOTA_APPLY_BAD_SIGNATURE || result == FOTA_APPLY_PACK_CHANGED)
            << FotaApplyErrorMsg(result);
        // The block's other granule may be read to take the block's digest; nothing after that.
        EXPECT_LE(store.readsAfterTampered, 1u);
    }

    struct Endless {
        static int read(void *, uint32_t, void *out, uint32_t length)
        {
            std::fill_n(static_cast<uint8_t *>(out), length, uint8_t{0});
            return 0;
        }
    };
    const FotaPackSource huge{nullptr, (32u << 20) + 1, Endless::read};
    NorFlashSim sim = simOf(update.flash);
    const FotaFlash flash = sim.callbacks();
    EXPECT_EQ(FotaApplySignedPack(&flash, &huge, &trust, &update.spare, work.data(), work.size()),
              FOTA_APPLY_WORK_TOO_SMALL);
    EXPECT_EQ(sim.operations(), 0u);
}
