#include <gtest/gtest.h>

#include "diff/patch_stream.h"

using namespace quarnel;

namespace {

PatchPtr makePatch(uint32_t newOffset, uint32_t oldOffset, std::vector<uint8_t> diff, std::vector<uint8_t> extra)
{
    auto patch = std::make_shared<Patch>();
    patch->newOffset = newOffset;
    patch->oldOffset = oldOffset;
    patch->diffBytes = std::move(diff);
    patch->extraBytes = std::move(extra);
    return patch;
}

} // namespace

TEST(PatchStream, EmptyChunkListIsACountOfZero)
{
    EXPECT_EQ(serializePatches({}, nullptr, 0x10000), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(PatchStream, WorkedExampleByteForByte)
{
    const std::vector<uint8_t> newImage = {0x61, 0x62, 0x63, 0x64, 0x65, 0x58, 0x67, 0x68,
                                           0x69, 0x6A, 0x6B, 0x6C, 0x57, 0x58, 0x59, 0x5A};
    const ChunkList chunks = {
        {makePatch(0, 0, {0, 0, 0, 0, 0, 0xF2, 0, 0}, {})},
        {makePatch(8, 8, {0, 0, 0, 0}, {0x57, 0x58, 0x59, 0x5A})},
    };
    const std::vector<uint8_t> expected = {
        0x02, 0x00, 0x00, 0x00,                         // chunk count
        0x00, 0x00, 0x01, 0x00, 0xA3, 0x3D, 0x38, 0xE5, // chunk 1: target, CRC
        0x01, 0x00, 0x00, 0x00,                         // one record
        0x00, 0x00, 0x01, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x08, 0x00, 0x01, 0x00, 0x0A, 0xDB, 0x21, 0x0A, // chunk 2: target, CRC
        0x01, 0x00, 0x00, 0x00,                         // one record
        0x08, 0x00, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0xF2, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // diff area
        0x57, 0x58, 0x59, 0x5A,                                                 // extra area
    };
    EXPECT_EQ(serializePatches(chunks, newImage.data(), 0x00010000), expected);
}

TEST(PatchStream, KeepsChunkOrderAndZeroLengthsAndWrapsOffsets)
{
    // A backward plan lists the higher chunk first; offsets wrap modulo 2^32.
    const std::vector<uint8_t> newImage(8, 0x11);
    const ChunkList chunks = {
        {makePatch(4, 0, {}, {0x11, 0x11, 0x11, 0x11})},
        {makePatch(0, 4, {0x22, 0x22}, {}), makePatch(2, 0, {0x33, 0x33}, {})},
    };
    const std::vector<uint8_t> stream = serializePatches(chunks, newImage.data(), 0xFFFFFFFE);
    ASSERT_EQ(stream.size(), 4u + 12 + 12 + 12 + 24 + 4 + 4);
    auto at = [&](size_t pos) {
        return uint32_t(stream[pos]) | uint32_t(stream[pos + 1]) << 8 | uint32_t(stream[pos + 2]) << 16 |
               uint32_t(stream[pos + 3]) << 24;
    };
    EXPECT_EQ(at(4), 0x00000002u);  // 0xFFFFFFFE + 4 wraps
    EXPECT_EQ(at(16), 0xFFFFFFFEu); // source of the first record
    EXPECT_EQ(at(20), 0u);          // D = 0 still written
    EXPECT_EQ(at(24), 4u);
    EXPECT_EQ(at(28), 0xFFFFFFFEu); // second chunk starts at image offset 0
    EXPECT_EQ(at(36), 2u);          // two records
    EXPECT_EQ(at(40), 0x00000002u);
    EXPECT_EQ(std::vector<uint8_t>(stream.end() - 8, stream.end()),
              (std::vector<uint8_t>{0x22, 0x22, 0x33, 0x33, 0x11, 0x11, 0x11, 0x11}));
}
