// What the device applier tells its caller: FotaApplyQuery, the progress callback, a finished update found
// without its records, and program calls that report success but write nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <string>

#include "packcheck/nor_flash_sim.h"
#include "packcheck/power_cuts.h"
#include "support/device_updates.h"
#include "support/pack_replay.h"

using quarnel::powercut::CutMode;
using quarnel::powercut::NorFlashSim;
using quarnel::powercut::UpdateCase;
using testsupport::Bytes;

extern "C" int deviceQueryFromHeaderAlone(const uint8_t *packBytes, uint32_t packSize, uint8_t *flashBytes,
                                          uint32_t flashSize, const FotaSpareArea *spare, const uint8_t *newImage,
                                          uint32_t newStart, uint32_t newSize, char *failure, size_t failureSize);

namespace {

constexpr uint32_t noCall = UINT32_MAX;

// The model's callbacks seen from the applier's side: every progress report, the programming and erasing
// between two reports, and one program call that may report success and write nothing.
struct Watch {
    FotaFlash inner{};
    uint32_t silentProgram = noCall; // the program call, counted from 0, that writes nothing
    uint32_t programCalls = 0;
    uint32_t lastSilent = noCall;
    std::vector<uint32_t> programOffsets;
    std::vector<std::pair<uint32_t, uint32_t>> reports;
    uint64_t programmedSinceReport = 0;
    uint64_t mostProgrammedUnreported = 0;
    uint32_t erasesSinceReport = 0;
    uint32_t mostErasesUnreported = 0;
    uint32_t programsBeforeFirstRead = 0;
    size_t reportsBeforeFirstRead = 0;
    bool flashRead = false;

    FotaFlash callbacks(bool withProgress = true)
    {
        FotaFlash flash{this, read, erase, program, withProgress ? progress : nullptr, nullptr};
        return flash;
    }

    static int read(void *context, uint32_t offset, void *out, uint32_t length)
    {
        Watch &self = *static_cast<Watch *>(context);
        if (!self.flashRead)
            self.reportsBeforeFirstRead = self.reports.size();
        self.flashRead = true;
        return self.inner.read(self.inner.context, offset, out, length);
    }
    static int erase(void *context, uint32_t offset, uint32_t length)
    {
        Watch &self = *static_cast<Watch *>(context);
        self.erasesSinceReport += 1;
        self.mostErasesUnreported = std::max(self.mostErasesUnreported, self.erasesSinceReport);
        return self.inner.erase(self.inner.context, offset, length);
    }
    static int program(void *context, uint32_t offset, const void *data, uint32_t length)
    {
        Watch &self = *static_cast<Watch *>(context);
        self.programmedSinceReport += length;
        self.programOffsets.push_back(offset);
        self.mostProgrammedUnreported = std::max(self.mostProgrammedUnreported, self.programmedSinceReport);
        if (self.programCalls++ == self.silentProgram) {
            self.lastSilent = offset;
            return 0;
        }
        return self.inner.program(self.inner.context, offset, data, length);
    }
    static void progress(void *context, uint32_t done, uint32_t total)
    {
        Watch &self = *static_cast<Watch *>(context);
        self.reports.emplace_back(done, total);
        self.programmedSinceReport = 0;
        self.erasesSinceReport = 0;
    }

    void newCall()
    {
        programCalls = 0;
        programOffsets.clear();
        reports.clear();
        programmedSinceReport = mostProgrammedUnreported = 0;
        erasesSinceReport = mostErasesUnreported = 0;
        flashRead = false;
        reportsBeforeFirstRead = 0;
    }
};

const UpdateCase &sampleUpdate()
{
    static const UpdateCase update = testsupport::deviceUpdateCase(testsupport::sampleDevicePair(), 16);
    return update;
}

NorFlashSim simOf(const UpdateCase &update, const Bytes &flash)
{
    return NorFlashSim(flash, {{0, static_cast<uint32_t>(flash.size())}}, update.spare.programUnit, 5,
                       norPastErasedAsRead);
}

int apply(Watch &watch, const UpdateCase &update, bool withProgress = true)
{
    const FotaFlash flash = watch.callbacks(withProgress);
    const FotaPackSource pack = testsupport::packSourceOf(update.pack);
    // Outlives the call: a power cut jumps out of it past every destructor.
    static Bytes work(FOTA_APPLY_WORK_SIZE);
    std::fill(work.begin(), work.end(), uint8_t{0x5A});
    watch.newCall();
    return FotaApplyPack(&flash, &pack, &update.spare, work.data(), work.size());
}

// The documented total, from the pack's headers: the old image, and five passes of the stream (the first
// pass, and four over the chunks' bytes).
uint32_t expectedTotal(const Bytes &pack)
{
    const uint64_t total = testsupport::readLe32(&pack[16]) + 5u * uint64_t{testsupport::readLe32(&pack[28 + 5])};
    EXPECT_LE(total, UINT32_MAX);
    return static_cast<uint32_t>(total);
}

// Every report of one call: done never falls, never passes total, and total is the pack's.
void expectSteadyReports(const Watch &watch, uint32_t total, const std::string &call)
{
    SCOPED_TRACE(call);
    ASSERT_FALSE(watch.reports.empty());
    for (size_t i = 0; i < watch.reports.size(); ++i) {
        EXPECT_EQ(watch.reports[i].second, total) << "report " << i;
        EXPECT_LE(watch.reports[i].first, total) << "report " << i;
        if (i > 0) {
            EXPECT_GE(watch.reports[i].first, watch.reports[i - 1].first) << "report " << i;
        }
    }
    EXPECT_LE(watch.mostProgrammedUnreported, 4096u);
    EXPECT_LE(watch.mostErasesUnreported, 1u);
}

} // namespace

TEST(DeviceQuery, FromTheHeaderAloneThroughCutsAndAFinishedUpdate)
{
    for (const uint32_t unit : {16u, 256u}) {
        SCOPED_TRACE(::testing::Message() << "program unit " << unit);
        UpdateCase update = testsupport::deviceUpdateCase(testsupport::sampleDevicePair(), unit);
        char failure[256];
        const int failures = deviceQueryFromHeaderAlone(
            update.pack.data(), static_cast<uint32_t>(update.pack.size()), update.flash.data(),
            static_cast<uint32_t>(update.flash.size()), &update.spare, update.newImage.data(), update.newStart,
            static_cast<uint32_t>(update.newImage.size()), failure, sizeof failure);
        EXPECT_EQ(failures, 0) << failure;
    }
}

// A pack or spare area FotaApplyPack refuses whatever the flash holds is refused by the query with its code.
TEST(DeviceQuery, RefusesWhatTheApplierRefuses)
{
    const UpdateCase &update = sampleUpdate();
    Watch watch;
    NorFlashSim sim = simOf(update, update.flash);
    watch.inner = sim.callbacks();
    const FotaFlash flash = watch.callbacks();
    Bytes work(FOTA_APPLY_WORK_SIZE);
    FotaApplyStatus status{};
    Bytes damaged = update.pack;
    damaged[damaged.size() / 2] ^= 0x08;
    FotaPackSource pack = testsupport::packSourceOf(damaged);
    EXPECT_EQ(FotaApplyQuery(&flash, &pack, &update.spare, work.data(), work.size(), &status),
              FOTA_APPLY_BAD_DATA_CRC);
    EXPECT_EQ(status.state, FOTA_STATE_NOT_APPLICABLE);
    pack = testsupport::packSourceOf(update.pack);
    FotaSpareArea overlapping = update.spare;
    overlapping.stateOffset = overlapping.scratchOffset;
    EXPECT_EQ(FotaApplyQuery(&flash, &pack, &overlapping, work.data(), work.size(), &status),
              FOTA_APPLY_BAD_SPARE_AREA);
    FotaSpareArea small = update.spare;
    small.programUnit = 256;
    EXPECT_EQ(FotaApplyQuery(&flash, &pack, &small, work.data(), work.size(), &status), FOTA_APPLY_STATE_TOO_SMALL);
    EXPECT_EQ(sim.operations(), 0u);
    EXPECT_TRUE(sim.violations().empty());
}

TEST(DeviceProgress, ReportedThroughEveryStepWithOneTotal)
{
    const UpdateCase &update = sampleUpdate();
    const uint32_t total = expectedTotal(update.pack);
    Watch watch;
    NorFlashSim sim = simOf(update, update.flash);
    watch.inner = sim.callbacks();
    ASSERT_EQ(apply(watch, update), FOTA_APPLY_OK);
    expectSteadyReports(watch, total, "the update");
    EXPECT_EQ(watch.reports.back().first, total);
    // At least one report per 4 KiB programmed and per erase, which the watch checks between reports.
    const uint64_t writes = sim.operations();
    std::printf("sample update: %zu progress reports over %llu erase and program calls, total %u\n",
                watch.reports.size(), static_cast<unsigned long long>(writes), total);
    EXPECT_GE(watch.reports.size(), writes);

    // Found done: the checking pass decodes the whole stream, so one report per 64 KiB of it at least.
    ASSERT_EQ(apply(watch, update), FOTA_APPLY_OK);
    expectSteadyReports(watch, total, "the call that finds it done");
    EXPECT_GE(watch.reportsBeforeFirstRead, testsupport::readLe32(&update.pack[28 + 5]) / 65536u);
    EXPECT_EQ(watch.reports.back().first, total);
    std::printf("a call that finds the update done: %zu progress reports\n", watch.reports.size());

    // Without the callback the applier does exactly the same.
    Watch quiet;
    NorFlashSim quietSim = simOf(update, update.flash);
    quiet.inner = quietSim.callbacks();
    ASSERT_EQ(apply(quiet, update, false), FOTA_APPLY_OK);
    EXPECT_TRUE(quiet.reports.empty());
    EXPECT_EQ(quietSim.operations(), writes);
    EXPECT_EQ(quietSim.bytes(), sim.bytes());
}

// Calls cut short and their resumes each report the pack's one total, and steadily.
TEST(DeviceProgress, SteadyThroughCutsAndResumes)
{
    const UpdateCase &update = sampleUpdate();
    const uint32_t total = expectedTotal(update.pack);
    Watch counting;
    NorFlashSim uncut = simOf(update, update.flash);
    counting.inner = uncut.callbacks();
    ASSERT_EQ(apply(counting, update), FOTA_APPLY_OK);
    const uint64_t writes = uncut.operations();
    for (uint64_t cutAt = 1; cutAt < writes; cutAt += writes / 9) {
        SCOPED_TRACE(::testing::Message() << "cut at " << cutAt);
        Watch watch;
        NorFlashSim sim = simOf(update, update.flash);
        watch.inner = sim.callbacks();
        std::jmp_buf cut;
        sim.armCut(&cut, cutAt, CutMode::torn);
        if (setjmp(cut) == 0) {
            apply(watch, update);
            FAIL() << "returned before the cut";
        }
        expectSteadyReports(watch, total, "the call cut short");
        EXPECT_LT(watch.reports.back().first, total);
        sim.disarm();
        ASSERT_EQ(apply(watch, update), FOTA_APPLY_OK);
        expectSteadyReports(watch, total, "the resume");
        EXPECT_EQ(watch.reports.back().first, total);
        EXPECT_TRUE(std::equal(update.newImage.begin(), update.newImage.end(), sim.bytes().begin() + update.newStart));
    }
}

// The records erased after the update, or overwritten by another tool: only this pack's identity says that
// an update is over, so the call is refused with nothing written, whatever the units hold, and so is a pack
// whose chunks' checksums hold in flash but whose old image is not there.
TEST(DeviceApply, FinishedUpdateWithoutItsRecordsIsNotTakenForFinished)
{
    const UpdateCase &update = sampleUpdate();
    Watch watch;
    NorFlashSim sim = simOf(update, update.flash);
    watch.inner = sim.callbacks();
    ASSERT_EQ(apply(watch, update), FOTA_APPLY_OK);
    const Bytes updated = sim.bytes();
    for (const uint8_t fill : {uint8_t{0xFF}, uint8_t{0x00}, uint8_t{0x3C}}) {
        SCOPED_TRACE(::testing::Message() << "state area filled with " << int{fill});
        Bytes cleared = updated;
        std::fill(cleared.begin() + update.spare.stateOffset,
                  cleared.begin() + update.spare.stateOffset + update.spare.stateLength, fill);
        NorFlashSim after = simOf(update, cleared);
        Watch again;
        again.inner = after.callbacks();
        EXPECT_EQ(apply(again, update), FOTA_APPLY_OLD_IMAGE_MISMATCH);
        EXPECT_EQ(after.operations(), 0u);
        EXPECT_EQ(after.bytes(), cleared);
        const FotaFlash flash = again.callbacks();
        const FotaPackSource pack = testsupport::packSourceOf(update.pack);
        Bytes work(FOTA_APPLY_WORK_SIZE);
        FotaApplyStatus status{};
        EXPECT_EQ(FotaApplyQuery(&flash, &pack, &update.spare, work.data(), work.size(), &status), FOTA_APPLY_OK);
        EXPECT_EQ(status.state, FOTA_STATE_NOT_APPLICABLE);
    }
}

// Each program call of an update in turn reports success and writes nothing: a record or identity left
// unwritten fails the call at once with 16, a scratch or unit block at its checksum; either way the next
// call, on working flash, finishes the update within the flash rules.
TEST(DeviceApply, SilentlyFailedProgramIsReportedAndTheNextCallFinishes)
{
    const UpdateCase &update = sampleUpdate();
    Watch counting;
    NorFlashSim uncut = simOf(update, update.flash);
    counting.inner = uncut.callbacks();
    ASSERT_EQ(apply(counting, update), FOTA_APPLY_OK);
    const std::vector<uint32_t> offsets = counting.programOffsets;
    const uint32_t programs = counting.programCalls;
    int recordsTried = 0;
    for (uint32_t silent = 0; silent < programs; ++silent) {
        const bool record = offsets[silent] >= update.spare.stateOffset;
        // Every record, and one scratch or unit block in eight: each of those fails the same way.
        if (!record && silent % 8 != 3)
            continue;
        SCOPED_TRACE(::testing::Message() << "program call " << silent << " of " << programs << " writes nothing");
        Watch watch;
        NorFlashSim sim = simOf(update, update.flash);
        watch.inner = sim.callbacks();
        watch.silentProgram = silent;
        const int result = apply(watch, update);
        ASSERT_EQ(watch.lastSilent, offsets[silent]);
        if (record) {
            ++recordsTried;
            EXPECT_EQ(result, FOTA_APPLY_FLASH_PROGRAM_FAILED) << FotaApplyErrorMsg(result);
            // Nothing after the slot that did not take.
            EXPECT_EQ(watch.programCalls, silent + 1);
        } else {
            EXPECT_TRUE(result == FOTA_APPLY_CHUNK_CRC_MISMATCH || result == FOTA_APPLY_TARGET_MISMATCH)
                << FotaApplyErrorMsg(result);
        }
        watch.silentProgram = noCall;
        EXPECT_EQ(apply(watch, update), FOTA_APPLY_OK);
        EXPECT_TRUE(sim.violations().empty()) << sim.violations().front();
        EXPECT_TRUE(std::equal(update.newImage.begin(), update.newImage.end(), sim.bytes().begin() + update.newStart));
    }
    EXPECT_EQ(recordsTried, static_cast<int>(1 + 2 * testsupport::sampleDevicePair().chunkCount));
}
