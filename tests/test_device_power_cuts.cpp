// The device applier under a power cut at every erase and program call, resumed each time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "packcheck/power_cuts.h"
#include "support/device_updates.h"
#include "support/sanitizer.h"
#include "support/split_mix.h"

using quarnel::powercut::CutMode;
using quarnel::powercut::PowerCutRunner;
using quarnel::powercut::sweepEveryCut;
using testsupport::DevicePair;

namespace {

// Under the sanitizers every run costs about twice as much: every other call keeps the suites in time.
constexpr uint64_t sweepStride = testsupport::underAddressSanitizer ? 2 : 1;
constexpr uint32_t programUnits[] = {1, 16, 256};

// Sweeps every cut at each program unit; prints what it tried and how long it took.
void expectEveryCutEndsWithTheNewImage(const DevicePair &pair, const char *name)
{
    for (const uint32_t unit : programUnits) {
        SCOPED_TRACE(::testing::Message() << name << ", program unit " << unit);
        const auto start = std::chrono::steady_clock::now();
        const quarnel::powercut::SweepResult sweep = sweepEveryCut(testsupport::deviceUpdateCase(pair, unit),
                                                                    sweepStride);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%s, program unit %u: %llu cut points over %llu calls, %.1f s\n", name, unit,
                    static_cast<unsigned long long>(sweep.cutPoints),
                    static_cast<unsigned long long>(sweep.operations), seconds);
        EXPECT_GT(sweep.operations, 4u * pair.chunkCount);
        EXPECT_TRUE(sweep.failures.empty()) << sweep.failures.size() << " failures, the first: "
                                            << (sweep.failures.empty() ? "" : sweep.failures.front());
    }
}

// Cuts the power once at each of points calls drawn at random over the update, each run resumed to the end.
void expectRandomCutsEndWithTheNewImage(const DevicePair &pair, const char *name, int points, uint64_t seed)
{
    const quarnel::powercut::UpdateCase update = testsupport::deviceUpdateCase(pair, 16);
    PowerCutRunner runner(update);
    std::string failure;
    const uint64_t operations = runner.countOperations(failure);
    ASSERT_GT(operations, 0u) << failure;
    testsupport::SplitMix random(seed);
    const auto start = std::chrono::steady_clock::now();
    for (int p = 0; p < points; ++p) {
        const quarnel::powercut::Cut cut{random.below(static_cast<uint32_t>(operations)),
                                         static_cast<CutMode>(p % 3)};
        const quarnel::powercut::CutOutcome outcome = runner.run({cut}, random.next());
        EXPECT_TRUE(outcome.ok) << "call " << cut.operation << " cut " << quarnel::powercut::cutModeName(cut.mode)
                                << ": " << outcome.failure;
    }
    std::printf("%s, %u chunks: %d random cut points of %llu calls, %.1f s\n", name, pair.chunkCount, points,
                static_cast<unsigned long long>(operations),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

} // namespace

TEST(DevicePowerCuts, SamplePairEveryCut)
{
    expectEveryCutEndsWithTheNewImage(testsupport::sampleDevicePair(), "sample pair");
}

TEST(DevicePowerCuts, BenchPairsEveryCutInBothWalkDirections)
{
    const DevicePair &up = testsupport::benchDevicePair(true);
    const DevicePair &down = testsupport::benchDevicePair(false);
    ASSERT_EQ(up.walk, quarnel::verify::Walk::backward);
    ASSERT_EQ(down.walk, quarnel::verify::Walk::forward);
    expectEveryCutEndsWithTheNewImage(up, "bench pair walked backward");
    expectEveryCutEndsWithTheNewImage(down, "bench pair walked forward");
}

// A cut, then cuts again during each resume, in every way, before the last call finishes.
TEST(DevicePowerCuts, RepeatedCutsDuringTheResumes)
{
    const DevicePair &pair = testsupport::sampleDevicePair();
    const CutMode modes[] = {CutMode::before, CutMode::torn, CutMode::after};
    for (const uint32_t unit : programUnits) {
        const quarnel::powercut::UpdateCase update = testsupport::deviceUpdateCase(pair, unit);
        PowerCutRunner runner(update);
        std::string failure;
        const uint64_t operations = runner.countOperations(failure);
        ASSERT_GT(operations, 0u) << failure;
        testsupport::SplitMix random(unit);
        const int sequences = testsupport::underAddressSanitizer ? 50 : 100;
        for (int s = 0; s < sequences; ++s) {
            // Two to four cuts, each early in its call so that the calls overlap the same steps again and again.
            std::vector<quarnel::powercut::Cut> cuts(2 + random.below(3));
            cuts[0] = {random.below(static_cast<uint32_t>(operations)), modes[random.below(3)]};
            for (size_t c = 1; c < cuts.size(); ++c)
                cuts[c] = {random.below(40), modes[random.below(3)]};
            const quarnel::powercut::CutOutcome outcome = runner.run(cuts, random.next());
            EXPECT_TRUE(outcome.ok) << "unit " << unit << ", sequence " << s << ": " << outcome.failure;
        }
    }
}

TEST(DevicePowerCuts, TwoMiBPairRandomCutPoints)
{
    expectRandomCutsEndWithTheNewImage(testsupport::twoMiBDevicePair(), "2 MiB pair",
                                       testsupport::underAddressSanitizer ? 20 : 40, 2);
}

// The largest image the fixed work memory is made for: the update within FOTA_APPLY_WORK_SIZE, and sampled cuts.
TEST(DevicePowerCuts, SixteenMiBPairWithinTheFixedWorkMemory)
{
    if (testsupport::underAddressSanitizer)
        GTEST_SKIP() << "building a 16 MiB pack under the sanitizers takes minutes; the 2 MiB pair runs there";
    const DevicePair &pair = testsupport::sixteenMiBDevicePair();
    const FotaPackSource pack = testsupport::packSourceOf(pair.pack);
    ASSERT_EQ(FotaApplyWorkSize(&pack), size_t{FOTA_APPLY_WORK_SIZE});
    expectRandomCutsEndWithTheNewImage(pair, "16 MiB pair", 6, 16);
}
