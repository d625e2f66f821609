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
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::string textOf(const std::string &path)
{
    const auto bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

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

TEST(OpenFileUtf8, ReplaceAndRemoveByUtf8Names)
{
    TempDir dir;
    const std::string from = dir.path("neu ü 固件.partial"), to = dir.path("Paket für Gerät.pack");
    writeFile(from, "new pack");
    writeFile(to, "old pack");
    ASSERT_TRUE(quarnel::replaceFileUtf8(from.c_str(), to.c_str()));
    EXPECT_EQ(textOf(to), "new pack");
    EXPECT_FALSE(std::filesystem::exists(fsPath(from)));

    // A failed replacement leaves the target as it was.
    EXPECT_FALSE(quarnel::replaceFileUtf8(from.c_str(), to.c_str()));
    EXPECT_FALSE(quarnel::replaceFileUtf8(nullptr, to.c_str()));
    EXPECT_FALSE(quarnel::replaceFileUtf8(to.c_str(), nullptr));
    EXPECT_EQ(textOf(to), "new pack");

    quarnel::removeFileUtf8(to.c_str());
    EXPECT_FALSE(std::filesystem::exists(fsPath(to)));
    quarnel::removeFileUtf8(to.c_str());
    quarnel::removeFileUtf8(nullptr);
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
