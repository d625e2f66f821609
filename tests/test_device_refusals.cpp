// The device applier's checks before the first erase, and what it does once an update is done.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "common/crc32.h"
#include "common/result_codes.h"
#include "container/lzma_adapter.h"
#include "container/pack_header.h"
#include "packcheck/nor_flash_sim.h"
#include "packcheck/power_cuts.h"
#include "quarnel.h"
#include "support/device_streams.h"
#include "support/device_updates.h"
#include "support/pack_replay.h"
#include "verify/lzma_block.h"

using quarnel::powercut::NorFlashSim;
using quarnel::powercut::UpdateCase;
using testsupport::Bytes;

namespace {

struct Outcome {
    int result = -1;
    uint64_t operations = 0;
    bool flashUnchanged = false;
    Bytes flash;
};

// One applier call on a simulated copy of flash, with work of workSize bytes placed workOffset bytes into a buffer.
Outcome applyOnce(const Bytes &flash, const Bytes &pack, const FotaSpareArea &spare, size_t workSize,
                  size_t workOffset = 0)
{
    // The flash may be one that an earlier call left half updated: its erased bytes were erased by that call.
    NorFlashSim sim(flash, {{0, static_cast<uint32_t>(flash.size())}}, spare.programUnit == 0 ? 1 : spare.programUnit,
                    7, norPastErasedAsRead);
    const FotaFlash callbacks = sim.callbacks();
    const FotaPackSource source = testsupport::packSourceOf(pack);
    Bytes work(workSize + workOffset, 0xA5);
    Outcome outcome;
    outcome.result = FotaApplyPack(&callbacks, &source, &spare, work.data() + workOffset, workSize);
    outcome.operations = sim.operations();
    outcome.flash = sim.bytes();
    outcome.flashUnchanged = outcome.flash == flash;
    EXPECT_TRUE(sim.violations().empty()) << sim.violations().front();
    return outcome;
}

size_t workSizeOf(const Bytes &pack)
{
    const FotaPackSource source = testsupport::packSourceOf(pack);
    return FotaApplyWorkSize(&source);
}

// Refused before any erase or program, and with the given code when one is named.
void expectRefused(const Outcome &outcome, int code = -1)
{
    EXPECT_NE(outcome.result, FOTA_APPLY_OK);
    if (code >= 0) {
        EXPECT_EQ(outcome.result, code) << FotaApplyErrorMsg(outcome.result);
    }
    EXPECT_EQ(outcome.operations, 0u);
    EXPECT_TRUE(outcome.flashUnchanged);
}

const UpdateCase &sampleUpdate()
{
    static const UpdateCase update = testsupport::deviceUpdateCase(testsupport::sampleDevicePair(), 16);
    return update;
}

// The sample's patch stream, decoded independently of the applier.
const Bytes &sampleStream()
{
    static const Bytes stream = testsupport::decodedStream(sampleUpdate().pack);
    return stream;
}

// A pack of the stream whose header describes the sample's old image, so that only the stream is wrong.
Bytes packOfStream(const Bytes &stream)
{
    return testsupport::packOfStream(testsupport::sampleDevicePair(), stream);
}

void putLe32(Bytes &bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

Outcome applySample(const Bytes &pack, const FotaSpareArea &spare, size_t workSize)
{
    return applyOnce(sampleUpdate().flash, pack, spare, workSize);
}

} // namespace

TEST(DeviceRefusals, DamagedPacks)
{
    const UpdateCase &update = sampleUpdate();
    const Bytes &pack = update.pack;
    const size_t work = workSizeOf(pack);
    ASSERT_GT(work, 0u);
    for (size_t byte = 0; byte < 28; ++byte) {
        Bytes flipped = pack;
        flipped[byte] ^= static_cast<uint8_t>(1u << (byte % 8));
        SCOPED_TRACE(::testing::Message() << "header byte " << byte);
        expectRefused(applySample(flipped, update.spare, work + 64));
    }
    for (size_t point = 0; point < 64; ++point) {
        Bytes flipped = pack;
        const size_t at = 28 + point * (pack.size() - 29) / 63;
        flipped[at] ^= static_cast<uint8_t>(0x80u >> (point % 8));
        SCOPED_TRACE(::testing::Message() << "block byte " << at);
        // The LZMA header is read before the checksum is computed.
        expectRefused(applySample(flipped, update.spare, work), at < 41 ? -1 : FOTA_APPLY_BAD_DATA_CRC);
    }
    for (const size_t length : {size_t{0}, size_t{27}, size_t{28}, size_t{41}, pack.size() / 2, pack.size() - 1}) {
        const Bytes cut(pack.begin(), pack.begin() + static_cast<std::ptrdiff_t>(length));
        SCOPED_TRACE(::testing::Message() << "cut at " << length);
        EXPECT_EQ(workSizeOf(cut), 0u);
        expectRefused(applySample(cut, update.spare, work), FOTA_APPLY_BAD_PACK_HEADER);
    }
}

TEST(DeviceRefusals, AnotherOldImageAndWorkOneByteShort)
{
    const UpdateCase &update = sampleUpdate();
    Bytes otherFlash = update.flash;
    otherFlash[0x10000 + 0x2345] ^= 0x10;
    expectRefused(applyOnce(otherFlash, update.pack, update.spare, workSizeOf(update.pack)),
                  FOTA_APPLY_OLD_IMAGE_MISMATCH);

    const size_t work = workSizeOf(update.pack);
    // The formula: a 4 KiB I/O block, 2 bits per chunk for 4096 chunks, three decoders each with its
    // 15980-byte table, 8 KiB window and 512-byte input block, 64 checksums of one group's chunks, and 7
    // bytes of alignment.
    EXPECT_EQ(work, 4096u + 1024u + 3u * (15980u + 8192u + 512u) + 64u * 4u + 7u);
    EXPECT_EQ(work, size_t{FOTA_APPLY_WORK_SIZE});
    EXPECT_LE(work, 80u * 1024u);
    expectRefused(applySample(update.pack, update.spare, work - 1), FOTA_APPLY_WORK_TOO_SMALL);
    // Exactly enough, at an odd address.
    const Outcome applied = applyOnce(update.flash, update.pack, update.spare, work, 3);
    EXPECT_EQ(applied.result, FOTA_APPLY_OK) << FotaApplyErrorMsg(applied.result);
    const testsupport::DevicePair &pair = testsupport::sampleDevicePair();
    EXPECT_TRUE(std::equal(pair.newImage.begin(), pair.newImage.end(), applied.flash.begin() + pair.codeBase));
}

TEST(DeviceRefusals, BadSpareAreas)
{
    const UpdateCase &update = sampleUpdate();
    const size_t work = workSizeOf(update.pack);
    const FotaSpareArea good = update.spare;
    struct Case {
        const char *name;
        FotaSpareArea spare;
        int code;
    };
    const Case cases[] = {
        {"scratch inside the old image", {0x20000, good.stateOffset, good.stateLength, 16, 0}, FOTA_APPLY_BAD_SPARE_AREA},
        // The new image is 0x3000 longer than the old one: its last unit is not free either.
        {"scratch over the new image's tail", {0x50000, good.stateOffset, good.stateLength, 16, 0},
         FOTA_APPLY_BAD_SPARE_AREA},
        {"scratch not at a 64 KiB boundary", {good.scratchOffset + 0x8000, good.stateOffset + 0x8000,
                                              good.stateLength, 16, 0}, FOTA_APPLY_BAD_SPARE_AREA},
        {"state inside the new image", {good.scratchOffset, 0x5A000, good.stateLength, 16, 0},
         FOTA_APPLY_BAD_SPARE_AREA},
        {"state overlapping the scratch", {good.scratchOffset, good.scratchOffset + 0xF000, good.stateLength, 16, 0},
         FOTA_APPLY_BAD_SPARE_AREA},
        {"state not at a sector", {good.scratchOffset, good.stateOffset + 0x800, good.stateLength, 16, 0},
         FOTA_APPLY_BAD_SPARE_AREA},
        {"state of no sector", {good.scratchOffset, good.stateOffset, 0, 16, 0}, FOTA_APPLY_BAD_SPARE_AREA},
        {"state of part of a sector", {good.scratchOffset, good.stateOffset, 0x800, 16, 0}, FOTA_APPLY_BAD_SPARE_AREA},
        // 256 bytes of identity and 2 records of 256 bytes for each of the sample's chunks need a second sector.
        {"state too small", {good.scratchOffset, good.stateOffset, 0x1000, 256, 0}, FOTA_APPLY_STATE_TOO_SMALL},
        {"program unit 3", {good.scratchOffset, good.stateOffset, good.stateLength, 3, 0}, FOTA_APPLY_BAD_SPARE_AREA},
        {"program unit 0", {good.scratchOffset, good.stateOffset, good.stateLength, 0, 0}, FOTA_APPLY_BAD_SPARE_AREA},
        {"program unit 512", {good.scratchOffset, good.stateOffset, 0x10000, 512, 0}, FOTA_APPLY_BAD_SPARE_AREA},
    };
    Bytes flash = update.flash;
    flash.resize(good.stateOffset + 0x20000, 0xFF);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        expectRefused(applyOnce(flash, update.pack, c.spare, work), c.code);
    }
    ASSERT_GE(testsupport::sampleDevicePair().chunkCount, 8u);
}

// Blocks damaged after their checksum was taken, so that the decoder itself must refuse them.
TEST(DeviceRefusals, DamagedBlocksWithAValidChecksum)
{
    const UpdateCase &update = sampleUpdate();
    const Bytes block(update.pack.begin() + 28, update.pack.end());
    const testsupport::DevicePair &pair = testsupport::sampleDevicePair();
    auto repack = [&](const Bytes &data) {
        return quarnel::buildPack(pair.codeBase, static_cast<uint32_t>(pair.oldImage.size()),
                                  testsupport::readLe32(&update.pack[8]), data.data(),
                                  static_cast<uint32_t>(data.size()));
    };
    Bytes shortened(block.begin(), block.end() - 1);
    expectRefused(applySample(repack(shortened), update.spare, workSizeOf(update.pack)), FOTA_APPLY_BAD_LZMA_DATA);
    Bytes trailing = block;
    trailing.push_back(0);
    expectRefused(applySample(repack(trailing), update.spare, workSizeOf(update.pack)), FOTA_APPLY_BAD_LZMA_DATA);
    Bytes longer = block;
    putLe32(longer, 5, testsupport::readLe32(&block[5]) + 1);
    expectRefused(applySample(repack(longer), update.spare, workSizeOf(repack(longer))), FOTA_APPLY_BAD_LZMA_DATA);

    // Range-coded bits flipped anywhere: the data no longer decodes, or decodes to a stream whose
    // layout or chunk checksums give it away; no unit of the images is touched either way.
    for (size_t point = 0; point < 48; ++point) {
        Bytes flipped = block;
        const size_t at = 13 + point * (block.size() - 14) / 47;
        flipped[at] ^= static_cast<uint8_t>(1u << (point % 8));
        SCOPED_TRACE(::testing::Message() << "block byte " << at);
        const Outcome outcome = applySample(repack(flipped), update.spare, workSizeOf(update.pack));
        EXPECT_NE(outcome.result, FOTA_APPLY_OK);
        EXPECT_TRUE(std::equal(pair.oldImage.begin(), pair.oldImage.end(), outcome.flash.begin() + pair.codeBase));
        if (outcome.result != FOTA_APPLY_CHUNK_CRC_MISMATCH)
            expectRefused(outcome);
    }
}

// Streams that decode but whose layout is wrong, each packed with a valid header.
TEST(DeviceRefusals, DoctoredStreams)
{
    const UpdateCase &update = sampleUpdate();
    const Bytes &stream = sampleStream();
    const uint32_t firstRecords = testsupport::readLe32(&stream[12]);
    const size_t second = 4 + 12 + 12 * size_t{firstRecords};
    struct Case {
        const char *name;
        Bytes stream;
        int code;
    };
    std::vector<Case> cases;
    Bytes bytes = stream;
    putLe32(bytes, 0, testsupport::readLe32(&stream[0]) + 1);
    // The difference bytes then read as the extra chunk's entry: a bad unit or a count past the end.
    cases.push_back({"one chunk more than the entries", bytes, -1});
    bytes = stream;
    bytes.push_back(0);
    cases.push_back({"a byte after the literal bytes", bytes, FOTA_APPLY_BAD_STREAM});
    bytes = stream;
    putLe32(bytes, 4, testsupport::readLe32(&stream[4]) + 0x800);
    cases.push_back({"a chunk off its unit's boundary", bytes, FOTA_APPLY_BAD_CHUNK});
    bytes = stream;
    putLe32(bytes, second, testsupport::readLe32(&stream[4]));
    cases.push_back({"two chunks on one unit", bytes, FOTA_APPLY_BAD_CHUNK});
    // The first two chunks' units traded: the walk turns back at the third, which the applier refuses
    // without looking further than the chunk before.
    bytes = stream;
    putLe32(bytes, 4, testsupport::readLe32(&stream[second]));
    putLe32(bytes, second, testsupport::readLe32(&stream[4]));
    cases.push_back({"chunks that turn back", bytes, FOTA_APPLY_BAD_CHUNK});
    bytes = stream;
    putLe32(bytes, 16 + 4, testsupport::readLe32(&stream[16 + 4]) + 1);
    putLe32(bytes, 16 + 8, testsupport::readLe32(&stream[16 + 8]) - 1);
    ASSERT_GT(testsupport::readLe32(&stream[16 + 8]), 0u) << "the first record has literal bytes to trade";
    cases.push_back({"a chunk one byte longer, the next one shorter", bytes, FOTA_APPLY_OK});
    bytes = stream;
    ASSERT_GT(testsupport::readLe32(&stream[16 + 4]), 0u) << "the first record has difference bytes";
    putLe32(bytes, 16, 0x8000);
    cases.push_back({"a record reading below the images", bytes, FOTA_APPLY_BAD_SOURCE});
    bytes = stream;
    putLe32(bytes, 16, 0x10000 + static_cast<uint32_t>(testsupport::sampleDevicePair().newImage.size()) - 8);
    cases.push_back({"a record reading past the images", bytes, FOTA_APPLY_BAD_SOURCE});

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes pack = packOfStream(c.stream);
        const Outcome outcome = applySample(pack, update.spare, workSizeOf(pack));
        if (c.code == FOTA_APPLY_OK) {
            // Counts that still add up move bytes between records, not between chunks: the chunk checksum catches it.
            EXPECT_EQ(outcome.result, FOTA_APPLY_CHUNK_CRC_MISMATCH);
            continue;
        }
        expectRefused(outcome, c.code);
    }
}

// A chunk whose bytes do not build to its checksum stops the update before its unit is erased.
// A pack whose matches reach further back than the device's window, from an older library or
// another encoder, is refused before the first erase; so is one with more chunks than the applier tracks.
TEST(DeviceRefusals, WiderWindowAndTooManyChunks)
{
    const UpdateCase &update = sampleUpdate();
    const testsupport::DevicePair &pair = testsupport::sampleDevicePair();
    const Bytes wide = testsupport::encodeWithWindow(sampleStream(), 1u << 25);
    const Bytes widePack = quarnel::buildPack(pair.codeBase, static_cast<uint32_t>(pair.oldImage.size()),
                                              testsupport::readLe32(&update.pack[8]), wide.data(),
                                              static_cast<uint32_t>(wide.size()));
    Bytes decoded;
    ASSERT_TRUE(testsupport::decodeLzmaBlock(wide, decoded));
    ASSERT_EQ(decoded, sampleStream());
    const Outcome refused = applySample(widePack, update.spare, workSizeOf(widePack));
    expectRefused(refused, FOTA_APPLY_BAD_LZMA_DATA);
    EXPECT_NE(std::string(FotaApplyErrorMsg(refused.result)).find("8 KiB window"), std::string::npos);

    Bytes many(4 + 12 * size_t{FOTA_APPLY_MAX_CHUNKS + 1} + 4096, 0);
    putLe32(many, 0, FOTA_APPLY_MAX_CHUNKS + 1);
    expectRefused(applySample(packOfStream(many), update.spare, FOTA_APPLY_WORK_SIZE), FOTA_APPLY_TOO_MANY_CHUNKS);
}

// The decoder's window is exact: a match at 8192 bytes back is read, one at 8193 is refused, by the
// applier and by liblzma alike, so the match is really in the data.
TEST(DeviceWindow, MatchAtTheWindowIsReadAndOneByteFurtherIsRefused)
{
    static_assert(quarnel::lzmaWindowSize == FOTA_APPLY_WINDOW, "the encoder writes for the device's window");
    constexpr uint32_t codeBase = 0x10000;
    constexpr uint32_t unit = 0x8000;
    Bytes oldImage(unit);
    for (size_t i = 0; i < oldImage.size(); ++i)
        oldImage[i] = static_cast<uint8_t>(i * 7 + 3);
    for (const uint32_t distance : {FOTA_APPLY_WINDOW, FOTA_APPLY_WINDOW + 1}) {
        SCOPED_TRACE(::testing::Message() << "match " << distance << " bytes back");
        // One chunk of literal bytes only: random bytes, a run repeating the first ones, random again.
        Bytes literal(unit);
        uint64_t state = 0x9E3779B97F4A7C15u + distance;
        for (uint8_t &byte : literal) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            byte = static_cast<uint8_t>(state >> 56);
        }
        std::copy(literal.begin(), literal.begin() + 600, literal.begin() + distance);
        Bytes stream(4 + 12 + 12);
        putLe32(stream, 0, 1);
        putLe32(stream, 4, codeBase);
        putLe32(stream, 8, quarnel::packCrc32(literal.data(), unit));
        putLe32(stream, 12, 1);
        putLe32(stream, 16, codeBase);
        putLe32(stream, 20, 0);
        putLe32(stream, 24, unit);
        stream.insert(stream.end(), literal.begin(), literal.end());
        const Bytes block = testsupport::encodeWithWindow(stream, 1u << 20);
        const Bytes pack = quarnel::buildPack(codeBase, unit, quarnel::packCrc32(oldImage.data(), unit), block.data(),
                                              static_cast<uint32_t>(block.size()));

        quarnel::verify::LzmaBlockHeader header;
        quarnel::verify::Findings findings;
        ASSERT_EQ(quarnel::verify::readLzmaHeader(block.data(), block.size(), UINT64_MAX, 28, header, findings), 0);
        Bytes decoded;
        const int hostCheck = quarnel::verify::decodeLzmaBlock(block.data(), block.size(), header, 28, decoded,
                                                               findings);

        Bytes flash(0x31000, 0xFF);
        std::copy(oldImage.begin(), oldImage.end(), flash.begin() + codeBase);
        const FotaSpareArea spare = {0x20000, 0x30000, 0x1000, 16, 0};
        const Outcome outcome = applyOnce(flash, pack, spare, FOTA_APPLY_WORK_SIZE);
        if (distance == FOTA_APPLY_WINDOW) {
            EXPECT_EQ(hostCheck, 0);
            EXPECT_EQ(decoded, stream);
            ASSERT_EQ(outcome.result, FOTA_APPLY_OK) << FotaApplyErrorMsg(outcome.result);
            EXPECT_TRUE(std::equal(literal.begin(), literal.end(), outcome.flash.begin() + codeBase));
        } else {
            EXPECT_EQ(hostCheck, FOTA_PACK_INVALID);
            ASSERT_FALSE(findings.empty());
            EXPECT_NE(findings.back().text.find("8192-byte window"), std::string::npos) << findings.back().text;
            expectRefused(outcome, FOTA_APPLY_BAD_LZMA_DATA);
        }
    }
}

TEST(DeviceRefusals, WrongChunkChecksumLeavesTheUnitUntouched)
{
    const UpdateCase &update = sampleUpdate();
    Bytes stream = sampleStream();
    putLe32(stream, 8, testsupport::readLe32(&stream[8]) ^ 1);
    const Bytes pack = packOfStream(stream);
    const Outcome outcome = applySample(pack, update.spare, workSizeOf(pack));
    EXPECT_EQ(outcome.result, FOTA_APPLY_CHUNK_CRC_MISMATCH);
    const testsupport::DevicePair &pair = testsupport::sampleDevicePair();
    EXPECT_TRUE(std::equal(pair.oldImage.begin(), pair.oldImage.end(), outcome.flash.begin() + pair.codeBase));
}

TEST(DeviceApply, DoneUpdateWritesNothingAndTheNextPackStartsFresh)
{
    const testsupport::DevicePair &first = testsupport::sampleDevicePair();
    const UpdateCase &update = sampleUpdate();
    const Outcome applied = applySample(update.pack, update.spare, workSizeOf(update.pack));
    ASSERT_EQ(applied.result, FOTA_APPLY_OK) << FotaApplyErrorMsg(applied.result);

    const Outcome again = applyOnce(applied.flash, update.pack, update.spare, workSizeOf(update.pack));
    EXPECT_EQ(again.result, FOTA_APPLY_OK);
    EXPECT_EQ(again.operations, 0u);
    EXPECT_TRUE(again.flashUnchanged);

    // A done unit changed behind the records is reported, not taken for the new image.
    Bytes tampered = applied.flash;
    tampered[first.codeBase + 0x12345] ^= 0x01;
    expectRefused(applyOnce(tampered, update.pack, update.spare, workSizeOf(update.pack)),
                  FOTA_APPLY_TARGET_MISMATCH);

    // The next version, from what the device holds now.
    Bytes next = first.newImage;
    for (size_t at = 0x100; at < next.size(); at += 0x7777)
        next[at] ^= 0x5A;
    const testsupport::DevicePair second = testsupport::makeDevicePair(first.newImage, next, first.codeBase);
    const Outcome updated = applyOnce(applied.flash, second.pack, update.spare, workSizeOf(second.pack));
    ASSERT_EQ(updated.result, FOTA_APPLY_OK) << FotaApplyErrorMsg(updated.result);
    EXPECT_TRUE(std::equal(next.begin(), next.end(), updated.flash.begin() + first.codeBase));

    // The first pack's records are gone with its identity, and its old image with them.
    expectRefused(applyOnce(updated.flash, update.pack, update.spare, workSizeOf(update.pack)),
                  FOTA_APPLY_OLD_IMAGE_MISMATCH);
}

// Records written with one spare area are not read with another: a half-done update is refused, not misread.
TEST(DeviceApply, ResumeNeedsTheSameSpareArea)
{
    const UpdateCase &update = sampleUpdate();
    NorFlashSim sim(update.flash, {{0, static_cast<uint32_t>(update.flash.size())}}, 16, 3);
    const FotaFlash callbacks = sim.callbacks();
    const FotaPackSource source = testsupport::packSourceOf(update.pack);
    Bytes work(workSizeOf(update.pack));
    std::jmp_buf cut;
    sim.armCut(&cut, 60, quarnel::powercut::CutMode::after);
    // Nothing with a destructor may be under construction when the cut jumps back here.
    if (setjmp(cut) == 0) {
        const int returned = FotaApplyPack(&callbacks, &source, &update.spare, work.data(), work.size());
        FAIL() << "returned " << returned << " without reaching the cut";
    }
    sim.disarm();
    const Bytes halfDone = sim.bytes();
    FotaSpareArea otherUnit = update.spare;
    otherUnit.programUnit = 1;
    expectRefused(applyOnce(halfDone, update.pack, otherUnit, work.size()), FOTA_APPLY_OLD_IMAGE_MISMATCH);
    const Outcome resumed = applyOnce(halfDone, update.pack, update.spare, work.size());
    EXPECT_EQ(resumed.result, FOTA_APPLY_OK) << FotaApplyErrorMsg(resumed.result);
    const testsupport::DevicePair &pair = testsupport::sampleDevicePair();
    EXPECT_TRUE(std::equal(pair.newImage.begin(), pair.newImage.end(), resumed.flash.begin() + pair.codeBase));
}

TEST(DeviceApply, MissingArgumentsAndMessages)
{
    const UpdateCase &update = sampleUpdate();
    const FotaPackSource source = testsupport::packSourceOf(update.pack);
    FotaFlash noProgram{};
    noProgram.read = [](void *, uint32_t, void *, uint32_t) { return 0; };
    Bytes work(workSizeOf(update.pack));
    EXPECT_EQ(FotaApplyPack(nullptr, &source, &update.spare, work.data(), work.size()), FOTA_APPLY_BAD_ARGUMENT);
    EXPECT_EQ(FotaApplyPack(&noProgram, &source, &update.spare, work.data(), work.size()), FOTA_APPLY_BAD_ARGUMENT);
    EXPECT_EQ(FotaApplyWorkSize(nullptr), 0u);

    std::set<std::string> messages;
    for (int code = FOTA_APPLY_OK; code <= FOTA_APPLY_BAD_GEOMETRY; ++code)
        messages.insert(FotaApplyErrorMsg(code));
    EXPECT_EQ(messages.size(), size_t{FOTA_APPLY_BAD_GEOMETRY + 1});
    EXPECT_EQ(messages.count("unknown error"), 0u);
    EXPECT_STREQ(FotaApplyErrorMsg(FOTA_APPLY_BAD_GEOMETRY + 1), "unknown error");
    EXPECT_STREQ(FotaApplyErrorMsg(-1), "unknown error");
}
