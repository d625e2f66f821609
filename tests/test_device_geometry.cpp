// The applier on the flash devices have: a sector map of unequal sectors up to 256 KiB, groups of chunks
// rebuilt whole through the scratch, a map that cannot work refused before any write, and units that
// already hold their new bytes left alone.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "packcheck/nor_flash_sim.h"
#include "packcheck/power_cuts.h"
#include "signing/signing.h"
#include "support/device_streams.h"
#include "support/device_updates.h"
#include "support/pack_replay.h"
#include "support/sanitizer.h"
#include "support/split_mix.h"
#include "support/test_files.h"

using quarnel::powercut::CutMode;
using quarnel::powercut::NorFlashSim;
using quarnel::powercut::PowerCutRunner;
using quarnel::powercut::UpdateCase;
using testsupport::Bytes;
using testsupport::DevicePair;
using Sectors = std::vector<NorSectorRun>;

namespace {

constexpr uint64_t sweepStride = testsupport::underAddressSanitizer ? 2 : 1;
constexpr uint32_t programUnits[] = {1, 16, 256};

const Sectors uniform4KiB = {{256, 4096}};
const Sectors to128KiB = {{4, 16384}, {1, 65536}, {7, 131072}};
const Sectors to256KiB = {{4, 32768}, {1, 131072}, {3, 262144}};

// Sweeps every cut on the sample and the bench pairs walked both ways, at each program unit.
void expectEveryCutEndsWithTheNewImage(const Sectors &sectors, const char *layout)
{
    const std::pair<const DevicePair *, const char *> pairs[] = {
        {&testsupport::sampleDevicePair(), "sample pair"},
        {&testsupport::benchDevicePair(true), "bench pair walked backward"},
        {&testsupport::benchDevicePair(false), "bench pair walked forward"},
    };
    for (const auto &pair : pairs) {
        for (const uint32_t unit : programUnits) {
            SCOPED_TRACE(::testing::Message() << layout << ", " << pair.second << ", program unit " << unit);
            const auto start = std::chrono::steady_clock::now();
            const UpdateCase update = testsupport::deviceUpdateCase(*pair.first, unit, sectors);
            const quarnel::powercut::SweepResult sweep = quarnel::powercut::sweepEveryCut(update, sweepStride);
            std::printf("%s, %s, program unit %u, scratch %u KiB: %llu cut points over %llu calls, %.1f s\n", layout,
                        pair.second, unit, update.spare.scratchLength / 1024,
                        static_cast<unsigned long long>(sweep.cutPoints),
                        static_cast<unsigned long long>(sweep.operations),
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            EXPECT_GT(sweep.operations, 0u);
            EXPECT_TRUE(sweep.failures.empty()) << sweep.failures.size() << " failures, the first: "
                                                << (sweep.failures.empty() ? "" : sweep.failures.front());
        }
    }
}

// Erase and program calls of one call, and the bytes they cover, by where they fall.
struct FlashWork {
    FotaFlash inner{};
    uint32_t scratchOffset = 0;
    uint32_t stateOffset = 0;
    uint32_t imageErases = 0;
    uint64_t imageErased = 0;
    uint64_t imageProgrammed = 0;
    uint32_t scratchErases = 0;
    uint64_t scratchProgrammed = 0;
    std::vector<std::pair<uint32_t, uint32_t>> imageEraseRanges;

    FotaFlash callbacks() { return {this, read, erase, program, nullptr, inner.sectorAt != nullptr ? sectorAt : nullptr}; }
    static int read(void *context, uint32_t offset, void *out, uint32_t length)
    {
        FlashWork &self = *static_cast<FlashWork *>(context);
        return self.inner.read(self.inner.context, offset, out, length);
    }
    static int erase(void *context, uint32_t offset, uint32_t length)
    {
        FlashWork &self = *static_cast<FlashWork *>(context);
        if (offset < self.scratchOffset) {
            self.imageErases += 1;
            self.imageErased += length;
            self.imageEraseRanges.emplace_back(offset, length);
        } else if (offset < self.stateOffset) {
            self.scratchErases += 1;
        }
        return self.inner.erase(self.inner.context, offset, length);
    }
    static int program(void *context, uint32_t offset, const void *data, uint32_t length)
    {
        FlashWork &self = *static_cast<FlashWork *>(context);
        if (offset < self.scratchOffset)
            self.imageProgrammed += length;
        else if (offset < self.stateOffset)
            self.scratchProgrammed += length;
        return self.inner.program(self.inner.context, offset, data, length);
    }
    static int sectorAt(void *context, uint32_t offset, uint32_t *start, uint32_t *length)
    {
        FlashWork &self = *static_cast<FlashWork *>(context);
        return self.inner.sectorAt(self.inner.context, offset, start, length);
    }
};

NorFlashSim simOf(const UpdateCase &update)
{
    return NorFlashSim(update.flash, {{0, static_cast<uint32_t>(update.flash.size())}}, update.spare.programUnit, 3,
                       norPastUnknown, update.sectors);
}

// One uncut update, its flash work counted.
FlashWork applyCounted(const UpdateCase &update, int &result, Bytes &flashAfter)
{
    NorFlashSim sim = simOf(update);
    FlashWork work;
    work.inner = sim.callbacks();
    work.scratchOffset = update.spare.scratchOffset;
    work.stateOffset = update.spare.stateOffset;
    const FotaFlash flash = work.callbacks();
    const FotaPackSource pack = testsupport::packSourceOf(update.pack);
    static Bytes memory(FOTA_APPLY_WORK_SIZE);
    result = FotaApplyPack(&flash, &pack, &update.spare, memory.data(), memory.size());
    flashAfter = sim.bytes();
    EXPECT_TRUE(sim.violations().empty()) << sim.violations().front();
    return work;
}

struct Refusal {
    int apply = -1;
    int query = -1;
    uint64_t writes = 0;
};

// FotaApplyPack (or, with trust, FotaApplySignedPack) and FotaApplyQuery on the update's flash as it is.
Refusal applyAndQuery(const UpdateCase &update, const FotaSpareArea &spare, const FotaTrust *trust = nullptr)
{
    NorFlashSim sim = simOf(update);
    const FotaFlash flash = sim.callbacks();
    const FotaPackSource pack = testsupport::packSourceOf(update.pack);
    static Bytes memory(FOTA_APPLY_SIGNED_WORK_SIZE);
    Refusal refusal;
    FotaApplyStatus status{};
    refusal.query = FotaApplyQuery(&flash, &pack, &spare, memory.data(), memory.size(), &status);
    refusal.apply = trust != nullptr
                        ? FotaApplySignedPack(&flash, &pack, trust, &spare, memory.data(), memory.size())
                        : FotaApplyPack(&flash, &pack, &spare, memory.data(), memory.size());
    refusal.writes = sim.operations();
    return refusal;
}

} // namespace

TEST(DeviceGeometry, EveryCutOnUniform4KiBSectors)
{
    expectEveryCutEndsWithTheNewImage(uniform4KiB, "uniform 4 KiB");
}

TEST(DeviceGeometry, EveryCutOn16And64And128KiBSectors)
{
    expectEveryCutEndsWithTheNewImage(to128KiB, "16K x4, 64K, 128K x7");
}

TEST(DeviceGeometry, EveryCutOn32And128And256KiBSectors)
{
    expectEveryCutEndsWithTheNewImage(to256KiB, "32K x4, 128K, 256K x3");
}

TEST(DeviceGeometry, TwoMiBPairRandomCutsOn128KiBSectors)
{
    const DevicePair &pair = testsupport::twoMiBDevicePair();
    const UpdateCase update = testsupport::deviceUpdateCase(pair, 16, {{4, 16384}, {1, 65536}, {23, 131072}});
    PowerCutRunner runner(update);
    std::string failure;
    const uint64_t operations = runner.countOperations(failure);
    ASSERT_GT(operations, 0u) << failure;
    testsupport::SplitMix random(128);
    const int points = testsupport::underAddressSanitizer ? 12 : 30;
    for (int p = 0; p < points; ++p) {
        const quarnel::powercut::Cut cut{random.below(static_cast<uint32_t>(operations)), static_cast<CutMode>(p % 3)};
        const quarnel::powercut::CutOutcome outcome = runner.run({cut}, random.next());
        EXPECT_TRUE(outcome.ok) << "call " << cut.operation << " cut " << quarnel::powercut::cutModeName(cut.mode)
                                << ": " << outcome.failure;
    }
}

// Each rule a sector map must meet, broken alone: refused with the geometry's code by the update and by the
// query alike, without a single erase or program; the same update with the rule kept applies.
TEST(DeviceGeometry, MapThatCannotWorkIsRefusedBeforeAnyWrite)
{
    const DevicePair &pair = testsupport::sampleDevicePair();
    const UpdateCase good = testsupport::deviceUpdateCase(pair, 16, to128KiB);
    ASSERT_EQ(good.spare.scratchOffset, 0x60000u);
    ASSERT_EQ(good.spare.stateOffset, 0x80000u);
    struct Case {
        const char *name;
        UpdateCase update;
        FotaSpareArea spare;
    };
    std::vector<Case> cases;
    FotaSpareArea spare = good.spare;
    spare.stateOffset += 0x1000;
    spare.stateLength -= 0x1000;
    cases.push_back({"state area starting inside a sector", good, spare});
    spare = good.spare;
    spare.stateLength = 0x1000;
    cases.push_back({"state area ending inside a sector", good, spare});
    spare = good.spare;
    spare.scratchOffset += 0x1000;
    spare.scratchLength -= 0x1000;
    cases.push_back({"scratch starting inside a sector", good, spare});
    spare = good.spare;
    spare.scratchLength = 0x10000;
    cases.push_back({"scratch of part of a sector", good, spare});

    // The image in sectors of 128 KiB, the spare area in sectors of 16 KiB: a scratch of four of them is
    // whole sectors but cannot hold the group to rebuild.
    const Sectors smallSpare = {{4, 16384}, {1, 65536}, {2, 131072}, {24, 16384}};
    const UpdateCase smallScratch = testsupport::deviceUpdateCase(pair, 16, smallSpare, 0x10000);
    ASSERT_EQ(smallScratch.spare.scratchOffset, 0x60000u);
    ASSERT_EQ(smallScratch.spare.scratchLength, 0x10000u);
    cases.push_back({"scratch smaller than the largest group", smallScratch, smallScratch.spare});

    // The sample ends at 0x5B000, inside the 256 KiB sector [0x40000, 0x80000): the rest of it is the image's.
    const UpdateCase large = testsupport::deviceUpdateCase(pair, 16, to256KiB);
    spare = large.spare;
    spare.stateOffset = 0x60000;
    spare.stateLength = 0x1000;
    cases.push_back({"state area in the sector the image ends in", large, spare});

    UpdateCase oversized = testsupport::deviceUpdateCase(pair, 16, {{1, 65536}, {1, 0x80000}, {16, 65536}});
    cases.push_back({"a sector of 512 KiB", oversized, oversized.spare});
    UpdateCase unmapped = good;
    unmapped.sectors = {{4, 16384}, {1, 65536}, {3, 131072}};
    cases.push_back({"a map that ends before the spare area", unmapped, unmapped.spare});

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Refusal refusal = applyAndQuery(c.update, c.spare);
        EXPECT_EQ(refusal.apply, FOTA_APPLY_BAD_GEOMETRY) << FotaApplyErrorMsg(refusal.apply);
        EXPECT_EQ(refusal.query, FOTA_APPLY_BAD_GEOMETRY) << FotaApplyErrorMsg(refusal.query);
        EXPECT_EQ(refusal.writes, 0u);
    }
    const UpdateCase largeScratch = testsupport::deviceUpdateCase(pair, 16, smallSpare, 0x20000);
    EXPECT_EQ(applyAndQuery(largeScratch, largeScratch.spare).apply, FOTA_APPLY_OK);
    EXPECT_EQ(applyAndQuery(good, good.spare).apply, FOTA_APPLY_OK);

    // Signed, the last group's sector reaches past an image area that ends with the image.
    quarnel::signing::Key key;
    std::string error;
    ASSERT_TRUE(quarnel::signing::makeKey(key, error)) << error;
    const Bytes signature = quarnel::signing::signHash(key, quarnel::signing::sha256(large.pack.data(), large.pack.size()));
    FotaTrust trust{key.point.data(), signature.data(), static_cast<uint32_t>(signature.size()), pair.codeBase,
                    static_cast<uint32_t>(pair.newImage.size())};
    const Refusal outside = applyAndQuery(large, large.spare, &trust);
    EXPECT_EQ(outside.apply, FOTA_APPLY_BAD_GEOMETRY) << FotaApplyErrorMsg(outside.apply);
    EXPECT_EQ(outside.writes, 0u);
    trust.imageLength = 0x80000 - pair.codeBase;
    EXPECT_EQ(applyAndQuery(large, large.spare, &trust).apply, FOTA_APPLY_OK);
}

// A unit, or a group of sectors, that already holds its new bytes is recorded done without an erase or a
// program; one that differs in a single byte is rebuilt, and nothing else of the image is written.
TEST(DeviceGeometry, UnchangedUnitsAreLeftAlone)
{
    const Bytes oldImage = testsupport::firmwareLikeBytes(0x40000, 5);
    Bytes oneByte = oldImage;
    oneByte[0x23456] ^= 0x5A;
    const DevicePair same = testsupport::makeDevicePair(oldImage, oldImage, 0x10000);
    const DevicePair changed = testsupport::makeDevicePair(oldImage, oneByte, 0x10000);
    const uint32_t changedAt = 0x10000 + 0x23456;
    const std::pair<Sectors, uint32_t> layouts[] = {{{}, 0x10000}, {to128KiB, 0x20000}};
    for (const auto &layout : layouts) {
        SCOPED_TRACE(layout.first.empty() ? "erase units of 4, 32 and 64 KiB" : "16K x4, 64K, 128K x7");
        const uint32_t rebuilt = layout.second; // the unit or sector the changed byte lies in
        for (const uint32_t unit : {1u, 256u}) {
            SCOPED_TRACE(::testing::Message() << "program unit " << unit);
            int result = -1;
            Bytes after;
            const UpdateCase sameCase = layout.first.empty() ? testsupport::deviceUpdateCase(same, unit)
                                                             : testsupport::deviceUpdateCase(same, unit, layout.first);
            const FlashWork untouched = applyCounted(sameCase, result, after);
            EXPECT_EQ(result, FOTA_APPLY_OK) << FotaApplyErrorMsg(result);
            EXPECT_EQ(untouched.imageErases, 0u);
            EXPECT_EQ(untouched.imageProgrammed, 0u);
            EXPECT_EQ(untouched.scratchErases, 0u);
            EXPECT_EQ(untouched.scratchProgrammed, 0u);
            EXPECT_TRUE(std::equal(oldImage.begin(), oldImage.end(), after.begin() + 0x10000));

            const UpdateCase oneCase = layout.first.empty() ? testsupport::deviceUpdateCase(changed, unit)
                                                            : testsupport::deviceUpdateCase(changed, unit, layout.first);
            const FlashWork written = applyCounted(oneCase, result, after);
            EXPECT_EQ(result, FOTA_APPLY_OK) << FotaApplyErrorMsg(result);
            ASSERT_EQ(written.imageErases, 1u);
            const uint32_t erasedStart = written.imageEraseRanges.front().first;
            const uint32_t erasedLength = written.imageEraseRanges.front().second;
            EXPECT_LE(erasedStart, changedAt);
            EXPECT_GT(erasedStart + erasedLength, changedAt);
            EXPECT_EQ(erasedLength, rebuilt);
            EXPECT_EQ(written.imageProgrammed, rebuilt);
            EXPECT_EQ(written.scratchErases, 1u);
            EXPECT_TRUE(std::equal(oneByte.begin(), oneByte.end(), after.begin() + 0x10000));
            std::printf("%s, program unit %u: one byte changed costs %llu bytes erased and %llu programmed in the "
                        "image of %u KiB, nothing for the unchanged one\n",
                        layout.first.empty() ? "4/32/64 KiB units" : "16K x4, 64K, 128K x7", unit,
                        static_cast<unsigned long long>(written.imageErased),
                        static_cast<unsigned long long>(written.imageProgrammed),
                        static_cast<unsigned>(oldImage.size() / 1024));
        }
    }
}

// A chunk whose source is the new bytes of a chunk built before it in the same sector: those are still only
// in the scratch, and must be read from there. The new image holds one fresh block twice in a 128 KiB
// sector, so whichever of its two chunks the walk builds second reads the first one's new bytes.
TEST(DeviceGeometry, SourcesInTheGroupBeingBuiltComeFromTheScratch)
{
    const Bytes oldImage = testsupport::firmwareLikeBytes(0x40000, 11);
    const Bytes fresh = testsupport::firmwareLikeBytes(0x10000, 12);
    Bytes newImage = oldImage;
    std::copy(fresh.begin(), fresh.end(), newImage.begin() + 0x10000);
    std::copy(fresh.begin(), fresh.end(), newImage.begin() + 0x20000);
    const DevicePair pair = testsupport::makeDevicePair(oldImage, newImage, 0x10000);
    const Bytes stream = testsupport::decodedStream(pair.pack);
    uint32_t firstBuilt = 0;
    bool readsTheFirst = false;
    size_t at = 4;
    for (uint32_t c = testsupport::readLe32(&stream[0]); c > 0; --c) {
        const uint32_t target = testsupport::readLe32(&stream[at]);
        const uint32_t records = testsupport::readLe32(&stream[at + 8]);
        if (target == 0x20000 || target == 0x30000) {
            for (uint32_t r = 0; r < records && firstBuilt != 0; ++r) {
                const uint8_t *record = &stream[at + 12 * (r + 1)];
                const uint32_t source = testsupport::readLe32(record);
                readsTheFirst = readsTheFirst || (source >= firstBuilt && source < firstBuilt + 0x10000 &&
                                                  testsupport::readLe32(record + 4) > 0);
            }
            firstBuilt = firstBuilt == 0 ? target : firstBuilt;
        }
        at += 12 * (size_t{records} + 1);
    }
    ASSERT_TRUE(readsTheFirst);
    for (const uint32_t unit : {1u, 256u}) {
        SCOPED_TRACE(::testing::Message() << "program unit " << unit);
        const quarnel::powercut::SweepResult sweep =
            quarnel::powercut::sweepEveryCut(testsupport::deviceUpdateCase(pair, unit, to128KiB), sweepStride);
        EXPECT_GT(sweep.operations, 0u);
        EXPECT_TRUE(sweep.failures.empty()) << sweep.failures.size() << " failures, the first: "
                                            << (sweep.failures.empty() ? "" : sweep.failures.front());
    }
}
