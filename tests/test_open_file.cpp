#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/aligned_blocks.h"
#include "common/large_pages.h"
#include "common/open_file.h"
#include "support/test_files.h"

using testsupport::fsPath;
using testsupport::TempDir;
using testsupport::writeFile;

TEST(OpenFileUtf8, RegularFileCheckByUtf8Name)
{
    TempDir dir;
    const std::string file = dir.path("Прошивка ü 固件.lod"), folder = dir.path("Ordner ü 目录");
    writeFile(file, "@0\n");
    std::filesystem::create_directory(fsPath(folder));

    std::FILE *stream = quarnel::openRegularFileUtf8(file.c_str());
    ASSERT_NE(stream, nullptr);
    char head[4] = {};
    EXPECT_EQ(std::fread(head, 1, 3, stream), 3u);
    std::fclose(stream);
    EXPECT_STREQ(head, "@0\n");

    EXPECT_EQ(quarnel::openRegularFileUtf8(folder.c_str()), nullptr);
    EXPECT_EQ(quarnel::openRegularFileUtf8(dir.path("fehlt ü.lod").c_str()), nullptr);
    EXPECT_EQ(quarnel::openRegularFileUtf8(nullptr), nullptr);
}

TEST(AlignedBlocks, AlignedWholeAndFreeable)
{
    for (const size_t alignment : {alignof(std::max_align_t), quarnel::largePageSize}) {
        for (const size_t bytes : {size_t{0}, size_t{1}, size_t{4097}, quarnel::largePageSize + 1}) {
            void *block = quarnel::allocateAligned(alignment, bytes);
            ASSERT_NE(block, nullptr) << bytes << " bytes at " << alignment;
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignment, 0u) << bytes << " bytes at " << alignment;
            std::memset(block, 0xA5, bytes); // a sanitized run reports a block that is too short
            quarnel::freeAligned(block);
        }
    }
    EXPECT_EQ(quarnel::allocateAligned(quarnel::largePageSize, SIZE_MAX - 1), nullptr);
    quarnel::freeAligned(nullptr);
}
