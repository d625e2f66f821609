// Every input lodconvert refuses, with its message and exit status, and nothing written.
#include <gtest/gtest.h>

#include "lodconvert/lodconvert_runs.h"
#include "support/test_files.h"

using namespace lodconverttest;
using testsupport::TempDir;

namespace {

// An input file, the arguments around it, and what lodconvert must say. In the
// arguments, IN stands for the input file and OUT for the output, which holds
// "kept" before the run and must hold it after.
struct Refused {
    const char *name;
    std::string input;   // the input file's name, or empty for none at all
    std::string content; // of the input file
    std::vector<std::string> arguments;
    int status;
    std::string message; // a part of standard error
};

void expectRefused(const std::vector<Refused> &cases)
{
    for (const Refused &refused : cases) {
        SCOPED_TRACE(refused.name);
        TempDir dir;
        if (!refused.input.empty())
            testsupport::writeFile(dir.path(refused.input), refused.content);
        testsupport::writeFile(dir.path("out"), "kept");
        std::vector<std::string> arguments;
        for (const std::string &argument : refused.arguments)
            arguments.push_back(argument == "IN" ? refused.input : argument == "OUT" ? "out" : argument);
        const testsupport::ToolRun run = runLodconvert(dir.dir(), arguments);
        EXPECT_EQ(run.status, refused.status) << run.errors;
        EXPECT_NE(run.errors.find(refused.message), std::string::npos) << run.errors;
        EXPECT_EQ(testsupport::readFile(dir.path("out")), (Bytes{'k', 'e', 'p', 't'}));
        if (!refused.input.empty()) {
            EXPECT_EQ(testsupport::readFile(dir.path(refused.input)),
                      Bytes(refused.content.begin(), refused.content.end()));
        }
    }
}

std::string withChecksum(std::string record, const char *checksum)
{
    record.replace(record.size() - 3, 2, checksum);
    return record;
}

const std::string linear0801 = hexRecord(4, 0, {0x08, 0x01});
const std::string hexEnd = hexRecord(1, 0, {});
const Bytes sixteen = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const std::string srecHeader = srecRecord(0, 0, {'h', 'i'});
const std::string srecEnd = srecRecord(7, 0x08010000, {});

} // namespace

TEST(LodconvertRefusals, IntelHexRecordsNameTheirLine)
{
    const std::string data = hexRecord(0, 0, sixteen); // checksum -(0x10 + 0x78) = 0x78
    expectRefused({
        {"bad checksum", "a.hex", linear0801 + withChecksum(data, "77") + hexEnd, {"IN", "OUT"}, 4,
         "a.hex:2: bad checksum: the record says 0x77, its bytes give 0x78; nothing written"},
        {"odd length", "a.hex", linear0801 + ":0400000001020304F\n" + hexEnd, {"IN", "OUT"}, 3,
         "a.hex:2: odd-length record: 17 hexadecimal digits, not whole bytes"},
        {"length byte", "a.hex", linear0801 + ":0500000001020304F1\n" + hexEnd, {"IN", "OUT"}, 3,
         "a.hex:2: the record's length byte says 5 data bytes, the line holds 4"},
        {"short record", "a.hex", ":00000001\n", {"IN", "OUT"}, 3, "a.hex:1: a record of 4 bytes is too short"},
        {"not a digit", "a.hex", linear0801 + ":10000000G0\n", {"IN", "OUT"}, 3,
         "a.hex:2: 'G' in column 10 is not a hexadecimal digit"},
        {"unknown type", "a.hex", linear0801 + hexRecord(6, 0, {}) + hexEnd, {"IN", "OUT"}, 3,
         "a.hex:2: record type 0x06 is not one of Intel HEX's 00 to 05"},
        {"address record length", "a.hex", hexRecord(4, 0, {0x08}) + hexEnd, {"IN", "OUT"}, 3,
         "a.hex:1: a type 0x04 record holds 2 data bytes, this one 1"},
        {"no end record", "a.hex", linear0801 + data, {"IN", "OUT"}, 3,
         "a.hex: no end-of-file record (type 01): the file may have been cut short"},
        {"after the end", "a.hex", linear0801 + hexEnd + "\n" + data, {"IN", "OUT"}, 3,
         "a.hex:4: a record after the end-of-file record of line 2"},
        {"no colon", "a.hex", "0000000001FF\n", {"--format", "ihex", "IN", "OUT"}, 3,
         "a.hex:1: not an Intel HEX record: it does not start with ':'"},
        {"no data", "a.hex", linear0801 + hexEnd, {"IN", "OUT"}, 3, "a.hex holds no data records"},
    });
}

TEST(LodconvertRefusals, SRecordsNameTheirLine)
{
    const std::string data = srecRecord(3, 0x08010000, sixteen); // checksum ~(0x15 + 0x09 + 0x78) = 0x69
    expectRefused({
        {"bad checksum", "a.srec", srecHeader + withChecksum(data, "01") + srecEnd, {"IN", "OUT"}, 4,
         "a.srec:2: bad checksum: the record says 0x01, its bytes give 0x69"},
        {"odd length", "a.srec", srecHeader + "S30908010000010203F\n" + srecEnd, {"IN", "OUT"}, 3,
         "a.srec:2: odd-length record: 17 hexadecimal digits"},
        {"count byte", "a.srec", srecHeader + "S30A08010000010203E6\n" + srecEnd, {"IN", "OUT"}, 3,
         "a.srec:2: the record's count byte says 10 bytes follow it, the line holds 8"},
        {"too short", "a.srec", srecHeader + "S3020000\n" + srecEnd, {"IN", "OUT"}, 3,
         "a.srec:2: an S3 record of 3 bytes is too short: count, 4 address bytes and checksum take 6"},
        {"reserved type", "a.srec", srecHeader + "S4030000FC\n" + srecEnd, {"IN", "OUT"}, 3,
         "a.srec:2: S4 is a reserved record type"},
        {"wrong count", "a.srec",
         srecHeader + data + srecRecord(3, 0x08010010, sixteen) + srecRecord(5, 3, {}) + srecEnd, {"IN", "OUT"}, 3,
         "a.srec:4: the S5 record counts 3 data records, the file has 2 before it"},
        {"no termination", "a.srec", srecHeader + data, {"IN", "OUT"}, 3,
         "a.srec: no termination record (S7, S8 or S9): the file may have been cut short"},
        {"after the termination", "a.srec", srecHeader + srecEnd + data, {"IN", "OUT"}, 3,
         "a.srec:3: a record after the termination record of line 2"},
        {"no S", "a.srec", "X0030000FC\n", {"--format", "srec", "IN", "OUT"}, 3,
         "a.srec:1: not an S-record: it does not start with S0 to S9"},
    });
}

TEST(LodconvertRefusals, SegmentsThatMakeNoOneImage)
{
    const std::string at0801 = linear0801 + hexRecord(0, 0x0010, sixteen);
    const std::string sector(4096, '\x5A');
    expectRefused({
        {"overlap", "a.hex", at0801 + hexRecord(0, 0x0018, sixteen) + hexEnd, {"IN", "OUT"}, 5,
         "a.hex: line 3 (0x08010018 to 0x08010028) overlaps line 2 (0x08010010 to 0x08010020)"},
        {"gap past a sector boundary", "a.hex", at0801 + hexRecord(0, 0x1010, sixteen) + hexEnd, {"IN", "OUT"}, 6,
         "a.hex: the gap from 0x08010020, the end of line 2, to 0x08011010, the start of line 3, is not inside one "
         "erase sector"},
        {"below the flash base", "a.bin", sector, {"--base", "0x07FFF000", "IN", "OUT"}, 7,
         "a.bin: the raw binary (0x07FFF000 to 0x08000000) lies below the flash base 0x08000000"},
        {"below another flash base", "a.hex", at0801 + hexEnd, {"--flash-base", "0x08020000", "IN", "OUT"}, 7,
         "a.hex: line 2 (0x08010010 to 0x08010020) lies below the flash base 0x08020000"},
        {"past 4 GiB", "a.hex", hexRecord(4, 0, {0xFF, 0xFF}) + hexRecord(0, 0xFFF8, sixteen) + hexEnd, {"IN", "OUT"},
         8, "a.hex: line 2 (0xFFFFFFF8 to 0x100000008) reaches past 4 GiB"},
        {"moved past 4 GiB", "a.bin", sector, {"--flash-base", "0", "--base", "0xF8000000", "IN", "OUT"}, 8,
         "a.bin: the raw binary (0xF8000000 to 0xF8001000) reaches past 4 GiB at the device's flash base 0x08000000"},
        {"boot sector outside", "a.bin", sector, {"--base", "0x08010000", "--boot-sector", "0x08010100", "IN", "OUT"},
         9, "--boot-sector 0x8010100 names no word of the image, which covers offsets 0x10000 to 0x11000 from the "
            "flash base"},
    });
}

TEST(LodconvertRefusals, FilesFormatsAndArguments)
{
    expectRefused({
        {"unknown content", "a.txt", "hello\n", {"IN", "OUT"}, 2,
         "a.txt is not ELF, Intel HEX or S-record; for a raw binary give --base ADDR"},
        {"--base for a HEX file", "a.hex", linear0801 + hexEnd, {"--base", "0x08010000", "IN", "OUT"}, 2,
         "a.hex is an Intel HEX file, and --base is for raw binaries"},
        {"missing input", "", "", {"none.hex", "OUT"}, 1, "none.hex cannot be opened as a file; nothing written"},
        {"empty input", "a.hex", "", {"IN", "OUT"}, 1, "a.hex is empty"},
        {"output is the input", "a.hex", linear0801 + hexEnd, {"IN", "./a.hex"}, 11,
         "./a.hex is the input file a.hex itself"},
        {"output folder missing", "a.bin", std::string(16, '\0'), {"--base", "0x08010000", "IN", "no/such/out.lod"},
         11, "no/such/out.lod cannot be written"},
        {"not an ELF file", "a.elf", "hello\n", {"--format", "elf", "IN", "OUT"}, 3, "a.elf: not an ELF file"},
        {"binary without --base", "a.bin", "x", {"--format", "bin", "IN", "OUT"}, 255,
         "a raw binary needs --base ADDR"},
        {"--base with another format", "a.hex", "x", {"--format", "ihex", "--base", "0", "IN", "OUT"}, 255,
         "--base is for raw binaries (--format bin) only"},
        {"unknown format", "a.hex", "x", {"--format", "coff", "IN", "OUT"}, 255,
         "--format takes elf, ihex, srec or bin, not \"coff\""},
        {"not a number", "a.bin", "x", {"--base", "0x0801g000", "IN", "OUT"}, 255,
         "--base takes a number up to 0xFFFFFFFF in C notation (0x.. hexadecimal), not \"0x0801g000\""},
        {"beyond 32 bits", "a.bin", "x", {"--flash-base", "0x100000000", "IN", "OUT"}, 255, "--flash-base takes"},
        {"unknown option", "a.bin", "x", {"--fill", "0", "IN", "OUT"}, 255, "unknown option --fill"},
        {"one file", "a.bin", "x", {"IN"}, 255, "1 file names given, two needed"},
    });
}

TEST(LodconvertRefusals, ElfFilesWithoutLoadableBytes)
{
    // An object file, and a linked one cut short, as make_inputs.sh made them with objcopy and ld.
    for (const auto &[name, message] :
         {std::pair{"object.o", "object.o: no program headers, so nothing says where it is loaded"},
          std::pair{"cut.elf", "cut.elf: the 294912 bytes of segment 0 at file offset 0x54 cannot be read"}}) {
        SCOPED_TRACE(name);
        const Bytes content = testsupport::readFile(inputPath(name));
        expectRefused({{name, name, std::string(content.begin(), content.end()), {"IN", "OUT"}, 3, message}});
    }
}

TEST(LodconvertRefusals, ToBinTakesOnlyWhatPackcliTakes)
{
    std::string words; // one sector of them
    for (int i = 0; i < 1024; ++i)
        words += "00000000\n";
    expectRefused({
        {"two sections", "a.lod", "@08010000\n" + words + "@08012000\n" + words, {"--to-bin", "IN", "OUT"}, 10,
         "a.lod: packcli refuses it as an image: old lod is not contiguous (code 9; it holds 2 sections, not one)"},
        {"part of a sector", "a.lod", "@08010000\n00000000\n", {"--to-bin", "IN", "OUT"}, 10,
         "a.lod: packcli refuses it as an image: old size not sector aligned (code 10)"},
        {"below the flash base", "a.lod", "@07FFF000\n" + words, {"--to-bin", "IN", "OUT"}, 10,
         "it starts at 0x07FFF000, not on a sector boundary at or above the flash base 0x08000000"},
        {"larger than the flash", "a.lod", "@08010000\n" + words + words, {"--to-bin", "--flash-size", "0x11000", "IN",
                                                                          "OUT"},
         10, "a.lod: packcli refuses it as an image: old size larger than code flash size (code 12)"},
        {"flash size below the image", "a.lod", "@08010000\n" + words, {"--to-bin", "--flash-size", "0x10000", "IN",
                                                                       "OUT"},
         255, "--flash-size 0x10000 leaves no code area of whole sectors above the image's code base 0x10000"},
        {"no LOD file", "", "", {"--to-bin", "none.lod", "OUT"}, 1, "none.lod cannot be read as a LOD file"},
        {"over itself", "a.lod", "@08010000\n" + words, {"--to-bin", "IN", "a.lod"}, 11,
         "a.lod is the input file a.lod itself"},
        {"other options", "a.lod", "x", {"--to-bin", "--base", "0", "IN", "OUT"}, 255,
         "--to-bin takes only --flash-size, not --base"},
    });
}
