#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>

#include "pack/planner.h"
#include "support/patch_check.h"
#include "support/test_files.h"

using namespace quarnel;

namespace {

using Layout = std::vector<std::pair<uint32_t, uint32_t>>; // chunk start and length, in plan order

std::vector<uint8_t> randomBytes(uint32_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(size);
    for (auto &b : bytes)
        b = uint8_t(rng());
    return bytes;
}

// Plans old -> new and checks every chunk's records against the working
// image as the chunks before it left it; returns the chunk layout.
Layout planAndCheck(const std::vector<uint8_t> &oldImage, const std::vector<uint8_t> &newImage, uint32_t newStart)
{
    const uint32_t oldSize = uint32_t(oldImage.size()), newSize = uint32_t(newImage.size());
    std::vector<uint8_t> working(std::max(oldSize, newSize), 0);
    std::memcpy(working.data(), oldImage.data(), oldSize);
    std::vector<uint8_t> model = working;

    const UpdatePlan plan = planUpdate(working.data(), oldSize, newImage.data(), newSize, newStart);

    Layout layout;
    for (const PatchList &chunk : plan.chunks) {
        if (chunk.empty()) {
            ADD_FAILURE() << "empty chunk";
            return layout;
        }
        const uint32_t start = chunk.front()->newOffset;
        uint32_t length = 0;
        for (const PatchPtr &patch : chunk)
            length += uint32_t(patch->diffBytes.size() + patch->extraBytes.size());
        EXPECT_TRUE(testsupport::checkPatchList(chunk, model.data(), oldSize, newImage.data() + start, length, start))
            << "chunk at 0x" << std::hex << start;
        std::memcpy(model.data() + start, newImage.data() + start, length);
        layout.emplace_back(start, length);
    }
    EXPECT_TRUE(std::equal(newImage.begin(), newImage.end(), working.begin())) << "working image is not the new image";
    return layout;
}

} // namespace

TEST(Planner, ChunkLengthFollowsFlashAlignment)
{
    EXPECT_EQ(chunkLength(0x10000, 0x10000), 0x10000u);
    EXPECT_EQ(chunkLength(0x10000, 0xF000), 0x8000u);
    EXPECT_EQ(chunkLength(0x18000, 0x20000), 0x8000u);
    EXPECT_EQ(chunkLength(0x18000, 0x7000), 0x1000u);
    EXPECT_EQ(chunkLength(0x3000, 0x20000), 0x1000u);
    EXPECT_EQ(chunkLength(0, 0x1000), 0x1000u);
}

TEST(Planner, DirectionSumsCountOnlyMovedDifferenceBytes)
{
    auto patch = [](uint32_t newOffset, uint32_t oldOffset, size_t d, size_t e) {
        auto p = std::make_shared<Patch>();
        p->newOffset = newOffset;
        p->oldOffset = oldOffset;
        p->diffBytes.resize(d);
        p->extraBytes.resize(e);
        return p;
    };
    const PatchList list = {patch(0, 0, 100, 5), patch(105, 10, 7, 50), patch(162, 0x9000, 30, 0)};
    EXPECT_EQ(diffBytesMovingUp(list), 7);
    EXPECT_EQ(diffBytesMovingDown(list), 30);
}

TEST(Planner, UnalignedBaseCutsSmallThenLargeChunks)
{
    // A code area at 0x3000: 4 KiB chunks up to 0x8000 from the flash base, then 32 and 64 KiB ones.
    const Layout ascending = {{0x0000, 0x1000}, {0x1000, 0x1000}, {0x2000, 0x1000}, {0x3000, 0x1000},
                              {0x4000, 0x1000}, {0x5000, 0x8000}, {0xD000, 0x10000}, {0x1D000, 0x1000},
                              {0x1E000, 0x1000}, {0x1F000, 0x1000}};
    const std::vector<uint8_t> old = randomBytes(0x20000, 1);

    // Content moved 4 KiB down: forward walk.
    std::vector<uint8_t> movedDown(old.begin() + 0x1000, old.end());
    const auto tail = randomBytes(0x1000, 2);
    movedDown.insert(movedDown.end(), tail.begin(), tail.end());
    EXPECT_EQ(planAndCheck(old, movedDown, 0x3000), ascending);

    // Identical images tie at zero and walk backward, still listing every chunk.
    const Layout backward = {{0x1F000, 0x1000}, {0x1E000, 0x1000}, {0x1D000, 0x1000}, {0xD000, 0x10000},
                             {0x5000, 0x8000},  {0x4000, 0x1000},  {0x3000, 0x1000},  {0x2000, 0x1000},
                             {0x1000, 0x1000},  {0x0000, 0x1000}};
    EXPECT_EQ(planAndCheck(old, old, 0x3000), backward);
}

TEST(Planner, AlignedBaseWalksBothWays)
{
    const std::vector<uint8_t> old = randomBytes(0x18000, 3);
    std::vector<uint8_t> movedDown(old.begin() + 0x4000, old.end());
    const auto tail = randomBytes(0x4000, 4);
    movedDown.insert(movedDown.end(), tail.begin(), tail.end());
    EXPECT_EQ(planAndCheck(old, movedDown, 0), (Layout{{0x0000, 0x10000}, {0x10000, 0x8000}}));

    std::vector<uint8_t> movedUp = randomBytes(0x4000, 5);
    movedUp.insert(movedUp.end(), old.begin(), old.end() - 0x4000);
    EXPECT_EQ(planAndCheck(old, movedUp, 0), (Layout{{0x10000, 0x8000}, {0x0000, 0x10000}}));
}

TEST(Planner, IdenticalChunkUnchangedInPlaceIsOneZeroRecord)
{
    const std::vector<uint8_t> old = randomBytes(0x20000, 6);
    std::vector<uint8_t> working = old;
    const UpdatePlan plan = planUpdate(working.data(), uint32_t(old.size()), old.data(), uint32_t(old.size()), 0x10000);
    ASSERT_EQ(plan.chunks.size(), 2u);
    for (const PatchList &chunk : plan.chunks) {
        ASSERT_EQ(chunk.size(), 1u);
        EXPECT_EQ(chunk[0]->oldOffset, chunk[0]->newOffset);
        EXPECT_TRUE(chunk[0]->extraBytes.empty());
        EXPECT_EQ(std::count(chunk[0]->diffBytes.begin(), chunk[0]->diffBytes.end(), 0), 0x10000);
    }
}

TEST(Planner, GrowingAndShrinkingImagesReplayInPlace)
{
    // Firmware-like pairs of many shapes; every chunk must rebuild from the working image.
    for (uint32_t seed = 0; seed < 12; ++seed) {
        const uint32_t oldSize = 0x1000 * (1 + seed % 5) * 4;
        const std::vector<uint8_t> old = testsupport::firmwareLikeBytes(oldSize, seed);
        std::vector<uint8_t> next;
        switch (seed % 4) {
        case 0: // twice the size: chunks beyond the old size see only the old size
            next = old;
            next.insert(next.end(), old.rbegin(), old.rend());
            break;
        case 1: // shrunk by a sector, content moved down
            next.assign(old.begin() + 0x1000, old.end());
            break;
        case 2: { // an insertion moves the rest up, the tail grows
            next = testsupport::firmwareLikeBytes(0x800, seed + 100);
            next.insert(next.end(), old.begin(), old.end());
            next.resize(oldSize + 0x1000, 0xFF);
            break;
        }
        default: // scattered edits in place
            next = old;
            for (uint32_t i = 7; i < oldSize; i += 997)
                next[i] ^= 0x5A;
        }
        SCOPED_TRACE("seed " + std::to_string(seed));
        const Layout layout = planAndCheck(old, next, 0x10000 + 0x1000 * (seed % 3));
        uint32_t covered = 0;
        for (const auto &chunk : layout)
            covered += chunk.second;
        EXPECT_EQ(covered, next.size());
    }
}
