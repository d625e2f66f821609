// FotaApplySignedPack: signature and image area checked before the first write, and power cuts as FotaApplyPack.
#include <gtest/gtest.h>

#include <algorithm>

#include "packcheck/nor_flash_sim.h"
#include "packcheck/power_cuts.h"
#include "signing/signing.h"
#include "support/device_updates.h"
#include "support/pack_replay.h"
#include "support/run_tool.h"
#include "support/sanitizer.h"
#include "support/test_files.h"

using quarnel::powercut::NorFlashSim;
using quarnel::powercut::UpdateCase;
using testsupport::Bytes;
namespace signing = quarnel::signing;

namespace {

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

Bytes signatureOf(const Bytes &pack, const signing::Key &key)
{
    return signing::signHash(key, signing::sha256(pack.data(), pack.size()));
}

// The sample update, signed with the device's key, its image area the sample's code area.
UpdateCase signedSample(uint32_t programUnit)
{
    const testsupport::DevicePair &pair = testsupport::sampleDevicePair();
    UpdateCase update = testsupport::deviceUpdateCase(pair, programUnit);
    update.publicKey.assign(deviceKey().point.begin(), deviceKey().point.end());
    update.signature = signatureOf(update.pack, deviceKey());
    update.imageOffset = pair.codeBase;
    update.imageLength = 0x400000 - pair.codeBase;
    return update;
}

struct Outcome {
    int result = -1;
    uint64_t operations = 0;
    bool flashUnchanged = false;
};

Outcome applySignedOnce(const UpdateCase &update)
{
    NorFlashSim sim(update.flash, {{0, static_cast<uint32_t>(update.flash.size())}}, update.spare.programUnit, 7);
    const FotaFlash callbacks = sim.callbacks();
    const FotaPackSource source = testsupport::packSourceOf(update.pack);
    const FotaTrust trust{update.publicKey.data(), update.signature.data(),
                          static_cast<uint32_t>(update.signature.size()), update.imageOffset, update.imageLength};
    Bytes work(FOTA_APPLY_SIGNED_WORK_SIZE, 0xA5);
    Outcome outcome;
    outcome.result = FotaApplySignedPack(&callbacks, &source, &trust, &update.spare, work.data(), work.size());
    outcome.operations = sim.operations();
    outcome.flashUnchanged = sim.bytes() == update.flash;
    return outcome;
}

void expectRefused(const UpdateCase &update, int code)
{
    const Outcome outcome = applySignedOnce(update);
    EXPECT_EQ(outcome.result, code) << FotaApplyErrorMsg(outcome.result);
    EXPECT_EQ(outcome.operations, 0u);
    EXPECT_TRUE(outcome.flashUnchanged);
}

// Each chunk's [target, target + unit), read from the stream by an independent decoder.
std::vector<std::pair<uint32_t, uint32_t>> chunkUnits(const Bytes &pack)
{
    Bytes stream;
    EXPECT_TRUE(testsupport::decodeLzmaBlock(Bytes(pack.begin() + 28, pack.end()), stream));
    auto le32 = [&](size_t at) {
        return static_cast<uint32_t>(stream[at] | stream[at + 1] << 8 | stream[at + 2] << 16) |
               static_cast<uint32_t>(stream[at + 3]) << 24;
    };
    std::vector<std::pair<uint32_t, uint32_t>> units;
    size_t at = 4;
    for (uint32_t c = le32(0); c > 0; --c) {
        const uint32_t target = le32(at);
        const uint32_t records = le32(at + 8);
        uint32_t length = 0;
        for (uint32_t r = 0; r < records; ++r)
            length += le32(at + 12 * (r + 1) + 4) + le32(at + 12 * (r + 1) + 8);
        units.emplace_back(target, target + length);
        at += 12 * (records + 1);
    }
    return units;
}

} // namespace

TEST(DeviceSigned, SamplePairEveryCut)
{
    for (const uint32_t unit : {1u, 256u}) {
        SCOPED_TRACE(::testing::Message() << "program unit " << unit);
        const UpdateCase update = signedSample(unit);
        const quarnel::powercut::SweepResult sweep =
            quarnel::powercut::sweepEveryCut(update, testsupport::underAddressSanitizer ? 2 : 1);
        std::printf("signed sample pair, program unit %u: %llu cut points\n", unit,
                    static_cast<unsigned long long>(sweep.cutPoints));
        EXPECT_GT(sweep.operations, 4u * testsupport::sampleDevicePair().chunkCount);
        EXPECT_TRUE(sweep.failures.empty()) << sweep.failures.size() << " failures, the first: "
                                            << (sweep.failures.empty() ? "" : sweep.failures.front());
    }
}

TEST(DeviceSigned, RefusesWithoutAWrite)
{
    const UpdateCase good = signedSample(16);
    {
        SCOPED_TRACE("one byte of the pack changed, at its start, middle and end");
        for (const size_t at : {size_t{0}, good.pack.size() / 2, good.pack.size() - 1}) {
            UpdateCase changed = good;
            changed.pack[at] ^= 0x01;
            expectRefused(changed, FOTA_APPLY_BAD_SIGNATURE);
        }
    }
    {
        SCOPED_TRACE("signed with another key");
        signing::Key other;
        std::string error;
        ASSERT_TRUE(signing::makeKey(other, error));
        UpdateCase changed = good;
        changed.signature = signatureOf(good.pack, other);
        expectRefused(changed, FOTA_APPLY_BAD_SIGNATURE);
        // The other key's own signature, but the device holding another public key.
        changed.publicKey.assign(other.point.begin(), other.point.end());
        changed.signature = good.signature;
        expectRefused(changed, FOTA_APPLY_BAD_SIGNATURE);
    }
    {
        SCOPED_TRACE("signature truncated, at every length, and extended");
        for (size_t length = 0; length < good.signature.size(); ++length) {
            UpdateCase changed = good;
            changed.signature.resize(length);
            if (length == 0)
                changed.signature.push_back(0x30); // an empty vector has no data pointer to pass
            expectRefused(changed, FOTA_APPLY_BAD_SIGNATURE);
        }
        UpdateCase longer = good;
        longer.signature.push_back(0);
        expectRefused(longer, FOTA_APPLY_BAD_SIGNATURE);
    }
    {
        SCOPED_TRACE("a key that is not a point of the curve");
        UpdateCase changed = good;
        changed.publicKey[40] ^= 0x01;
        expectRefused(changed, FOTA_APPLY_BAD_SIGNATURE);
    }
}

TEST(DeviceSigned, ChunksAndOldImageHeldToTheImageArea)
{
    const UpdateCase good = signedSample(16);
    const auto units = chunkUnits(good.pack);
    ASSERT_FALSE(units.empty());
    uint32_t lowest = UINT32_MAX;
    uint32_t highest = 0;
    for (const auto &unit : units) {
        lowest = std::min(lowest, unit.first);
        highest = std::max(highest, unit.second);
    }
    const testsupport::DevicePair &pair = testsupport::sampleDevicePair();
    const uint32_t oldEnd = pair.codeBase + static_cast<uint32_t>(pair.oldImage.size());
    const uint32_t start = std::min(lowest, pair.codeBase);
    const uint32_t end = std::max(highest, oldEnd);

    // The tightest area that holds everything is enough; one byte less at either end is not.
    UpdateCase tight = good;
    tight.imageOffset = start;
    tight.imageLength = end - start;
    EXPECT_EQ(applySignedOnce(tight).result, FOTA_APPLY_OK);
    UpdateCase shortEnd = tight;
    shortEnd.imageLength -= 1;
    expectRefused(shortEnd, FOTA_APPLY_OUTSIDE_IMAGE_AREA);
    UpdateCase lateStart = tight;
    lateStart.imageOffset += 1;
    lateStart.imageLength -= 1;
    expectRefused(lateStart, FOTA_APPLY_OUTSIDE_IMAGE_AREA);
    // An area ending before the highest chunk while holding the old image: the chunk alone is refused.
    if (highest > oldEnd) {
        UpdateCase chunkOut = tight;
        chunkOut.imageLength = oldEnd - start;
        expectRefused(chunkOut, FOTA_APPLY_OUTSIDE_IMAGE_AREA);
    }
    UpdateCase nowhere = good;
    nowhere.imageOffset = 0x400000;
    nowhere.imageLength = 0x10000;
    expectRefused(nowhere, FOTA_APPLY_OUTSIDE_IMAGE_AREA);
    // Unsigned, the same pack still applies: the area is the signed entry's check alone.
    UpdateCase plain = nowhere;
    plain.signature.clear();
    std::string failure;
    EXPECT_GT(quarnel::powercut::PowerCutRunner(plain).countOperations(failure), 0u) << failure;
}

TEST(DeviceSigned, MissingTrustIsABadArgument)
{
    const UpdateCase update = signedSample(16);
    NorFlashSim sim(update.flash, {{0, static_cast<uint32_t>(update.flash.size())}}, 16, 7);
    const FotaFlash callbacks = sim.callbacks();
    const FotaPackSource source = testsupport::packSourceOf(update.pack);
    Bytes work(FOTA_APPLY_SIGNED_WORK_SIZE);
    FotaTrust trust{update.publicKey.data(), update.signature.data(), static_cast<uint32_t>(update.signature.size()),
                    update.imageOffset, update.imageLength};
    EXPECT_EQ(FotaApplySignedPack(&callbacks, &source, nullptr, &update.spare, work.data(), work.size()),
              FOTA_APPLY_BAD_ARGUMENT);
    trust.publicKey = nullptr;
    EXPECT_EQ(FotaApplySignedPack(&callbacks, &source, &trust, &update.spare, work.data(), work.size()),
              FOTA_APPLY_BAD_ARGUMENT);
    trust.publicKey = update.publicKey.data();
    EXPECT_EQ(FotaApplySignedPack(&callbacks, &source, &trust, &update.spare, work.data(), 4095),
              FOTA_APPLY_WORK_TOO_SMALL);
    // The unsigned call's work memory lacks room for the digests.
    EXPECT_EQ(FotaApplySignedPack(&callbacks, &source, &trust, &update.spare, work.data(), FOTA_APPLY_WORK_SIZE),
              FOTA_APPLY_WORK_TOO_SMALL);
    EXPECT_EQ(sim.operations(), 0u);
}

namespace {

// Every progress report of a call, and how many came before the first flash read.
struct ProgressLog {
    FotaFlash inner{};
    std::vector<std::pair<uint32_t, uint32_t>> reports;
    size_t beforeFirstRead = 0;
    bool flashRead = false;

    static int read(void *context, uint32_t offset, void *out, uint32_t length)
    {
        ProgressLog &self = *static_cast<ProgressLog *>(context);
        if (!self.flashRead)
            self.beforeFirstRead = self.reports.size();
        self.flashRead = true;
        return self.inner.read(self.inner.context, offset, out, length);
    }
    static int erase(void *context, uint32_t offset, uint32_t length)
    {
        ProgressLog &self = *static_cast<ProgressLog *>(context);
        return self.inner.erase(self.inner.context, offset, length);
    }
    static int program(void *context, uint32_t offset, const void *data, uint32_t length)
    {
        ProgressLog &self = *static_cast<ProgressLog *>(context);
        return self.inner.program(self.inner.context, offset, data, length);
    }
    static void progress(void *context, uint32_t done, uint32_t total)
    {
        static_cast<ProgressLog *>(context)->reports.emplace_back(done, total);
    }
};

} // namespace

// The first pass, which hashes, checks and decodes the pack at once, is reported as it decodes, before the
// flash is read at all; the signed call reports the same total as an unsigned call of the pack, and done
// rises steadily to it.
TEST(DeviceSigned, ProgressOfTheFirstPassWithTheSameTotal)
{
    const UpdateCase update = signedSample(16);
    const FotaPackSource source = testsupport::packSourceOf(update.pack);
    const FotaTrust trust{update.publicKey.data(), update.signature.data(),
                          static_cast<uint32_t>(update.signature.size()), update.imageOffset, update.imageLength};
    Bytes work(FOTA_APPLY_SIGNED_WORK_SIZE);
    const uint32_t streamLength = testsupport::readLe32(&update.pack[28 + 5]);
    uint32_t totals[2] = {0, 0};
    for (const bool signedCall : {true, false}) {
        SCOPED_TRACE(signedCall ? "signed" : "unsigned");
        NorFlashSim sim(update.flash, {{0, static_cast<uint32_t>(update.flash.size())}}, 16, 7);
        ProgressLog log;
        log.inner = sim.callbacks();
        const FotaFlash flash{&log, ProgressLog::read, ProgressLog::erase, ProgressLog::program, ProgressLog::progress,
                              nullptr};
        const int result = signedCall
                               ? FotaApplySignedPack(&flash, &source, &trust, &update.spare, work.data(), work.size())
                               : FotaApplyPack(&flash, &source, &update.spare, work.data(), work.size());
        ASSERT_EQ(result, FOTA_APPLY_OK) << FotaApplyErrorMsg(result);
        ASSERT_FALSE(log.reports.empty());
        totals[signedCall ? 0 : 1] = log.reports.front().second;
        for (size_t i = 1; i < log.reports.size(); ++i) {
            EXPECT_GE(log.reports[i].first, log.reports[i - 1].first) << "report " << i;
            EXPECT_EQ(log.reports[i].second, log.reports.front().second) << "report " << i;
        }
        EXPECT_EQ(log.reports.back().first, log.reports.back().second);
        // The first pass is the total's first stream length: a report per 16 KiB decoded falls there.
        const size_t firstPass = static_cast<size_t>(
            std::count_if(log.reports.begin(), log.reports.begin() + static_cast<std::ptrdiff_t>(log.beforeFirstRead),
                          [&](const std::pair<uint32_t, uint32_t> &report) { return report.first <= streamLength; }));
        EXPECT_GE(firstPass, streamLength / 16384u);
    }
    EXPECT_EQ(totals[0], totals[1]);
}

#ifndef _WIN32
// A signature that openssl makes, with a key that openssl makes, is taken by the device.
TEST(DeviceSigned, TakesOpensslSignatures)
{
    testsupport::TempDir dir;
    const Bytes &pack = testsupport::sampleDevicePair().pack;
    testsupport::writeFile(dir.path("a.pack"), std::string(pack.begin(), pack.end()));
    for (const char *command : {"ecparam -name prime256v1 -genkey -out key.pem",
                                "dgst -sha256 -sign key.pem -out a.pack.sig a.pack"})
        ASSERT_EQ(testsupport::runTool("/usr/bin/openssl", dir.dir(), testsupport::words(command)).status, 0)
            << command;
    const Bytes keyText = testsupport::readFile(dir.path("key.pem"));
    signing::Key key;
    std::string error;
    ASSERT_TRUE(signing::parseKeyPem(std::string(keyText.begin(), keyText.end()), key, error)) << error;
    UpdateCase update = signedSample(16);
    update.publicKey.assign(key.point.begin(), key.point.end());
    update.signature = testsupport::readFile(dir.path("a.pack.sig"));
    EXPECT_EQ(applySignedOnce(update).result, FOTA_APPLY_OK);
    update.signature.back() ^= 0x01;
    expectRefused(update, FOTA_APPLY_BAD_SIGNATURE);
}
#endif
