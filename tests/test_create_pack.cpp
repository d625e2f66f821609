#include <gtest/gtest.h>

#include "support/platform.h"

#if QUARNEL_TESTS_ON_POSIX
#include <sys/stat.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

#include <cstring>
#include <filesystem>

#include "common/crc32.h"
#include "quarnel.h"
#include "support/pack_replay.h"
#include "support/test_files.h"

using testsupport::makeLodText;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr uint32_t flashBase = 0x08000000;

struct Outs {
    uint32_t start = 0xAAAAAAAA, size = 0xBBBBBBBB, crc = 0xCCCCCCCC;
};

class CreatePack : public ::testing::Test {
protected:
    TempDir dir;
    std::string oldLod = dir.path("old.lod"), newLod = dir.path("new.lod"), pack = dir.path("out.pack");
    Outs outs;

    int run(CodeArea area, const char *oldPath, const char *newPath, const char *packPath)
    {
        return FotaCreatePack(oldPath, newPath, packPath, &outs.start, &outs.size, &outs.crc, area);
    }
    int run(CodeArea area) { return run(area, oldLod.c_str(), newLod.c_str(), pack.c_str()); }

    void expectOutsUntouched()
    {
        EXPECT_EQ(outs.start, 0xAAAAAAAAu);
        EXPECT_EQ(outs.size, 0xBBBBBBBBu);
        EXPECT_EQ(outs.crc, 0xCCCCCCCCu);
    }
};

const CodeArea area64k = {flashBase, 0x10000, 0x100000};

std::string image(uint32_t address, uint32_t size, uint32_t seed)
{
    return makeLodText(address, testsupport::firmwareLikeBytes(size, seed));
}

} // namespace

TEST_F(CreatePack, AreaChecksComeFirstAndTouchNothing)
{
    EXPECT_EQ(run({flashBase, 0x1001, 0x10000}, nullptr, nullptr, nullptr), FOTA_CODE_BASE_MISALIGNED);
    EXPECT_EQ(run({flashBase, 0x1001, 0x1801}, nullptr, nullptr, nullptr), FOTA_CODE_BASE_MISALIGNED);
    EXPECT_EQ(run({flashBase, 0x10000, 0x1800}, nullptr, nullptr, pack.c_str()), FOTA_CODE_SIZE_MISALIGNED);
    EXPECT_FALSE(std::filesystem::exists(pack));
    expectOutsUntouched();
}

TEST_F(CreatePack, OldImageIsCheckedBeforeTheNewOneIsRead)
{
    const std::string good = image(0x08010000, 0x2000, 1);
    writeFile(newLod, good);
    EXPECT_EQ(run(area64k, nullptr, newLod.c_str(), pack.c_str()), FOTA_OLD_LOD_UNREADABLE);
    writeFile(oldLod, makeLodText(0x08010000, std::vector<uint8_t>(0x1000, 1)) +
                          makeLodText(0x08012000, std::vector<uint8_t>(0x1000, 2)));
    // A missing new file would give FOTA_NEW_LOD_UNREADABLE: the old image's failure wins.
    EXPECT_EQ(run(area64k, oldLod.c_str(), dir.path("missing.lod").c_str(), pack.c_str()), FOTA_OLD_NOT_CONTIGUOUS);

    writeFile(oldLod, good);
    EXPECT_EQ(run(area64k, oldLod.c_str(), nullptr, pack.c_str()), FOTA_NEW_LOD_UNREADABLE);
    EXPECT_EQ(run(area64k, oldLod.c_str(), dir.path("missing.lod").c_str(), pack.c_str()), FOTA_NEW_LOD_UNREADABLE);
    EXPECT_FALSE(std::filesystem::exists(pack));
    expectOutsUntouched();
}

TEST_F(CreatePack, NewImageReportsItsOwnCodes)
{
    struct Case {
        std::string bad;
        CodeArea area;
        int oldCode;
        int newCode;
    };
    const Case cases[] = {
        {makeLodText(0x08010000, std::vector<uint8_t>(0x1000, 1)) +
             makeLodText(0x08012000, std::vector<uint8_t>(0x1000, 2)),
         area64k, FOTA_OLD_NOT_CONTIGUOUS, FOTA_NEW_NOT_CONTIGUOUS},
        {makeLodText(0x08010000, std::vector<uint8_t>(0x1004, 3)), area64k, FOTA_OLD_SIZE_MISALIGNED,
         FOTA_NEW_SIZE_MISALIGNED},
        {image(0x08000000, 0x1000, 4), area64k, FOTA_OLD_ADDRESS_MISMATCH, FOTA_NEW_ADDRESS_MISMATCH},
        {image(0x08010000, 0x3000, 5), {flashBase, 0x10000, 0x2000}, FOTA_OLD_TOO_LARGE, FOTA_NEW_TOO_LARGE},
    };
    const std::string fits = image(0x08010000, 0x1000, 6);
    for (const Case &c : cases) {
        writeFile(oldLod, c.bad);
        writeFile(newLod, fits);
        EXPECT_EQ(run(c.area), c.oldCode);
        writeFile(oldLod, fits);
        writeFile(newLod, c.bad);
        EXPECT_EQ(run(c.area), c.newCode);
    }
    EXPECT_FALSE(std::filesystem::exists(pack));
    expectOutsUntouched();
}

TEST_F(CreatePack, SuccessWritesAPackThatReplaysAndSetsOuts)
{
    const auto oldBytes = testsupport::firmwareLikeBytes(0x30000, 7);
    auto newBytes = testsupport::firmwareLikeBytes(0x400, 8);
    newBytes.insert(newBytes.end(), oldBytes.begin(), oldBytes.end() - 0x400);
    newBytes.resize(0x31000, 0xFF);
    writeFile(oldLod, makeLodText(0x08010000, oldBytes));
    writeFile(newLod, makeLodText(0x08010000, newBytes));

    ASSERT_EQ(run(area64k), FOTA_OK);
    const auto packBytes = readFile(pack);
    EXPECT_TRUE(testsupport::replayPackFile(packBytes, oldBytes, 0x10000, newBytes));
    EXPECT_EQ(outs.start, 0x10000u);
    EXPECT_EQ(outs.size, 0x30000u);
    EXPECT_EQ(outs.crc, testsupport::readLe32(&packBytes[8]));
    EXPECT_EQ(outs.crc, quarnel::packCrc32(oldBytes.data(), uint32_t(oldBytes.size())));

    // Same inputs, same bytes; null out-pointers are fine.
    const std::string again = dir.path("again.pack");
    ASSERT_EQ(FotaCreatePack(oldLod.c_str(), newLod.c_str(), again.c_str(), nullptr, nullptr, nullptr, area64k),
              FOTA_OK);
    EXPECT_EQ(readFile(again), packBytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.dir()), {}), 4) << "stray temporary files";
}

TEST_F(CreatePack, BootMarkerEntersTheImageBeforeItIsChecksummed)
{
    const auto oldBytes = testsupport::firmwareLikeBytes(0x2000, 9);
    writeFile(oldLod, makeLodText(0x08010000, oldBytes, 0x10004));
    writeFile(newLod, makeLodText(0x08010000, oldBytes));
    ASSERT_EQ(run(area64k), FOTA_OK);
    auto marked = oldBytes;
    const uint8_t marker[] = {0x45, 0x00, 0xEF, 0xD9};
    std::memcpy(&marked[4], marker, 4);
    EXPECT_EQ(outs.crc, quarnel::packCrc32(marked.data(), uint32_t(marked.size())));
    EXPECT_TRUE(testsupport::replayPackFile(readFile(pack), marked, 0x10000, oldBytes));
}

TEST_F(CreatePack, UnwritablePackKeepsPreviousFileAndOuts)
{
    writeFile(oldLod, image(0x08010000, 0x1000, 10));
    writeFile(newLod, image(0x08010000, 0x1000, 11));
    EXPECT_EQ(run(area64k, oldLod.c_str(), newLod.c_str(), dir.path("no/such/dir/out.pack").c_str()),
              FOTA_PACK_WRITE_FAILED);
    EXPECT_EQ(run(area64k, oldLod.c_str(), newLod.c_str(), dir.dir().c_str()), FOTA_PACK_WRITE_FAILED);
    EXPECT_EQ(run(area64k, oldLod.c_str(), newLod.c_str(), nullptr), FOTA_PACK_WRITE_FAILED);
    expectOutsUntouched();

    // A failed run leaves an existing pack exactly as it was.
    writeFile(pack, "previous pack");
    writeFile(newLod, "");
    EXPECT_EQ(run(area64k), FOTA_NEW_LOD_UNREADABLE);
    EXPECT_EQ(readFile(pack), std::vector<uint8_t>({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's', ' ', 'p', 'a', 'c', 'k'}));

    writeFile(newLod, image(0x08010000, 0x1000, 11));
#if QUARNEL_TESTS_ON_POSIX
    if (geteuid() != 0) { // root writes anywhere; the permission case only means something otherwise
        const std::string locked = dir.path("locked");
        std::filesystem::create_directory(locked);
        chmod(locked.c_str(), 0500);
        EXPECT_EQ(run(area64k, oldLod.c_str(), newLod.c_str(), (locked + "/out.pack").c_str()), FOTA_PACK_WRITE_FAILED);
        chmod(locked.c_str(), 0700);
    }
#else
    // A pack that another program holds open, without letting it be deleted, cannot be replaced.
    const HANDLE held = CreateFileW(testsupport::fsPath(pack).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run(area64k), FOTA_PACK_WRITE_FAILED);
    CloseHandle(held);
    EXPECT_EQ(readFile(pack), std::vector<uint8_t>({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's', ' ', 'p', 'a', 'c', 'k'}));
    // Nor can a file be named with a character that Windows forbids in names.
    EXPECT_EQ(run(area64k, oldLod.c_str(), newLod.c_str(), dir.path("which?.pack").c_str()), FOTA_PACK_WRITE_FAILED);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.dir()), {}), 3) << "stray temporary files";
#endif
    expectOutsUntouched();
}
