#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/open_file.h"
#include "lod/code_image.h"
#include "lod/lod_file.h"
#include "quarnel.h"
#include "support/test_files.h"

using namespace quarnel;
using namespace testsupport;

namespace {

// Loads text through a real file, as the pipeline does.
LodFile loadText(const std::string &text)
{
    TempDir dir;
    const std::string path = dir.path("image.lod");
    writeFile(path, text);
    LodFile file;
    EXPECT_TRUE(file.load(path.c_str()));
    return file;
}

LodFile loadAndMerge(const std::string &text)
{
    LodFile file = loadText(text);
    file.mergePackets();
    return file;
}

std::vector<uint32_t> wordsOf(const std::vector<uint8_t> &bytes)
{
    std::vector<uint32_t> words;
    for (size_t i = 0; i + 3 < bytes.size(); i += 4)
        words.push_back(uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 | uint32_t(bytes[i + 2]) << 16 |
                        uint32_t(bytes[i + 3]) << 24);
    return words;
}

std::vector<uint8_t> bytesOf(const LodPacket &packet)
{
    std::vector<uint8_t> bytes;
    for (uint32_t word : packet.words)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(uint8_t(word >> shift));
    return bytes;
}

// Data lines for count words counting up from first.
std::string countingWords(uint32_t first, uint32_t count)
{
    std::string text;
    char line[16];
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "%08x\n", first + i);
        text += line;
    }
    return text;
}

int64_t parse(const std::string &text)
{
    return parseLodNumber(text.data(), text.data() + text.size());
}

} // namespace

// ---- numbers ----

TEST(LodNumbers, HexWithSignPrefixAndSpace)
{
    EXPECT_EQ(parse("08000000"), 0x08000000);
    EXPECT_EQ(parse("0x08000000"), 0x08000000);
    EXPECT_EQ(parse("0X1f"), 0x1F);
    EXPECT_EQ(parse(" \t\v\f\r\n08000000"), 0x08000000);
    EXPECT_EQ(parse("+aB"), 0xAB);
    EXPECT_EQ(parse("-1"), -1);
    EXPECT_EQ(parse("-0x10"), -16);
    EXPECT_EQ(parse("12 34"), 0x12);
    EXPECT_EQ(parse("1g2"), 1);
    EXPECT_EQ(parse("123456789"), 0x123456789);
    // No digit, or a sign or prefix without one, reads as zero.
    for (const char *text : {"", " ", "xyz", "-", "+", "- 1", "+-1", "0x", "0xg", "-0x", "x1"})
        EXPECT_EQ(parse(text), 0) << '"' << text << '"';
}

TEST(LodNumbers, SaturatesAtTheSignedRange)
{
    const int64_t max = INT64_MAX, min = INT64_MIN;
    EXPECT_EQ(parse("7FFFFFFFFFFFFFFF"), max);
    EXPECT_EQ(parse("8000000000000000"), max);
    EXPECT_EQ(parse("FFFFFFFFFFFFFFFFFFFFFFFF"), max);
    EXPECT_EQ(parse("-7FFFFFFFFFFFFFFF"), -max);
    EXPECT_EQ(parse("-8000000000000000"), min);
    EXPECT_EQ(parse("-8000000000000001"), min);
    EXPECT_EQ(parse("-0x100000000000000000"), min);
    EXPECT_EQ(parse("0000000000000000000000000001"), 1);
}

TEST(LodNumbers, StopsAtTheGivenEnd)
{
    const char text[] = "12345678";
    EXPECT_EQ(parseLodNumber(text, text + 2), 0x12);
    EXPECT_EQ(parseLodNumber(text, text), 0);
    const char prefix[] = "0x5";
    EXPECT_EQ(parseLodNumber(prefix, prefix + 2), 0);
}

TEST(LodNumbers, AgreesWithTheRuntimeConversion)
{
    // strtoll with base 16 is an independent reading of the same rule.
    const std::string alphabet = " \t\r+-0xX19aFg";
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int length = int(random() % 24);
        for (int i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()];
        const long long expected = std::strtoll(text.c_str(), nullptr, 16);
        ASSERT_EQ(parse(text), expected) << '"' << text << '"';
    }
}

TEST(LodNumbers, DataWordsKeepTheLowBits)
{
    const LodFile file = loadText("@0\n-1\n123456789\n8000000000000000\n-8000000000000000\nzz\n12 34\n+ff\n");
    ASSERT_EQ(file.packets.size(), 1u);
    EXPECT_EQ(file.packets[0]->words,
              (std::vector<uint32_t>{0xFFFFFFFF, 0x23456789, 0xFFFFFFFF, 0, 0, 0x12, 0xFF}));
}

TEST(LodNumbers, WordLinesReadAsTheNumberRuleReadsThem)
{
    // Mostly eight digits, as dumps have them, with the neighbours of that shape:
    // seven or nine digits, a prefix, a sign, spaces, a carriage return, trailing text.
    const std::string digits = "0123456789abcdefABCDEF";
    const std::string others = " \t\r+-xXg";
    std::mt19937 random(8);
    std::string text = "@0\n";
    std::vector<std::string> lines;
    for (int round = 0; round < 20000; ++round) {
        std::string line = random() % 3 == 0 ? (random() % 2 ? "0x" : "0X") : "";
        const int length = 6 + int(random() % 5);
        for (int i = 0; i < length; ++i)
            line += random() % 12 == 0 ? others[random() % others.size()] : digits[random() % digits.size()];
        if (random() % 5 == 0)
            line.insert(random() % (line.size() + 1), 1, others[random() % others.size()]);
        if (line.empty() || line[0] == '#' || line[0] == '@')
            continue;
        lines.push_back(line);
        text += line + "\n";
    }
    const LodFile file = loadText(text);
    ASSERT_EQ(file.packets.size(), 1u);
    ASSERT_EQ(file.packets[0]->words.size(), lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(file.packets[0]->words[i], uint32_t(parse(lines[i]))) << '"' << lines[i] << '"';
}

// ---- lines and line ends ----

TEST(LodLines, AddressLineAndItsWords)
{
    const LodFile file = loadText("@08000000\n" + countingWords(0x11223344, 1024));
    ASSERT_EQ(file.packets.size(), 1u);
    const LodPacket &packet = *file.packets[0];
    EXPECT_EQ(packet.address, 0x08000000u);
    ASSERT_EQ(packet.words.size(), 1024u);
    EXPECT_EQ(bytesOf(packet)[0], 0x44);
    EXPECT_EQ(packet.words[1023], 0x11223344u + 1023);

    for (const char *line : {"@0x08000000\n", "@ 08000000\n", "@08000000 trailing words\n"}) {
        const LodFile same = loadText(std::string(line) + "1\n");
        ASSERT_EQ(same.packets.size(), 1u) << line;
        EXPECT_EQ(same.packets[0]->address, 0x08000000u) << line;
    }
    const LodFile wide = loadText("@-4\n1\n@123456789\n2\n");
    ASSERT_EQ(wide.packets.size(), 2u);
    EXPECT_EQ(wide.packets[0]->address, 0xFFFFFFFCu);
    EXPECT_EQ(wide.packets[1]->address, 0x23456789u);
}

TEST(LodLines, CarriageReturnsStayInTheLine)
{
    const std::string lf = "# image\n@08000000\n1\n\n2\n#$BOOT_SECTOR 0x400\n3";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);

    const LodFile plain = loadText(lf);
    const LodFile windows = loadText(crlf);
    ASSERT_EQ(plain.packets.size(), 1u);
    ASSERT_EQ(windows.packets.size(), 1u);
    EXPECT_EQ(plain.packets[0]->words, (std::vector<uint32_t>{1, 2, 3}));
    // The empty line becomes a line of only CR, which is a data word 0.
    EXPECT_EQ(windows.packets[0]->words, (std::vector<uint32_t>{1, 0, 2, 3}));
    EXPECT_EQ(windows.packets[0]->address, 0x08000000u);
    EXPECT_EQ(plain.bootSector, 0x400);
    EXPECT_EQ(windows.bootSector, 0x400);

    // A lone CR does not end a line.
    const LodFile lone = loadText("@10\n1\r2\n3");
    ASSERT_EQ(lone.packets.size(), 1u);
    EXPECT_EQ(lone.packets[0]->words, (std::vector<uint32_t>{1, 3}));
}

TEST(LodLines, FirstCharacterDecidesTheKind)
{
    const LodFile file = loadText("@100\n1\n @200\n\t#$BOOT_SECTOR 0x10\n   \n2\n");
    ASSERT_EQ(file.packets.size(), 1u);
    EXPECT_EQ(file.packets[0]->address, 0x100u);
    EXPECT_EQ(file.packets[0]->words, (std::vector<uint32_t>{1, 0, 0, 0, 2}));
    EXPECT_EQ(file.bootSector, -1);

    // A byte-order mark makes the first line a data line, so its address is lost.
    const LodFile bom = loadText("\xEF\xBB\xBF@08000000\n5\n6\n");
    ASSERT_EQ(bom.packets.size(), 1u);
    EXPECT_EQ(bom.packets[0]->address, 0u);
    EXPECT_EQ(bom.packets[0]->words, (std::vector<uint32_t>{0, 5, 6}));
}

TEST(LodLines, NulEndsTheText)
{
    const LodFile file = loadText(std::string("@10\n1\n2\0\n3\n@20\n4\n", 17));
    ASSERT_EQ(file.packets.size(), 1u);
    EXPECT_EQ(file.packets[0]->words, (std::vector<uint32_t>{1, 2}));

    const LodFile leading = loadText(std::string("\0@10\n1\n", 7));
    EXPECT_TRUE(leading.packets.empty());
    EXPECT_EQ(leading.bootSector, -1);

    const LodFile comments = loadText("# nothing but words about words\n#\n\n");
    EXPECT_TRUE(comments.packets.empty());
}

// ---- sections and joining ----

TEST(LodSections, FileOrderBeforeJoining)
{
    const LodFile file = loadText("5\n6\n@300\n@200\n7\n@100\n8\n9\n");
    ASSERT_EQ(file.packets.size(), 3u);
    // Words before any address line lie at 0; of two address lines in a row only the last counts.
    EXPECT_EQ(file.packets[0]->address, 0u);
    EXPECT_EQ(file.packets[0]->words, (std::vector<uint32_t>{5, 6}));
    EXPECT_EQ(file.packets[1]->address, 0x200u);
    EXPECT_EQ(file.packets[1]->words, (std::vector<uint32_t>{7}));
    EXPECT_EQ(file.packets[2]->address, 0x100u);
    EXPECT_EQ(file.packets[2]->words, (std::vector<uint32_t>{8, 9}));
}

TEST(LodSections, ReversedBlocksJoinInAddressOrder)
{
    const LodFile file =
        loadAndMerge("@08001000\n" + countingWords(0xB0000000, 1024) + "@08000000\n" + countingWords(0xA0000000, 1024));
    ASSERT_EQ(file.packets.size(), 1u);
    const LodPacket &packet = *file.packets[0];
    EXPECT_EQ(packet.address, 0x08000000u);
    ASSERT_EQ(packet.words.size(), 2048u);
    EXPECT_EQ(packet.words[0], 0xA0000000u);
    EXPECT_EQ(packet.words[1023], 0xA0000000u + 1023);
    EXPECT_EQ(packet.words[1024], 0xB0000000u);
    EXPECT_EQ(packet.words[2047], 0xB0000000u + 1023);
}

TEST(LodSections, ChainsJoinAndBreaksStay)
{
    // Three pieces that continue one another in shuffled order, then a piece after a gap.
    const LodFile file = loadAndMerge("@108\n3\n@100\n1\n@200\n9\n@104\n2\n");
    ASSERT_EQ(file.packets.size(), 2u);
    EXPECT_EQ(file.packets[0]->address, 0x100u);
    EXPECT_EQ(file.packets[0]->words, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(file.packets[1]->address, 0x200u);
    EXPECT_EQ(file.packets[1]->words, (std::vector<uint32_t>{9}));
}

TEST(LodSections, GapsOverlapsAndRepeatsAreNeverCombined)
{
    const LodFile gap = loadAndMerge("@100\n1\n2\n@10c\n3\n");
    ASSERT_EQ(gap.packets.size(), 2u);
    EXPECT_EQ(gap.packets[1]->address, 0x10Cu);

    const LodFile overlap = loadAndMerge("@100\n1\n2\n3\n@104\n7\n8\n9\n");
    ASSERT_EQ(overlap.packets.size(), 2u);
    EXPECT_EQ(overlap.packets[0]->words, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(overlap.packets[1]->address, 0x104u);
    EXPECT_EQ(overlap.packets[1]->words, (std::vector<uint32_t>{7, 8, 9}));

    const LodFile repeat = loadAndMerge("@100\n1\n@100\n2\n");
    ASSERT_EQ(repeat.packets.size(), 2u);
    EXPECT_EQ(repeat.packets[0]->address, 0x100u);
    EXPECT_EQ(repeat.packets[1]->address, 0x100u);
    EXPECT_EQ(repeat.packets[0]->words.size() + repeat.packets[1]->words.size(), 2u);

    // An address line that is not word aligned joins nothing either.
    const LodFile unaligned = loadAndMerge("@100\n1\n@105\n2\n");
    EXPECT_EQ(unaligned.packets.size(), 2u);
}

TEST(LodSections, SortIsUnsignedAndWordsBeforeAnAddressComeFirst)
{
    const LodFile file = loadAndMerge("@F0000000\n1\n@10000000\n2\n@80000000\n3\n@0\n4\n");
    ASSERT_EQ(file.packets.size(), 4u);
    EXPECT_EQ(file.packets[0]->address, 0u);
    EXPECT_EQ(file.packets[1]->address, 0x10000000u);
    EXPECT_EQ(file.packets[2]->address, 0x80000000u);
    EXPECT_EQ(file.packets[3]->address, 0xF0000000u);

    const LodFile early = loadAndMerge("@08000000\n1\n@0\n@1000\n2\n");
    ASSERT_EQ(early.packets.size(), 2u);
    EXPECT_EQ(early.packets[0]->address, 0x1000u);
    EXPECT_EQ(early.packets[0]->words, (std::vector<uint32_t>{2}));

    const LodFile loose = loadAndMerge("5\n@0004\n6\n");
    ASSERT_EQ(loose.packets.size(), 1u);
    EXPECT_EQ(loose.packets[0]->words, (std::vector<uint32_t>{5, 6}));
}

TEST(LodSections, SingleAndNoSection)
{
    LodFile one;
    auto packet = std::make_shared<LodPacket>();
    packet->address = 0xFFFFFFF8;
    packet->words = {1, 2};
    one.packets.push_back(packet);
    one.mergePackets();
    ASSERT_EQ(one.packets.size(), 1u);
    EXPECT_EQ(one.packets[0]->address, 0xFFFFFFF8u);
    EXPECT_EQ(one.packets[0]->words, (std::vector<uint32_t>{1, 2}));

    LodFile none;
    none.mergePackets();
    EXPECT_TRUE(none.packets.empty());
}

// ---- boot-sector tag ----

TEST(LodBootTag, ValueAfterTheFirstHexPrefix)
{
    EXPECT_EQ(loadText("#$BOOT_SECTOR 0x400\n").bootSector, 0x400);
    EXPECT_EQ(loadText("# 0x400 is where the $BOOT_SECTOR lies\n").bootSector, 0x400);
    EXPECT_EQ(loadText("#$BOOT_SECTOR=0x400;\n").bootSector, 0x400);
    EXPECT_EQ(loadText("#$BOOT_SECTOR 0x123456789\n").bootSector, 0x23456789);
    EXPECT_EQ(loadText("#$BOOT_SECTOR 0xFFFFFFFE\n").bootSector, -2);
    EXPECT_EQ(loadText("#$BOOT_SECTOR 0x 10\n").bootSector, 0x10);
    EXPECT_EQ(loadText("#$BOOT_SECTOR 0xzz\n").bootSector, 0);
    EXPECT_EQ(loadText("#$BOOT_SECTOR 0x0x20\n").bootSector, 0x20);
}

TEST(LodBootTag, LastLineWinsAndEmptyValuesKeepIt)
{
    EXPECT_EQ(loadText("#$BOOT_SECTOR 0x400\n@0\n1\n#$BOOT_SECTOR 0x800\n2\n").bootSector, 0x800);
    EXPECT_EQ(loadText("#$BOOT_SECTOR 0x400\n#$BOOT_SECTOR 0x\n").bootSector, 0x400);
    EXPECT_EQ(loadText("#$BOOT_SECTOR 0x").bootSector, -1);
    // A tag line naming no "0x" value keeps the earlier value rather than reading a 0.
    EXPECT_EQ(loadText("#$BOOT_SECTOR 0x400\n#$BOOT_SECTOR 800\n").bootSector, 0x400);
    EXPECT_EQ(loadText("#$BOOT_SECTOR\n").bootSector, -1);
    EXPECT_EQ(loadText("#$BOOT_SECTOR 0X400\n").bootSector, -1);
}

TEST(LodBootTag, OtherLinesAreNotTags)
{
    EXPECT_EQ(loadText("@0\n1\n").bootSector, -1);
    EXPECT_EQ(loadText("# 0x400\n").bootSector, -1);
    EXPECT_EQ(loadText("#$boot_sector 0x400\n").bootSector, -1);
    EXPECT_EQ(loadText("#$BOOT_Sector 0x400\n").bootSector, -1);
    const LodFile dataLine = loadText("@0\n$BOOT_SECTOR 0x400\n");
    EXPECT_EQ(dataLine.bootSector, -1);
    ASSERT_EQ(dataLine.packets.size(), 1u);
    EXPECT_EQ(dataLine.packets[0]->words, (std::vector<uint32_t>{0}));
}

// ---- writeWord ----

TEST(LodWriteWord, OnlyWordsInsideTheSection)
{
    LodPacket packet;
    packet.address = 0x1000;
    packet.words = {0, 0, 0, 0};
    packet.writeWord(0x1005, 0xA);
    packet.writeWord(0x100F, 0xB);
    packet.writeWord(0x1010, 0xC);
    packet.writeWord(0x0FFF, 0xD);
    packet.writeWord(0, 0xE);
    packet.writeWord(0xFFFFFFFF, 0xF);
    EXPECT_EQ(packet.words, (std::vector<uint32_t>{0, 0xA, 0, 0xB}));

    LodPacket top;
    top.address = 0xFFFFFFF8;
    top.words = {0, 0};
    top.writeWord(0xFFFFFFFF, 1);
    top.writeWord(0x4, 2);
    EXPECT_EQ(top.words, (std::vector<uint32_t>{0, 1}));
}

// ---- opening and reading files ----

TEST(LodFileAccess, UnreadablePathsFail)
{
    TempDir dir;
    LodFile file;
    EXPECT_FALSE(file.load(nullptr));
    EXPECT_FALSE(file.load(dir.path("missing.lod").c_str()));
    EXPECT_FALSE(file.load(dir.dir().c_str()));
    writeFile(dir.path("empty.lod"), "");
    EXPECT_FALSE(file.load(dir.path("empty.lod").c_str()));
    EXPECT_TRUE(file.packets.empty());
    EXPECT_EQ(file.bootSector, -1);
}

TEST(LodFileAccess, Utf8Paths)
{
    TempDir dir;
    const std::string path = dir.path("Прошивка ü 固件.lod");
    writeFile(path, "@08000000\n1\n");

    std::FILE *stream = openFileUtf8(path.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    char head[3] = {};
    EXPECT_EQ(std::fread(head, 1, 2, stream), 2u);
    std::fclose(stream);
    EXPECT_STREQ(head, "@0");

    LodFile file;
    ASSERT_TRUE(file.load(path.c_str()));
    ASSERT_EQ(file.packets.size(), 1u);
    EXPECT_EQ(file.packets[0]->address, 0x08000000u);

    EXPECT_EQ(openFileUtf8(nullptr, "rb"), nullptr);
    EXPECT_EQ(openFileUtf8(dir.path("Прошивка 2.lod").c_str(), "rb"), nullptr);
}

TEST(LodFileAccess, LongLinesAndUnterminatedEnd)
{
    // One very long line of blanks followed by digits is still one word.
    std::string text = "@0\n" + std::string(3000000, ' ') + "abcdef01\n";
    text += std::string(2000000, '0') + "12345678";
    const LodFile file = loadText(text);
    ASSERT_EQ(file.packets.size(), 1u);
    EXPECT_EQ(file.packets[0]->words, (std::vector<uint32_t>{0xABCDEF01, 0x12345678}));
}

// ---- code image checks ----

namespace {

const CodeArea area{0x08000000, 0x10000, 0x100000};

struct ImageFile {
    TempDir dir;
    std::string path;
    explicit ImageFile(const std::string &text) : path(dir.path("image.lod")) { writeFile(path, text); }
};

int loadImageText(const std::string &text, LodPacketPtr &out, const CodeArea &codeArea = area)
{
    const ImageFile file(text);
    return loadCodeImage(file.path.c_str(), codeArea, out);
}

} // namespace

TEST(CodeImageChecks, ValidImagesAndTheirBytes)
{
    const std::vector<uint8_t> bytes = firmwareLikeBytes(0x10000, 1);
    LodPacketPtr out;
    ASSERT_EQ(loadImageText(makeLodText(0x08010000, bytes), out), FOTA_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->address, 0x08010000u);
    EXPECT_EQ(bytesOf(*out), bytes);

    const std::vector<uint8_t> full = firmwareLikeBytes(0x100000, 2);
    ASSERT_EQ(loadImageText(makeLodText(0x08010000, full), out), FOTA_OK);
    EXPECT_EQ(bytesOf(*out), full);

    // Two pieces that continue one another form one image.
    const std::vector<uint8_t> tail(full.begin() + 0x3000, full.begin() + 0x8000);
    const std::vector<uint8_t> head(full.begin(), full.begin() + 0x3000);
    ASSERT_EQ(loadImageText(makeLodText(0x08013000, tail) + makeLodText(0x08010000, head), out), FOTA_OK);
    EXPECT_EQ(bytesOf(*out), std::vector<uint8_t>(full.begin(), full.begin() + 0x8000));
}

TEST(CodeImageChecks, EachRuleHasItsCode)
{
    const std::vector<uint8_t> bytes = firmwareLikeBytes(0x10000, 3);
    LodPacketPtr out;
    EXPECT_EQ(loadImageText(makeLodText(0x08000000, bytes), out), FOTA_OLD_ADDRESS_MISMATCH);
    EXPECT_EQ(loadImageText(makeLodText(0x08011000, bytes), out), FOTA_OLD_ADDRESS_MISMATCH);
    EXPECT_EQ(loadImageText(makeLodText(0x08010000, firmwareLikeBytes(4100, 4)), out), FOTA_OLD_SIZE_MISALIGNED);
    EXPECT_EQ(loadImageText(makeLodText(0x08010000, firmwareLikeBytes(4092, 4)), out), FOTA_OLD_SIZE_MISALIGNED);
    EXPECT_EQ(loadImageText(makeLodText(0x08010000, firmwareLikeBytes(0x101000, 5)), out), FOTA_OLD_TOO_LARGE);

    const std::vector<uint8_t> block = firmwareLikeBytes(0x1000, 6);
    EXPECT_EQ(loadImageText(makeLodText(0x08010000, block) + makeLodText(0x08012000, block), out),
              FOTA_OLD_NOT_CONTIGUOUS);
    EXPECT_EQ(loadImageText(makeLodText(0x08010000, block) + makeLodText(0x08010000, block), out),
              FOTA_OLD_NOT_CONTIGUOUS);
    EXPECT_EQ(loadImageText(makeLodText(0x08010000, block) + makeLodText(0x08010800, block), out),
              FOTA_OLD_NOT_CONTIGUOUS);
}

TEST(CodeImageChecks, EarliestFailureDecides)
{
    LodPacketPtr out;
    // Size before address, address before the size limit.
    EXPECT_EQ(loadImageText(makeLodText(0x08000000, firmwareLikeBytes(4100, 7)), out), FOTA_OLD_SIZE_MISALIGNED);
    EXPECT_EQ(loadImageText(makeLodText(0x08000000, firmwareLikeBytes(0x101000, 8)), out), FOTA_OLD_ADDRESS_MISMATCH);
    // Contiguity before everything that looks at the section.
    const std::vector<uint8_t> odd = firmwareLikeBytes(4100, 9);
    EXPECT_EQ(loadImageText(makeLodText(0x1000, odd) + makeLodText(0x9000, odd), out), FOTA_OLD_NOT_CONTIGUOUS);
}

TEST(CodeImageChecks, OutIsWrittenFromTheContiguityCheckOn)
{
    const auto sentinel = std::make_shared<LodPacket>();
    LodPacketPtr out = sentinel;
    TempDir dir;
    EXPECT_EQ(loadCodeImage(nullptr, area, out), FOTA_OLD_LOD_UNREADABLE);
    EXPECT_EQ(loadCodeImage(dir.path("missing.lod").c_str(), area, out), FOTA_OLD_LOD_UNREADABLE);
    EXPECT_EQ(loadImageText("", out), FOTA_OLD_LOD_UNREADABLE);
    EXPECT_EQ(loadCodeImage(dir.dir().c_str(), area, out), FOTA_OLD_LOD_UNREADABLE);
    EXPECT_EQ(loadImageText("# only comments\n#$BOOT_SECTOR 0x10000\n", out), FOTA_OLD_NOT_CONTIGUOUS);
    EXPECT_EQ(out, sentinel);

    EXPECT_EQ(loadImageText(makeLodText(0x08000000, firmwareLikeBytes(0x1000, 10)), out), FOTA_OLD_ADDRESS_MISMATCH);
    ASSERT_NE(out, sentinel);
    EXPECT_EQ(out->address, 0x08000000u);
}

namespace {

// Whether imageBytes can be called with these arguments.
template <typename... Arguments>
auto imageBytesTakes(int) -> decltype(imageBytes(std::declval<Arguments>()...), std::true_type{});
template <typename...>
std::false_type imageBytesTakes(...);

} // namespace

// A size given by the caller could be smaller than the image and be written past.
static_assert(!decltype(imageBytesTakes<const LodPacket &, size_t>(0))::value, "imageBytes sizes its bytes itself");

TEST(CodeImageChecks, ImageBytesAreTheWordsLittleEndian)
{
    LodPacket image;
    image.words = {0x04030201, 0xD9EF0045, 0};
    EXPECT_EQ(imageBytes(image), (std::vector<uint8_t>{1, 2, 3, 4, 0x45, 0x00, 0xEF, 0xD9, 0, 0, 0, 0}));
    EXPECT_TRUE(imageBytes(LodPacket()).empty());
}

TEST(CodeImageChecks, ImagesTheDifferCannotCountAreTooLarge)
{
    // An area near 4 GiB would admit images whose sizes the differ's signed counts cannot hold.
    const CodeArea huge{0x08000000, 0, 0xFFFFF000};
    EXPECT_EQ(checkImagePlacement(0x08000000, largestImageSize, huge), FOTA_OK);
    EXPECT_EQ(largestImageSize, 0x7FFFF000u);
    EXPECT_EQ(checkImagePlacement(0x08000000, uint64_t{largestImageSize} + sectorSize, huge), FOTA_OLD_TOO_LARGE);
    EXPECT_EQ(checkImagePlacement(0x08000000, 0xFFFFF000, huge), FOTA_OLD_TOO_LARGE);
    // The smaller limit decides, and the earlier checks still come first.
    EXPECT_EQ(checkImagePlacement(0x08000000, 0x101000, CodeArea{0x08000000, 0, 0x100000}), FOTA_OLD_TOO_LARGE);
    EXPECT_EQ(checkImagePlacement(0x08001000, 0x80000000, huge), FOTA_OLD_ADDRESS_MISMATCH);
    EXPECT_EQ(checkImagePlacement(0x08000000, 0x80000004, huge), FOTA_OLD_SIZE_MISALIGNED);
}

TEST(CodeImageChecks, CodeStartWrapsAt32Bits)
{
    const CodeArea high{0xFFFFF000, 0x2000, 0x10000};
    const std::vector<uint8_t> bytes = firmwareLikeBytes(0x1000, 11);
    LodPacketPtr out;
    ASSERT_EQ(loadImageText(makeLodText(0x00001000, bytes, 0x2000), out, high), FOTA_OK);
    EXPECT_EQ(out->words[0], bootMarker);
}

// ---- boot marker ----

namespace {

// The image bytes after loading bytes at the code start with the given tag.
std::vector<uint8_t> markedBytes(const std::vector<uint8_t> &bytes, int64_t tag, const CodeArea &codeArea = area)
{
    LodPacketPtr out;
    const uint32_t start = codeArea.flashBase + codeArea.codeBase;
    EXPECT_EQ(loadImageText(makeLodText(start, bytes, tag), out, codeArea), FOTA_OK);
    return out ? bytesOf(*out) : std::vector<uint8_t>();
}

std::vector<uint8_t> withMarkerAt(std::vector<uint8_t> bytes, size_t offset)
{
    const uint8_t marker[4] = {0x45, 0x00, 0xEF, 0xD9};
    std::copy(marker, marker + 4, bytes.begin() + offset);
    return bytes;
}

} // namespace

TEST(CodeImageBootMarker, TagInsideTheRangeMarksItsWord)
{
    const std::vector<uint8_t> small = firmwareLikeBytes(0x10000, 12);
    const std::vector<uint8_t> large = firmwareLikeBytes(0x100000, 13);
    EXPECT_EQ(markedBytes(small, 0x10000), withMarkerAt(small, 0));
    EXPECT_EQ(markedBytes(small, 0x10002), withMarkerAt(small, 0));
    EXPECT_EQ(markedBytes(small, 0x10007), withMarkerAt(small, 4));
    EXPECT_EQ(markedBytes(large, 0x20000), withMarkerAt(large, 0x10000));
    EXPECT_EQ(markedBytes(large, 0xFFFFF), withMarkerAt(large, 0xEFFFC));
}

TEST(CodeImageBootMarker, TagOutsideTheRangeChangesNothing)
{
    const std::vector<uint8_t> small = firmwareLikeBytes(0x10000, 14);
    const std::vector<uint8_t> large = firmwareLikeBytes(0x100000, 15);
    EXPECT_EQ(markedBytes(small, -1), small);
    EXPECT_EQ(markedBytes(small, 0x20000), small) << "in range, but past the image's end";
    EXPECT_EQ(markedBytes(small, 0xFFFF), small);
    EXPECT_EQ(markedBytes(small, 0), small);
    // The bound is codeSize itself, so offsets from there to the area's end are never marked.
    EXPECT_EQ(markedBytes(large, 0x100000), large);
    EXPECT_EQ(markedBytes(large, 0x108000), large);
    EXPECT_EQ(markedBytes(large, 0xFFFFFFFF), large);
}

TEST(CodeImageBootMarker, CodeAreaAtTheFlashStart)
{
    const CodeArea zero{0x08000000, 0, 0x100000};
    const std::vector<uint8_t> bytes = firmwareLikeBytes(0x2000, 16);
    EXPECT_EQ(markedBytes(bytes, 0, zero), withMarkerAt(bytes, 0));
    EXPECT_EQ(markedBytes(bytes, 0x1FFC, zero), withMarkerAt(bytes, 0x1FFC));
    EXPECT_EQ(markedBytes(bytes, 0x2000, zero), bytes);
}

TEST(CodeImageBootMarker, LastTagDecidesAndMarkerReadsLittleEndian)
{
    const std::vector<uint8_t> bytes(0x10000, 0x00);
    const std::string text = "#$BOOT_SECTOR 0x10000\n" + makeLodText(0x08010000, bytes) + "#$BOOT_SECTOR 0x10100\n";
    LodPacketPtr out;
    ASSERT_EQ(loadImageText(text, out), FOTA_OK);
    EXPECT_EQ(out->words[0], 0u);
    EXPECT_EQ(out->words[0x40], bootMarker);
    const std::vector<uint8_t> image = bytesOf(*out);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 0x100, image.begin() + 0x104),
              (std::vector<uint8_t>{0x45, 0x00, 0xEF, 0xD9}));
    EXPECT_EQ(wordsOf(image), out->words);
}
