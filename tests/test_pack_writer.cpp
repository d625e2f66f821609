#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/crc32.h"
#include "container/lzma_adapter.h"
#include "container/pack_header.h"
#include "diff/patch_stream.h"
#include "pack/pack_writer.h"
#include "pack/planner.h"
#include "quarnel.h"
#include "support/pack_replay.h"
#include "support/test_files.h"

using namespace quarnel;

namespace {

using Bytes = std::vector<uint8_t>;

// Off a 32 KiB boundary, so that the images are cut into nine chunks of all three sizes.
constexpr uint32_t codeBase = 0x3000;
constexpr CodeArea area = {0x08000000, codeBase, 0x20000};

// Old firmware and its next version: code moved down, a block inserted, the tail erased.
const Bytes &oldImage()
{
    static const Bytes image = testsupport::firmwareLikeBytes(0xC000, 31);
    return image;
}

const Bytes &newImage()
{
    static const Bytes image = [] {
        Bytes next(oldImage().begin() + 0x2000, oldImage().end());
        const Bytes fresh = testsupport::firmwareLikeBytes(0x6000, 32);
        next.insert(next.begin() + 0x3000, fresh.begin(), fresh.end());
        next.resize(0x10000, 0xFF);
        return next;
    }();
    return image;
}

ChunkList planChunks()
{
    Bytes working(std::max(oldImage().size(), newImage().size()));
    std::copy(oldImage().begin(), oldImage().end(), working.begin());
    return planUpdate(working.data(), uint32_t(oldImage().size()), newImage().data(), uint32_t(newImage().size()),
                      codeBase)
        .chunks;
}

// The LZMA block of a stream, as the pipeline compresses it.
Bytes compress(const Bytes &stream)
{
    Bytes block;
    EXPECT_EQ(compressPatchStream(stream.data(), int32_t(stream.size()), block), FOTA_OK);
    return block;
}

Bytes packOf(const Bytes &block)
{
    return buildPack(codeBase, uint32_t(oldImage().size()), packCrc32(oldImage().data(), uint32_t(oldImage().size())),
                     block.data(), uint32_t(block.size()));
}

Bytes packOf(const ChunkList &chunks)
{
    return packOf(compress(serializePatches(chunks, newImage().data(), codeBase)));
}

// A folder with a previous pack in it; the proof decides whether it is replaced.
class ProvenPack : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    const std::string path = dir.path("out.pack");
    const std::string previous = "the pack of the last release";

    void SetUp() override { testsupport::writeFile(path, previous); }

    int write(const Bytes &pack) { return writeProvenPack(path.c_str(), pack, area, oldImage(), newImage()); }

    // The previous pack is still there, unchanged, and nothing else was left beside it.
    ::testing::AssertionResult untouched()
    {
        const Bytes now = testsupport::readFile(path);
        if (std::string(now.begin(), now.end()) != previous)
            return ::testing::AssertionFailure() << "the previous pack was replaced";
        const auto entries = std::distance(std::filesystem::directory_iterator(dir.dir()), {});
        if (entries != 1)
            return ::testing::AssertionFailure() << entries << " files in the folder";
        return ::testing::AssertionSuccess();
    }
};

} // namespace

TEST_F(ProvenPack, SoundPackIsWrittenOverThePreviousOne)
{
    const Bytes pack = packOf(planChunks());
    ASSERT_EQ(write(pack), FOTA_OK);
    EXPECT_EQ(testsupport::readFile(path), pack);
    EXPECT_TRUE(testsupport::replayPackFile(pack, oldImage(), codeBase, newImage()));
}

TEST_F(ProvenPack, DoctoredChunkListIsRefusedWithTwenty)
{
    // One difference byte off: the chunk still has its place and length, but not its CRC.
    ChunkList chunks = planChunks();
    bool doctored = false;
    for (PatchList &chunk : chunks)
        for (PatchPtr &patch : chunk)
            if (!doctored && !patch->diffBytes.empty()) {
                patch->diffBytes[patch->diffBytes.size() / 2] ^= 0x10;
                doctored = true;
            }
    ASSERT_TRUE(doctored);
    EXPECT_EQ(write(packOf(chunks)), FOTA_UPGRADE_FAILED);
    EXPECT_TRUE(untouched());

    // Records that read past the old image.
    chunks = planChunks();
    for (PatchList &chunk : chunks)
        for (PatchPtr &patch : chunk)
            if (!patch->diffBytes.empty())
                patch->oldOffset = uint32_t(oldImage().size());
    EXPECT_EQ(write(packOf(chunks)), FOTA_UPGRADE_FAILED);
    EXPECT_TRUE(untouched());
}

TEST_F(ProvenPack, MissingChunkIsRefused)
{
    const ChunkList chunks = planChunks();
    ASSERT_EQ(chunks.size(), 9u);
    // Without the last chunk every other one applies cleanly; the flash just never gets the last one's bytes.
    ChunkList shorter(chunks.begin(), chunks.end() - 1);
    EXPECT_EQ(write(packOf(shorter)), FOTA_NEW_MISMATCH);
    EXPECT_TRUE(untouched());
    // Without an earlier one, a later chunk may find other bytes than it was diffed against.
    for (size_t dropped = 0; dropped + 1 < chunks.size(); ++dropped) {
        shorter = chunks;
        shorter.erase(shorter.begin() + std::ptrdiff_t(dropped));
        const int result = write(packOf(shorter));
        EXPECT_TRUE(result == FOTA_UPGRADE_FAILED || result == FOTA_NEW_MISMATCH)
            << "chunk " << dropped << " dropped: " << result;
        EXPECT_TRUE(untouched());
    }
}

TEST_F(ProvenPack, DamagedLzmaBlockIsRefused)
{
    const Bytes stream = serializePatches(planChunks(), newImage().data(), codeBase);
    const Bytes block = compress(stream);

    // The range coder's first byte is always zero, and the stated length must be the stream's.
    Bytes damaged = block;
    damaged[lzmaHeaderSize] ^= 0x01;
    EXPECT_EQ(write(packOf(damaged)), FOTA_PACK_INVALID);
    EXPECT_TRUE(untouched());
    damaged = block;
    damaged[5] ^= 0x01;
    EXPECT_EQ(write(packOf(damaged)), FOTA_PACK_INVALID);
    EXPECT_TRUE(untouched());

    // A flipped bit anywhere in the data decodes to something else or nothing: never to a written pack.
    std::vector<size_t> positions;
    for (size_t at = lzmaHeaderSize + 1; at < block.size(); at += 97)
        positions.push_back(at);
    // The range coder's flush ends the data; the decoder reads it to the last byte.
    for (size_t back = 1; back <= 5; ++back)
        positions.push_back(block.size() - back);
    for (const size_t at : positions) {
        damaged = block;
        damaged[at] ^= uint8_t(1u << (at % 8));
        const int result = write(packOf(damaged));
        EXPECT_TRUE(result == FOTA_PACK_INVALID || result == FOTA_UPGRADE_FAILED || result == FOTA_NEW_MISMATCH)
            << "byte " << at << ": " << result;
        EXPECT_TRUE(untouched()) << "byte " << at;
    }
}
