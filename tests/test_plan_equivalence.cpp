#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "diff/patch_stream.h"
#include "pack/pack_builder.h"
#include "pack/planner.h"
#include "quarnel.h"
#include "reference/planner_reference.h"
#include "support/test_files.h"

using namespace quarnel;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t sector = 4096;

Bytes sectorRounded(Bytes image, uint8_t fill)
{
    image.resize((image.size() + sector - 1) / sector * sector, fill);
    if (image.empty())
        image.resize(sector, fill);
    return image;
}

// The next version of an image: blocks inserted and removed (content moving up
// or down), scattered byte edits, and a changed length.
Bytes nextVersion(const Bytes &old, std::mt19937 &rng, bool moveUp, int32_t growth)
{
    Bytes next = old;
    for (int k = 0; k < 4; k++) {
        const size_t at = rng() % next.size();
        const size_t length = 64 + rng() % 3000;
        if (moveUp) {
            const Bytes block = testsupport::firmwareLikeBytes(uint32_t(length), uint32_t(rng()));
            next.insert(next.begin() + at, block.begin(), block.end());
        } else {
            next.erase(next.begin() + at, next.begin() + std::min(next.size(), at + length));
        }
    }
    for (int k = 0; k < 40 && !next.empty(); k++)
        next[rng() % next.size()] = uint8_t(rng());
    const int64_t size = std::max<int64_t>(sector, int64_t(old.size()) + growth);
    next.resize(size_t(size), 0xFF);
    return sectorRounded(next, 0xFF);
}

struct Plans {
    UpdatePlan fast;
    UpdatePlan reference;
};

Plans planBoth(const Bytes &oldImage, const Bytes &newImage, uint32_t newStart)
{
    const size_t working = std::max(oldImage.size(), newImage.size());
    Bytes fastWorking(working, 0);
    std::copy(oldImage.begin(), oldImage.end(), fastWorking.begin());
    Bytes referenceWorking = fastWorking;
    Plans plans;
    plans.fast = planUpdate(fastWorking.data(), uint32_t(oldImage.size()), newImage.data(), uint32_t(newImage.size()),
                            newStart);
    plans.reference = planUpdateReference(referenceWorking.data(), uint32_t(oldImage.size()), newImage.data(),
                                          uint32_t(newImage.size()), newStart);
    EXPECT_EQ(fastWorking, referenceWorking);
    return plans;
}

// The serialized chunks of both plans must agree byte for byte, and so must the
// direction records. Returns whether the walk went forward.
bool expectSamePlans(const Bytes &oldImage, const Bytes &newImage, uint32_t newStart, const char *what)
{
    const Plans plans = planBoth(oldImage, newImage, newStart);
    const bool forward = plans.fast.chunks.size() > 1 && plans.fast.chunks.front().front()->newOffset == 0;
    const Bytes fastStream = serializePatches(plans.fast.chunks, newImage.data(), newStart);
    const Bytes referenceStream = serializePatches(plans.reference.chunks, newImage.data(), newStart);
    EXPECT_EQ(fastStream.size(), referenceStream.size()) << what;
    const size_t common = std::min(fastStream.size(), referenceStream.size());
    const auto mismatch = std::mismatch(fastStream.begin(), fastStream.begin() + common, referenceStream.begin());
    EXPECT_TRUE(mismatch.first == fastStream.begin() + common)
        << what << ": streams differ at byte " << (mismatch.first - fastStream.begin());

    EXPECT_EQ(plans.fast.directionPatches.size(), plans.reference.directionPatches.size()) << what;
    for (size_t i = 0; i < std::min(plans.fast.directionPatches.size(), plans.reference.directionPatches.size()); i++) {
        const Patch &a = *plans.fast.directionPatches[i];
        const Patch &b = *plans.reference.directionPatches[i];
        EXPECT_TRUE(a.newOffset == b.newOffset && a.oldOffset == b.oldOffset && a.diffBytes == b.diffBytes &&
                    a.extraBytes == b.extraBytes)
            << what << ": direction record " << i;
    }
    return forward;
}

} // namespace

TEST(PlanEquivalence, GeneratedPairsGiveTheSameStreams)
{
    std::mt19937 rng(314);
    const uint32_t sizes[] = {4096, 16384, 65536, 139264};
    const uint32_t starts[] = {0x10000, 0x3000, 0x18000};
    const int32_t growths[] = {0, 8192, -8192, 40960};
    int pairs = 0;
    int forward = 0;
    for (const uint32_t size : sizes) {
        for (const uint32_t newStart : starts) {
            for (const int32_t growth : growths) {
                const Bytes oldImage = testsupport::firmwareLikeBytes(size, uint32_t(rng()));
                const bool moveUp = pairs % 2 == 0;
                const Bytes newImage = nextVersion(oldImage, rng, moveUp, growth);
                SCOPED_TRACE(testing::Message() << "old " << size << " new " << newImage.size() << " start 0x"
                                                << std::hex << newStart << (moveUp ? " up" : " down"));
                forward += expectSamePlans(oldImage, newImage, newStart, "generated pair");
                pairs++;
            }
        }
    }
    // Both walk directions were compared.
    EXPECT_GT(forward, 4);
    EXPECT_LT(forward, pairs - 4);
}

TEST(PlanEquivalence, RunsOfErasedAndZeroBytes)
{
    std::mt19937 rng(5);
    const uint32_t size = 98304;
    Bytes oldImage = testsupport::firmwareLikeBytes(size, 8);
    // A long erased tail and a zero-filled middle, as padded firmware has.
    std::fill(oldImage.begin() + 60000, oldImage.end(), 0xFF);
    std::fill(oldImage.begin() + 20000, oldImage.begin() + 36000, 0x00);

    Bytes grown = nextVersion(oldImage, rng, true, 32768);
    std::fill(grown.begin() + 90000, grown.begin() + 120000, 0x00);
    expectSamePlans(oldImage, grown, 0x10000, "grown into the erased tail");

    Bytes shrunk = nextVersion(oldImage, rng, false, -32768);
    std::fill(shrunk.begin(), shrunk.begin() + 20000, 0xFF);
    expectSamePlans(oldImage, shrunk, 0x3000, "shrunk, erased start");

    expectSamePlans(Bytes(size, 0xFF), Bytes(size, 0x00), 0x10000, "erased to zero");
    expectSamePlans(Bytes(size, 0x00), sectorRounded(Bytes(size / 2, 0x00), 0x00), 0x8000, "zero to shorter zero");
}

TEST(PlanEquivalence, IdenticalAndUnrelatedImages)
{
    const Bytes image = testsupport::firmwareLikeBytes(131072, 40);
    expectSamePlans(image, image, 0x10000, "identical");
    expectSamePlans(image, testsupport::firmwareLikeBytes(131072, 41), 0x10000, "unrelated");
    expectSamePlans(image, testsupport::firmwareLikeBytes(8192, 42), 0x1000, "small unrelated");
}

TEST(PlanEquivalence, FirmwarePairPacksAreByteIdentical)
{
    std::mt19937 rng(77);
    for (const bool moveUp : {true, false}) {
        const Bytes oldImage = testsupport::firmwareLikeBytes(262144, moveUp ? 1 : 2);
        const Bytes newImage = nextVersion(oldImage, rng, moveUp, moveUp ? 16384 : -16384);
        std::vector<uint8_t> fastPack;
        std::vector<uint8_t> referencePack;
        uint32_t fastCrc = 0;
        uint32_t referenceCrc = 1;
        ASSERT_EQ(buildPackBytes(oldImage, newImage, 0x10000, 0x10000, planUpdate, fastPack, fastCrc), FOTA_OK);
        ASSERT_EQ(buildPackBytes(oldImage, newImage, 0x10000, 0x10000, planUpdateReference, referencePack,
                                 referenceCrc),
                  0);
        EXPECT_EQ(fastCrc, referenceCrc);
        ASSERT_EQ(fastPack.size(), referencePack.size());
        EXPECT_TRUE(fastPack == referencePack) << (moveUp ? "content moving up" : "content moving down");
    }
}
