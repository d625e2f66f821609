// lodconvert on the sample images as toolchains write them: the packs, the flash bytes and the boot marker.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/crc32.h"
#include "lodconvert/lodconvert_runs.h"
#include "support/device_updates.h"
#include "support/test_files.h"

using namespace lodconverttest;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

std::string textOf(const Bytes &bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// The text after the first line, which is a comment that names where the file came from.
std::string afterFirstLine(const std::string &text)
{
    return text.substr(text.find('\n') + 1);
}

// One form of the sample pair and the options it needs.
struct Form {
    const char *oldInput;
    const char *newInput;
    std::vector<std::string> options;
};

const Form forms[] = {
    {"old.elf", "new.elf", {}},
    {"old.hex", "new.hex", {}},
    {"old.srec", "new.srec", {}},
    {"old.bin", "new.bin", {"--base", "0x08010000"}},
    {"old-at-0.hex", "new-at-0.hex", {"--flash-base", "0"}},
    {"old-at-0.srec", "new-at-0.srec", {"--flash-base", "0", "--format", "srec"}},
    {"old.bin", "new.bin", {"--flash-base", "0x10000000", "--base", "0x10010000", "--format", "bin"}},
};

} // namespace

TEST(LodconvertImages, EveryFormGivesTheSampleLodFilesAndTheirPack)
{
    TempDir dir;
    const Bytes samplePack = packOf(dir.dir(), examplePath("old.lod"), examplePath("new.lod"));
    ASSERT_FALSE(samplePack.empty());
    for (const Form &form : forms) {
        SCOPED_TRACE(std::string(form.oldInput) + " " + testing::PrintToString(form.options));
        for (const char *name : {form.oldInput, form.newInput}) {
            std::vector<std::string> arguments = form.options;
            const std::string lod = std::string(name).substr(0, 3) + ".lod";
            arguments.insert(arguments.end(), {"--boot-sector", "0x10100", inputPath(name), lod});
            const testsupport::ToolRun run = runLodconvert(dir.dir(), arguments);
            ASSERT_EQ(run.status, 0) << run.errors;
            EXPECT_NE(run.errors.find("boot marker D9EF0045 into the word at 0x08010100 (offset 0x100 in the image)"),
                      std::string::npos)
                << run.errors;
            EXPECT_EQ(afterFirstLine(textOf(readFile(dir.path(lod)))),
                      afterFirstLine(textOf(readFile(examplePath(lod)))));
        }
        EXPECT_EQ(packOf(dir.dir(), "old.lod", "new.lod"), samplePack);
    }
}

TEST(LodconvertImages, SegmentAddressesAndSOneRecordsAndLoadAddressesPlaceTheBytes)
{
    TempDir dir;
    const Bytes oldBytes = readFile(inputPath("old.bin"));
    const Bytes firstSector(oldBytes.begin(), oldBytes.begin() + 4096);
    for (const char *small : {"small.hex", "small.srec"}) {
        SCOPED_TRACE(small);
        const testsupport::ToolRun run = runLodconvert(dir.dir(), {"--flash-base", "0", inputPath(small), "s.lod"});
        ASSERT_EQ(run.status, 0) << run.errors;
        EXPECT_NE(run.errors.find("4096 bytes at 0x08000000 (packcli codebase 0x0)"), std::string::npos)
            << run.errors;
        ASSERT_EQ(runLodconvert(dir.dir(), {"--to-bin", "s.lod", "s.bin"}).status, 0);
        EXPECT_EQ(readFile(dir.path("s.bin")), firstSector);
    }
    // A count that matches the data records before it, and 24-bit addresses.
    const Bytes words = {1, 2, 3, 4, 5, 6, 7, 8};
    testsupport::writeFile(dir.path("counted.srec"), srecRecord(0, 0, {}) + srecRecord(2, 0x010000, words) +
                                                         srecRecord(2, 0x010008, words) + srecRecord(5, 2, {}) +
                                                         srecRecord(8, 0x010000, {}));
    ASSERT_EQ(runLodconvert(dir.dir(), {"--flash-base", "0", "counted.srec", "c.lod"}).status, 0);
    ASSERT_EQ(runLodconvert(dir.dir(), {"--to-bin", "c.lod", "c.bin"}).status, 0);
    Bytes counted(4096, 0xFF);
    std::copy(words.begin(), words.end(), counted.begin());
    std::copy(words.begin(), words.end(), counted.begin() + 8);
    EXPECT_EQ(readFile(dir.path("c.bin")), counted);
    // objcopy writes a start address for segment-addressed files, which a LOD file cannot hold.
    const testsupport::ToolRun segmented =
        runLodconvert(dir.dir(), {"--flash-base", "0", inputPath("old-at-0.hex"), "o.lod"});
    EXPECT_NE(segmented.errors.find(":18438: start segment address (type 03) 1000:0000 ignored"), std::string::npos)
        << segmented.errors;
    // The second segment of new.elf runs at 0x20000000 but is loaded from flash right after the first.
    const testsupport::ToolRun elf = runLodconvert(dir.dir(), {inputPath("new.elf"), "n.lod"});
    EXPECT_NE(elf.errors.find("307200 bytes at 0x08010000 (packcli codebase 0x10000) from 2 ELF segments, 0 bytes"),
              std::string::npos)
        << elf.errors;
}

TEST(LodconvertImages, ToBinIsTheFlashTheDeviceSuitesBuild)
{
    TempDir dir;
    const testsupport::DevicePair &pair = testsupport::sampleDevicePair();
    const quarnel::powercut::UpdateCase update = testsupport::deviceUpdateCase(pair, 16);
    for (const char *name : {"old", "new"}) {
        SCOPED_TRACE(name);
        const std::string bin = std::string(name) + ".bin";
        const testsupport::ToolRun run =
            runLodconvert(dir.dir(), {"--to-bin", examplePath(std::string(name) + ".lod"), bin});
        ASSERT_EQ(run.status, 0) << run.errors;
        const Bytes bytes = readFile(dir.path(bin));
        // The boot marker D9EF0045 at the tag's offset 0x10100 from the flash base, least significant byte first.
        ASSERT_GE(bytes.size(), 0x104u);
        EXPECT_EQ(Bytes(bytes.begin() + 0x100, bytes.begin() + 0x104), (Bytes{0x45, 0x00, 0xEF, 0xD9}));
        if (std::string(name) == "old") {
            // What the device holds before the update, where the suites place it.
            const auto at = update.flash.begin() + pair.codeBase;
            EXPECT_EQ(bytes, Bytes(at, at + static_cast<std::ptrdiff_t>(pair.oldImage.size())));
        } else {
            // What the applier must leave there.
            EXPECT_EQ(update.newStart, pair.codeBase);
            EXPECT_EQ(bytes, update.newImage);
        }
    }
}

TEST(LodconvertImages, BootMarkerNoteAgreesWithPackcliForEveryFlashSize)
{
    TempDir dir;
    const Bytes oldBytes = readFile(inputPath("old.bin"));
    const Bytes image(oldBytes.begin(), oldBytes.begin() + 4096);
    testsupport::writeFile(dir.path("one.bin"), textOf(image));

    // The tag 0x1000 is the first word of an image at code base 0x1000, but packcli marks it
    // only in a code area larger than 0x1000 bytes: one whose flash size is above 0x2000.
    const testsupport::ToolRun run =
        runLodconvert(dir.dir(), {"--base", "0x08001000", "--boot-sector", "0x1000", "one.bin", "one.lod"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("into the word at 0x08001000 (offset 0x0 in the image) only when its flashsize is "
                              "above 0x2000"),
              std::string::npos)
        << run.errors;
    Bytes marked = image;
    std::copy_n(Bytes{0x45, 0x00, 0xEF, 0xD9}.begin(), 4, marked.begin());
    for (const auto &[flashSize, expected] : {std::pair{"0x2000", image}, std::pair{"0x3000", marked}}) {
        SCOPED_TRACE(flashSize);
        ASSERT_EQ(runLodconvert(dir.dir(), {"--to-bin", "--flash-size", flashSize, "one.lod", "one.out"}).status, 0);
        EXPECT_EQ(readFile(dir.path("one.out")), expected);
        // The pack header holds the checksum of the old image as packcli marked it (bytes 8 to 11).
        ASSERT_EQ(
            testsupport::runTool(PACKCLI_PATH, dir.dir(), {flashSize, "0x1000", "one.lod", "one.lod", "p"}).status,
            0);
        const Bytes pack = readFile(dir.path("p"));
        const uint32_t crc = quarnel::packCrc32(expected.data(), static_cast<uint32_t>(expected.size()));
        EXPECT_EQ(Bytes(pack.begin() + 8, pack.begin() + 12),
                  (Bytes{uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)}));
    }
    const testsupport::ToolRun untagged = runLodconvert(dir.dir(), {"--base", "0x08001000", "one.bin", "plain.lod"});
    EXPECT_NE(untagged.errors.find("plain.lod has no $BOOT_SECTOR tag: packcli marks no word"), std::string::npos)
        << untagged.errors;
}

TEST(LodconvertImages, GapsInsideASectorAndSectorEndsReadAsErasedFlash)
{
    TempDir dir;
    // Three records at 0x08010010, 0x08010020 and 0x08011000: the gaps lie inside the first sector.
    // A data record without data, as some tools write, places nothing.
    const std::string hex = hexRecord(4, 0, {0x08, 0x01}) + hexRecord(0, 0x0010, {1, 2, 3, 4}) +
                            hexRecord(0, 0x0020, {5, 6, 7, 8}) + hexRecord(0, 0x0800, {}) +
                            hexRecord(0, 0x1000, {9, 10, 11, 12}) + hexRecord(1, 0, {});
    testsupport::writeFile(dir.path("gaps.hex"), hex);
    const testsupport::ToolRun run = runLodconvert(dir.dir(), {"gaps.hex", "gaps.lod"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("8192 bytes at 0x08010000 (packcli codebase 0x10000) from 3 Intel HEX segments, 8180 "
                              "bytes of 0xFF filled in"),
              std::string::npos)
        << run.errors;
    ASSERT_EQ(runLodconvert(dir.dir(), {"--to-bin", "gaps.lod", "gaps.bin"}).status, 0);
    Bytes expected(8192, 0xFF);
    std::copy_n(Bytes{1, 2, 3, 4}.begin(), 4, expected.begin() + 0x10);
    std::copy_n(Bytes{5, 6, 7, 8}.begin(), 4, expected.begin() + 0x20);
    std::copy_n(Bytes{9, 10, 11, 12}.begin(), 4, expected.begin() + 0x1000);
    EXPECT_EQ(readFile(dir.path("gaps.bin")), expected);
}
