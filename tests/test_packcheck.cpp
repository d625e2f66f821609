#include <gtest/gtest.h>

#include <lzma.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>

#include "common/crc32.h"
#include "container/lzma_adapter.h"
#include "container/pack_header.h"
#include "diff/patch_stream.h"
#include "pack/planner.h"
#include "packcheck/pack_file.h"
#include "packcheck/pack_info.h"
#include "packcheck/sector_map.h"
#include "quarnel.h"
#include "support/pack_replay.h"
#include "support/run_tool.h"
#include "support/test_files.h"
#include "verify/pack_reader.h"
#include "verify/pack_verifier.h"

using quarnel::verify::VerifyResult;
using testsupport::firmwareLikeBytes;
using testsupport::readLe32;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t flashBase = 0x08000000;
constexpr uint32_t codeBase = 0x10000;
const CodeArea area = {flashBase, codeBase, 0x100000};

void putLe32(Bytes &bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t crcOf(const Bytes &bytes)
{
    return quarnel::packCrc32(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// A pack made the way FotaCreatePack makes it, with the pieces the tests doctor.
struct Made {
    Bytes oldBytes;
    Bytes newBytes;
    CodeArea area;
    quarnel::ChunkList chunks;
    Bytes stream;
    Bytes pack;
};

// Compresses a stream and wraps it in a pack whose header describes oldBytes,
// so that a doctored stream is the only thing wrong with it.
Bytes packOf(const Bytes &stream, const Bytes &oldBytes, uint32_t base)
{
    Bytes block;
    EXPECT_EQ(quarnel::compressPatchStream(stream.data(), static_cast<int32_t>(stream.size()), block), FOTA_OK);
    return quarnel::buildPack(base, static_cast<uint32_t>(oldBytes.size()), crcOf(oldBytes), block.data(),
                              static_cast<uint32_t>(block.size()));
}

Made make(const Bytes &oldBytes, const Bytes &newBytes, const CodeArea &a = area)
{
    Made made{oldBytes, newBytes, a, {}, {}, {}};
    Bytes working = oldBytes;
    working.resize(std::max(oldBytes.size(), newBytes.size()));
    made.chunks = quarnel::planUpdate(working.data(), static_cast<uint32_t>(oldBytes.size()), newBytes.data(),
                                      static_cast<uint32_t>(newBytes.size()), a.codeBase)
                      .chunks;
    made.stream = quarnel::serializePatches(made.chunks, newBytes.data(), a.codeBase);
    made.pack = packOf(made.stream, oldBytes, a.codeBase);
    return made;
}

// Old image of 12 KiB; the new one has 256 bytes inserted at 0x800 and a fresh
// fourth sector, so it is cut into four 4 KiB chunks.
const Made &smallPack()
{
    static const Made made = [] {
        const Bytes oldBytes = firmwareLikeBytes(0x3000, 21);
        Bytes newBytes(oldBytes.begin(), oldBytes.begin() + 0x800);
        const Bytes inserted = firmwareLikeBytes(0x1000, 22);
        newBytes.insert(newBytes.end(), inserted.begin(), inserted.begin() + 0x100);
        newBytes.insert(newBytes.end(), oldBytes.begin() + 0x800, oldBytes.end() - 0x100);
        newBytes.insert(newBytes.end(), inserted.begin(), inserted.end());
        return make(oldBytes, newBytes);
    }();
    return made;
}

VerifyResult verify(const Bytes &pack, const Bytes &oldBytes, const Bytes &newBytes, const CodeArea &a = area)
{
    return quarnel::verify::verifyPack(pack, a, oldBytes, newBytes);
}

VerifyResult verify(const Bytes &pack, const Made &made = smallPack())
{
    return verify(pack, made.oldBytes, made.newBytes, made.area);
}

std::string findingsOf(const VerifyResult &result)
{
    std::string text;
    for (const auto &finding : result.findings)
        text += finding.text + "\n";
    return text;
}

// Every finding carries the result's code, and there is one exactly when the pack fails.
::testing::AssertionResult rejected(const VerifyResult &result, int code, const std::string &mention)
{
    if (result.code != code)
        return ::testing::AssertionFailure() << "code " << result.code << " instead of " << code << "\n"
                                             << findingsOf(result);
    if (result.findings.empty())
        return ::testing::AssertionFailure() << "no finding";
    for (const auto &finding : result.findings)
        if (finding.code != code)
            return ::testing::AssertionFailure() << "finding with code " << finding.code << ": " << finding.text;
    if (findingsOf(result).find(mention) == std::string::npos)
        return ::testing::AssertionFailure() << "no finding mentions \"" << mention << "\":\n" << findingsOf(result);
    return ::testing::AssertionSuccess();
}

// Stream positions of entries, from the plan's record counts rather than the parser.
size_t chunkEntryAt(const Made &made, size_t chunk)
{
    size_t at = 4;
    for (size_t c = 0; c < chunk; ++c)
        at += 12 + 12 * made.chunks[c].size();
    return at;
}

size_t recordEntryAt(const Made &made, size_t chunk, size_t record)
{
    return chunkEntryAt(made, chunk) + 12 + 12 * record;
}

size_t firstReadingRecord(const Made &made, size_t chunk)
{
    const quarnel::PatchList &records = made.chunks[chunk];
    size_t r = 0;
    while (r < records.size() && records[r]->diffBytes.empty())
        ++r;
    EXPECT_LT(r, records.size()) << "chunk " << chunk << " reads no old bytes";
    return r;
}

size_t areasStart(const Made &made)
{
    return chunkEntryAt(made, made.chunks.size());
}

Bytes withData(const Bytes &pack, const Bytes &data)
{
    return quarnel::buildPack(readLe32(&pack[12]), readLe32(&pack[16]), readLe32(&pack[8]), data.data(),
                              static_cast<uint32_t>(data.size()));
}

Bytes dataOf(const Bytes &pack)
{
    return Bytes(pack.begin() + 28, pack.end());
}

} // namespace

TEST(PackCheckAccepts, PlannerPacksOfEveryShape)
{
    const Bytes base = firmwareLikeBytes(0x40000, 1);
    const Bytes fresh = firmwareLikeBytes(0x40000, 2);
    auto join = [](const Bytes &a, size_t aFrom, size_t aTo, const Bytes &b, size_t bFrom, size_t bTo) {
        Bytes out(a.begin() + aFrom, a.begin() + aTo);
        out.insert(out.end(), b.begin() + bFrom, b.begin() + bTo);
        return out;
    };
    const Bytes old64k(base.begin(), base.begin() + 0x20000);
    struct Case {
        const char *name;
        Bytes oldBytes, newBytes;
        CodeArea area;
        quarnel::verify::Walk walk;
    };
    const Case cases[] = {
        {"content moved down", old64k, join(old64k, 0x10000, 0x20000, fresh, 0, 0x10000), area,
         quarnel::verify::Walk::forward},
        {"content moved up", old64k, join(fresh, 0, 0x10000, old64k, 0, 0x20000), area, quarnel::verify::Walk::backward},
        {"grown to twice the size", old64k, join(old64k, 0, 0x20000, old64k, 0, 0x20000), area,
         quarnel::verify::Walk::backward},
        {"shrunk to three eighths", old64k, Bytes(base.begin() + 0x1000, base.begin() + 0x19000), area,
         quarnel::verify::Walk::forward},
        {"identical", old64k, old64k, area, quarnel::verify::Walk::backward},
        {"unaligned base, mixed chunk sizes",
         old64k,
         join(old64k, 0, 0x1F000, fresh, 0, 0x1000),
         {flashBase, 0x3000, 0x40000},
         quarnel::verify::Walk::backward},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Made made = make(c.oldBytes, c.newBytes, c.area);
        const VerifyResult result = verify(made.pack, made);
        EXPECT_EQ(result.code, FOTA_OK) << findingsOf(result);
        EXPECT_TRUE(result.findings.empty());
        EXPECT_NE(result.summary.find("pack verified"), std::string::npos);
        // The independent replay agrees.
        EXPECT_TRUE(testsupport::replayStream(made.stream, made.oldBytes, c.area.codeBase, made.newBytes));

        quarnel::verify::PackContents contents;
        quarnel::verify::Findings findings;
        ASSERT_EQ(quarnel::verify::readPack(made.pack, quarnel::verify::maxStreamLength, contents, findings), FOTA_OK);
        EXPECT_EQ(contents.stream, made.stream);
        EXPECT_EQ(contents.chunks.size(), made.chunks.size());
        EXPECT_EQ(quarnel::verify::walkOf(contents.chunks), c.walk);
    }
}

TEST(PackCheckRejects, TruncatedAtEveryLength)
{
    const Made &made = smallPack();
    ASSERT_EQ(verify(made.pack).code, FOTA_OK);
    ASSERT_LT(made.pack.size(), 20000u) << "the test wants a small pack";
    for (size_t length = 0; length < made.pack.size(); ++length) {
        const Bytes cut(made.pack.begin(), made.pack.begin() + length);
        ASSERT_TRUE(rejected(verify(cut), FOTA_PACK_INVALID, length < 28 ? "header" : "(dataLength)"))
            << "length " << length;
    }
    // Cut data behind a header that agrees with it: the LZMA block itself must give way.
    const Bytes data = dataOf(made.pack);
    for (size_t length = 0; length < data.size(); ++length) {
        const Bytes cut = withData(made.pack, Bytes(data.begin(), data.begin() + length));
        ASSERT_TRUE(rejected(verify(cut), FOTA_PACK_INVALID, length < 13 ? "LZMA header" : "LZMA data"))
            << "data length " << length;
    }
}

TEST(PackCheckRejects, EachHeaderField)
{
    const Made &made = smallPack();
    struct Case {
        size_t at;
        uint32_t change;
        const char *mention;
    };
    const Case cases[] = {
        {0, 0x01, "(magic)"},       {7, 0x01, "(magic)"},
        {8, 0x01, "(oldCrc)"},      {12, 0x1000, "(oldStart)"},
        {16, 0x1000, "(oldSize)"},  {20, 0x80000000, "(dataCrc)"},
        {24, 0x01, "(dataLength)"}, {24, 0xFFFFFFFF, "(dataLength)"},
    };
    for (const Case &c : cases) {
        Bytes pack = made.pack;
        if (c.at < 8)
            pack[c.at] ^= static_cast<uint8_t>(c.change);
        else
            putLe32(pack, c.at, readLe32(&pack[c.at]) ^ c.change);
        EXPECT_TRUE(rejected(verify(pack), FOTA_PACK_INVALID, c.mention)) << "byte " << c.at;
    }
    // Two wrong fields give two findings.
    Bytes pack = made.pack;
    pack[0] = 'X';
    putLe32(pack, 8, readLe32(&pack[8]) + 1);
    EXPECT_EQ(verify(pack).findings.size(), 2u);
}

TEST(PackCheckRejects, LzmaHeaderEndMarkerAndTrailingBytes)
{
    const Made &made = smallPack();
    const Bytes data = dataOf(made.pack);
    auto withDataByte = [&](size_t at, uint8_t value) {
        Bytes changed = data;
        changed[at] = value;
        return withData(made.pack, changed);
    };
    EXPECT_TRUE(rejected(verify(withDataByte(0, 0x5E)), FOTA_PACK_INVALID, "(LZMA properties)"));
    EXPECT_TRUE(rejected(verify(withDataByte(4, 0x01)), FOTA_PACK_INVALID, "(LZMA dictionary)"));
    EXPECT_TRUE(rejected(verify(withDataByte(1, 0x01)), FOTA_PACK_INVALID, "(LZMA dictionary)"));
    // A stated length beyond any stream for the area is refused before decoding.
    EXPECT_TRUE(rejected(verify(withDataByte(12, 0x01)), FOTA_PACK_INVALID, "(LZMA length)"));
    EXPECT_TRUE(rejected(verify(withDataByte(8, 0xFF)), FOTA_PACK_INVALID, "(LZMA length)"));
    const uint64_t stated = made.stream.size();
    for (uint64_t wrong : {stated - 1, stated + 1}) {
        Bytes changed = data;
        for (int i = 0; i < 8; ++i)
            changed[5 + i] = static_cast<uint8_t>(wrong >> (8 * i));
        EXPECT_TRUE(rejected(verify(withData(made.pack, changed)), FOTA_PACK_INVALID, "LZMA data")) << wrong;
    }

    Bytes trailing = data;
    trailing.push_back(0);
    EXPECT_TRUE(rejected(verify(withData(made.pack, trailing)), FOTA_PACK_INVALID, "1 bytes follow the end"));

    // The same stream, encoded with an end marker after its stated length.
    lzma_options_lzma options;
    ASSERT_FALSE(lzma_lzma_preset(&options, 1));
    options.dict_size = quarnel::lzmaWindowSize;
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    options.ext_size_low = 0;
    options.ext_size_high = 0;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes marked(data.begin(), data.begin() + quarnel::lzmaHeaderSize);
    marked.resize(marked.size() + made.stream.size() + 4096);
    size_t outPos = quarnel::lzmaHeaderSize;
    ASSERT_EQ(lzma_raw_buffer_encode(filters, nullptr, made.stream.data(), made.stream.size(), marked.data(), &outPos,
                                     marked.size()),
              LZMA_OK);
    marked.resize(outPos);
    EXPECT_TRUE(rejected(verify(withData(made.pack, marked)), FOTA_PACK_INVALID, "end marker"));
    // Without the marker the same encoding passes: the marker alone was refused.
    options.ext_flags = 0;
    outPos = quarnel::lzmaHeaderSize;
    marked.resize(quarnel::lzmaHeaderSize + made.stream.size() + 4096);
    ASSERT_EQ(lzma_raw_buffer_encode(filters, nullptr, made.stream.data(), made.stream.size(), marked.data(), &outPos,
                                     marked.size()),
              LZMA_OK);
    marked.resize(outPos);
    EXPECT_EQ(verify(withData(made.pack, marked)).code, FOTA_OK);
}

TEST(PackCheckRejects, FlippedDataBit)
{
    const Made &made = smallPack();
    const Bytes data = dataOf(made.pack);
    for (size_t at = 0; at < data.size(); ++at) {
        Bytes pack = made.pack;
        pack[28 + at] ^= static_cast<uint8_t>(1u << (at % 8));
        ASSERT_TRUE(rejected(verify(pack), FOTA_PACK_INVALID, "(dataCrc)")) << "data byte " << at;

        // With a matching data CRC the damage is found further in, unless the stream came out unchanged.
        Bytes changed = data;
        changed[at] ^= static_cast<uint8_t>(1u << (at % 8));
        const Bytes rebuilt = withData(made.pack, changed);
        const VerifyResult result = verify(rebuilt);
        if (result.code == FOTA_OK) {
            quarnel::verify::PackContents contents;
            quarnel::verify::Findings findings;
            ASSERT_EQ(quarnel::verify::readPack(rebuilt, quarnel::verify::maxStreamLength, contents, findings),
                      FOTA_OK);
            EXPECT_EQ(contents.stream, made.stream) << "data byte " << at << " changed the stream but passed";
        } else {
            EXPECT_TRUE(result.code == FOTA_PACK_INVALID || result.code == FOTA_UPGRADE_FAILED ||
                        result.code == FOTA_NEW_MISMATCH)
                << result.code;
        }
    }
}

TEST(PackCheckRejects, StreamCountsAndLengthsDisagree)
{
    const Made &made = smallPack();
    ASSERT_EQ(made.chunks.size(), 4u);
    const size_t chunk1 = chunkEntryAt(made, 1);
    const size_t chunk3 = chunkEntryAt(made, 3);
    const size_t record0 = recordEntryAt(made, 0, 0);
    struct Case {
        const char *name;
        std::function<void(Bytes &)> doctor;
        const char *mention;
    };
    auto add = [](size_t at, uint32_t delta) {
        return [at, delta](Bytes &s) { putLe32(s, at, readLe32(&s[at]) + delta); };
    };
    auto set = [](size_t at, uint32_t value) { return [at, value](Bytes &s) { putLe32(s, at, value); }; };
    const Case cases[] = {
        {"one chunk more", add(0, 1), "stream byte"},
        {"one chunk less", add(0, uint32_t(-1)), "stream byte"},
        {"chunk count beyond the stream", set(0, 0xFFFFFFFF), "(chunkCount)"},
        {"one record more", add(12, 1), "stream byte"},
        {"one record less in chunk 1", add(chunk1 + 8, uint32_t(-1)), "stream byte"},
        {"record count beyond the stream", set(chunk1 + 8, 0x20000000), "recordCount"},
        {"one difference byte more", add(record0 + 4, 1), "difference"},
        {"one literal byte more", add(record0 + 8, 1), "literal"},
        {"a byte after the areas", [](Bytes &s) { s.push_back(0); }, "bytes follow the entries"},
        {"the last byte missing", [](Bytes &s) { s.pop_back(); }, "bytes follow the entries"},
        {"only three bytes", [](Bytes &s) { s.resize(3); }, "no chunk count"},
        {"entries cut short", [chunk3](Bytes &s) { s.resize(chunk3 + 6); }, "runs past the end"},
    };
    for (const Case &c : cases) {
        Bytes stream = made.stream;
        c.doctor(stream);
        EXPECT_TRUE(rejected(verify(packOf(stream, made.oldBytes, codeBase)), FOTA_PACK_INVALID, c.mention)) << c.name;
    }
}

TEST(PackCheckRejects, ChunksThatCannotBeApplied)
{
    const Made &made = smallPack();
    ASSERT_EQ(made.chunks.size(), 4u);
    const uint32_t target0 = readLe32(&made.stream[4]);
    const size_t chunk1 = chunkEntryAt(made, 1);
    // The first record of chunks 0 and 1 that reads old bytes.
    const size_t record0 = recordEntryAt(made, 0, firstReadingRecord(made, 0));
    const size_t record1 = recordEntryAt(made, 1, firstReadingRecord(made, 1));
    struct Case {
        const char *name;
        std::function<void(Bytes &)> doctor;
        const char *mention;
    };
    auto flip = [](size_t at, uint32_t mask) {
        return [at, mask](Bytes &s) { putLe32(s, at, readLe32(&s[at]) ^ mask); };
    };
    auto set = [](size_t at, uint32_t value) { return [at, value](Bytes &s) { putLe32(s, at, value); }; };
    const Case cases[] = {
        {"chunk CRC", flip(chunk1 + 4, 1), "chunk 1 at 0x"},
        {"a difference byte", [&](Bytes &s) { s[areasStart(made)] ^= 0x40; }, "chunk 0 at 0x"},
        {"target not aligned", set(4, target0 + 0x800), "not aligned"},
        {"target below the code area", set(4, codeBase - 0x1000), "outside the code area"},
        {"target past the code area", set(4, codeBase + area.codeSize), "outside the code area"},
        {"source past the old image", set(record0, codeBase + 0x3000), "outside the old image"},
        {"source below the old image", set(record0, codeBase - 1), "outside the old image"},
        {"one byte moved between chunks",
         [&](Bytes &s) {
             putLe32(s, record0 + 4, readLe32(&s[record0 + 4]) + 1);
             putLe32(s, record1 + 4, readLe32(&s[record1 + 4]) - 1);
         },
         "is not an erase unit"},
        // What a device refuses packcheck refuses too: a record of no bytes, and units that skip or turn back.
        {"an empty record",
         [&](Bytes &s) {
             const uint32_t records = readLe32(&s[12]);
             putLe32(s, 12, records + 1);
             s.insert(s.begin() + static_cast<std::ptrdiff_t>(16 + 12 * size_t{records}), 12, uint8_t{0});
         },
         "holds no bytes"},
        {"the second chunk where the third belongs",
         [&](Bytes &s) {
             const size_t chunk2 = chunkEntryAt(made, 2);
             const uint32_t second = readLe32(&s[chunk1]);
             putLe32(s, chunk1, readLe32(&s[chunk2]));
             putLe32(s, chunk2, second);
         },
         "does not lie right"},
    };
    for (const Case &c : cases) {
        Bytes stream = made.stream;
        c.doctor(stream);
        const VerifyResult result = verify(packOf(stream, made.oldBytes, codeBase));
        EXPECT_TRUE(rejected(result, FOTA_UPGRADE_FAILED, c.mention)) << c.name;
    }
    // The device stops at the failing chunk: one finding, none about the flash afterwards.
    Bytes stream = made.stream;
    putLe32(stream, chunk1 + 4, readLe32(&stream[chunk1 + 4]) ^ 1);
    EXPECT_EQ(verify(packOf(stream, made.oldBytes, codeBase)).findings.size(), 1u);
}

TEST(PackCheckRejects, PackForOtherImages)
{
    const Made &made = smallPack();
    const Bytes otherOld = firmwareLikeBytes(0x3000, 31);
    EXPECT_TRUE(rejected(verify(made.pack, otherOld, made.newBytes), FOTA_PACK_INVALID, "(oldCrc)"));
    const Bytes shorterOld(made.oldBytes.begin(), made.oldBytes.begin() + 0x2000);
    EXPECT_TRUE(rejected(verify(made.pack, shorterOld, made.newBytes), FOTA_PACK_INVALID, "(oldSize)"));
    // Images placed for another code area.
    const CodeArea moved = {flashBase, 0x20000, 0x100000};
    EXPECT_TRUE(rejected(verify(made.pack, made.oldBytes, made.newBytes, moved), FOTA_PACK_INVALID, "(oldStart)"));

    Bytes otherNew = made.newBytes;
    otherNew[0x2345] ^= 0xFF;
    const VerifyResult result = verify(made.pack, made.oldBytes, otherNew);
    EXPECT_TRUE(rejected(result, FOTA_NEW_MISMATCH, "flash [0x00012000, 0x00013000): 1 of 4096 bytes differ"));
    EXPECT_NE(findingsOf(result).find("first at 0x00012345"), std::string::npos) << findingsOf(result);

    // A new image longer than what the pack writes: its tail lies beyond the old image and is never written.
    Bytes longerNew = made.newBytes;
    longerNew.resize(longerNew.size() + 0x2000, 0xFF);
    EXPECT_TRUE(rejected(verify(made.pack, made.oldBytes, longerNew), FOTA_NEW_MISMATCH,
                         "[0x00014000, 0x00016000): beyond the old image"));
}

TEST(PackCheckRejects, RandomDamageIsCaught)
{
    const Made &made = smallPack();
    std::mt19937 random(7);
    for (int round = 0; round < 100; ++round) {
        Bytes stream = made.stream;
        const int edits = 1 + round % 3;
        for (int e = 0; e < edits; ++e)
            stream[random() % stream.size()] = static_cast<uint8_t>(random());
        const VerifyResult result = verify(packOf(stream, made.oldBytes, codeBase));
        ASSERT_TRUE(result.code == FOTA_OK || result.code == FOTA_PACK_INVALID || result.code == FOTA_UPGRADE_FAILED ||
                    result.code == FOTA_NEW_MISMATCH)
            << "round " << round << ": code " << result.code;
        // A pass must convince the independent replay too (an edit may hit a byte nothing reads).
        if (result.code == FOTA_OK) {
            EXPECT_TRUE(testsupport::replayStream(stream, made.oldBytes, codeBase, made.newBytes)) << "round " << round;
        }
        EXPECT_EQ(result.findings.empty(), result.code == FOTA_OK);
    }
}

TEST(PackCheckInfo, DescribesHeaderLzmaAndChunkTable)
{
    const Bytes oldBytes = firmwareLikeBytes(0x30000, 41);
    Bytes newBytes(oldBytes.begin() + 0x800, oldBytes.end());
    const Bytes tail = firmwareLikeBytes(0x1800, 42);
    newBytes.insert(newBytes.end(), tail.begin(), tail.end());
    const Made made = make(oldBytes, newBytes);

    quarnel::verify::PackContents contents;
    quarnel::verify::Findings findings;
    ASSERT_EQ(quarnel::verify::readPack(made.pack, quarnel::verify::maxStreamLength, contents, findings), FOTA_OK);
    const std::string info = quarnel::verify::describePack(contents);
    std::vector<std::string> lines;
    std::istringstream in(info);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 4 + made.chunks.size() + 1) << info;

    char expected[200];
    std::snprintf(expected, sizeof expected, "oldCrc 0x%08X, oldStart 0x00010000, oldSize 0x00030000", crcOf(oldBytes));
    EXPECT_NE(lines[0].find(expected), std::string::npos) << lines[0];
    std::snprintf(expected, sizeof expected, "%zu compressed bytes decode to %zu stream bytes",
                  made.pack.size() - 28 - 13, made.stream.size());
    EXPECT_NE(lines[1].find(expected), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("walk forward"), std::string::npos) << lines[2];

    // Which chunks read their own unit, worked out from the plan.
    size_t ownUnit = 0;
    for (size_t c = 0; c < made.chunks.size(); ++c) {
        const quarnel::PatchList &records = made.chunks[c];
        const uint32_t start = records.front()->newOffset;
        uint32_t length = 0;
        size_t diffBytes = 0, extraBytes = 0;
        bool reads = false;
        for (const auto &record : records) {
            length += static_cast<uint32_t>(record->diffBytes.size() + record->extraBytes.size());
            diffBytes += record->diffBytes.size();
            extraBytes += record->extraBytes.size();
        }
        for (const auto &record : records)
            reads = reads || (!record->diffBytes.empty() && record->oldOffset < start + length &&
                              record->oldOffset + record->diffBytes.size() > start);
        ownUnit += reads ? 1 : 0;
        std::snprintf(expected, sizeof expected, "%5zu  0x%08X  %6u  %7zu  %10zu  %7zu  0x%08X  %s", c,
                      codeBase + start, length, records.size(), diffBytes, extraBytes,
                      quarnel::packCrc32(&made.newBytes[start], length), reads ? "reads" : "-");
        EXPECT_EQ(lines[4 + c], expected);
    }
    EXPECT_GT(ownUnit, 0u);
    std::snprintf(expected, sizeof expected, "chunks reading their own erase unit: %zu of %zu", ownUnit,
                  made.chunks.size());
    EXPECT_EQ(lines.back().rfind(expected, 0), 0u) << lines.back();
}

TEST(PackCheckFile, ReadsWholeFilesAndReportsUnreadableOnes)
{
    testsupport::TempDir dir;
    const Made &made = smallPack();
    const std::string path = dir.path("small.pack");
    testsupport::writeFile(path, std::string(made.pack.begin(), made.pack.end()));
    Bytes bytes;
    quarnel::verify::Findings findings;
    EXPECT_EQ(quarnel::verify::readPackFile(path.c_str(), bytes, findings), FOTA_OK);
    EXPECT_EQ(bytes, made.pack);
    EXPECT_TRUE(findings.empty());

    EXPECT_EQ(quarnel::verify::readPackFile(dir.path("missing.pack").c_str(), bytes, findings), FOTA_PACK_READ_FAILED);
    EXPECT_EQ(quarnel::verify::readPackFile(dir.dir().c_str(), bytes, findings), FOTA_PACK_READ_FAILED);
    EXPECT_EQ(quarnel::verify::readPackFile(nullptr, bytes, findings), FOTA_PACK_READ_FAILED);
    EXPECT_EQ(findings.size(), 3u);
}

using testsupport::runTool;
using testsupport::ToolRun;

namespace {

// The sample firmware's LOD files; taken apart lexically: the data folder itself need not exist.
std::string examplesFolder()
{
    return testsupport::absolutePath(
        testsupport::utf8Of(testsupport::fsPath(TEST_DATA_DIR).parent_path().parent_path() / "examples"));
}

struct CliCase {
    std::vector<std::string> arguments;
    std::string output; // the whole output, or its last line when it starts with "..."
    int status;
};

void expectCliRuns(const std::string &dir, const std::vector<CliCase> &cases)
{
    for (const CliCase &c : cases) {
        const ToolRun run = runTool(PACKCHECK_PATH, dir, c.arguments);
        const std::string shown = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(run.status, c.status) << shown << "\n" << run.output;
        if (c.output.rfind("...", 0) == 0)
            EXPECT_NE(run.output.find(c.output.substr(3)), std::string::npos) << shown << "\n" << run.output;
        else
            EXPECT_EQ(run.output, c.output) << shown;
    }
}

} // namespace

TEST(PackCheckCli, SampleFirmwareAndDamagedPacks)
{
    testsupport::TempDir dir;
    const std::string examples = examplesFolder();
    const std::string oldLod = examples + "/old.lod", newLod = examples + "/new.lod";
    ASSERT_EQ(runTool(PACKCLI_PATH, dir.dir(), {"0x400000", "0x10000", oldLod, newLod, "sample.pack"}).status,
              0);
    const Bytes pack = testsupport::readFile(dir.path("sample.pack"));

    Bytes cut(pack.begin(), pack.end() - 1);
    testsupport::writeFile(dir.path("cut.pack"), std::string(cut.begin(), cut.end()));
    Bytes crc = pack;
    crc[20] ^= 1;
    testsupport::writeFile(dir.path("crc.pack"), std::string(crc.begin(), crc.end()));

    char cutLine[128];
    std::snprintf(cutLine, sizeof cutLine, "pack byte 24 (dataLength): %zu, but %zu bytes follow the header\n",
                  pack.size() - 28, pack.size() - 29);
    expectCliRuns(dir.dir(), {
        {{},
         "usage: " PACKCHECK_PATH " flashsize codebase oldlod newlod pack\n       " PACKCHECK_PATH
         " --info pack\n       " PACKCHECK_PATH " --power-cuts flashsize codebase oldlod newlod pack [programunit] "
         "[--sectors map] [--scratch size]\n"
         "       " PACKCHECK_PATH " --verify-signature key.pem pack\n",
         testsupport::statusOfMinusOne},
        {{"--power-cuts", "0x400000", "0x10000", oldLod, newLod, "sample.pack", "3"},
         "...usage",
         testsupport::statusOfMinusOne},
        {{"--power-cuts", "0x400000", "0x10000", oldLod, newLod, "sample.pack", "256"},
         "...cut points (before, inside and after each of 185 erase and program calls): every one ended with the new "
         "image\n",
         FOTA_OK},
        {{"--power-cuts", "0x400000", "0x10000", oldLod, newLod, "crc.pack"},
         "...invalid pack at verify\n",
         FOTA_PACK_INVALID},
        {{"--info"}, "...usage", testsupport::statusOfMinusOne},
        {{"0x400000", "0x10000", oldLod, newLod, "cut.pack"},
         std::string(cutLine) + "invalid pack at verify\n",
         FOTA_PACK_INVALID},
        {{"0x400000", "0x10000", oldLod, newLod, "crc.pack"}, "...invalid pack at verify\n", FOTA_PACK_INVALID},
        {{"0x400000", "0x10000", oldLod, newLod, "missing.pack"},
         "missing.pack: cannot be opened\nfailed to read pack\n",
         FOTA_PACK_READ_FAILED},
        {{"--info", "missing.pack"}, "missing.pack: cannot be opened\nfailed to read pack\n", FOTA_PACK_READ_FAILED},
        // The pack checked against the old image as the new one.
        {{"0x400000", "0x10000", oldLod, oldLod, "sample.pack"},
         "...failed to match new lod after upgrade\n",
         FOTA_NEW_MISMATCH},
        {{"0x400000", "0x10800", oldLod, newLod, "sample.pack"}, "unknown error\n", FOTA_CODE_BASE_MISALIGNED},
        // The old image's 0x48000 bytes fit; the new image's 0x4B000 do not.
        {{"0x58000", "0x10000", oldLod, newLod, "sample.pack"},
         "new size larger than code flash size\n",
         FOTA_NEW_TOO_LARGE},
        {{"0x400000", "0x10000", "missing.lod", newLod, "sample.pack"},
         "failed to read old lod\n",
         FOTA_OLD_LOD_UNREADABLE},
    });

    const ToolRun good =
        runTool(PACKCHECK_PATH, dir.dir(), {"0x400000", "0x10000", oldLod, newLod, "sample.pack"});
    EXPECT_EQ(good.status, FOTA_OK);
    EXPECT_EQ(good.output.rfind("pack verified: ", 0), 0u) << good.output;
    EXPECT_EQ(std::count(good.output.begin(), good.output.end(), '\n'), 1) << good.output;

    const ToolRun info = runTool(PACKCHECK_PATH, dir.dir(), {"--info", "sample.pack"});
    EXPECT_EQ(info.status, FOTA_OK);
    EXPECT_NE(info.output.find("chunk  target      length  records  difference  literal  crc"), std::string::npos)
        << info.output;
    EXPECT_NE(info.output.find("chunks reading their own erase unit: "), std::string::npos) << info.output;
}

// One map spelled several ways reads the same; sizes are never octal and stop short of 4 GiB; a map that
// cannot be read leaves the runs it was given as they were.
TEST(PackCheckSectorMap, SpellingsLimitsAndRefusals)
{
    using quarnel::powercut::readByteCount;
    using quarnel::powercut::readSectorMap;
    using Runs = std::vector<NorSectorRun>;
    auto same = [](const Runs &a, const Runs &b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const NorSectorRun &x, const NorSectorRun &y) {
            return x.count == y.count && x.size == y.size;
        });
    };
    const Runs to128KiB = {{4, 16384}, {1, 65536}, {7, 131072}};
    for (const char *spelling : {"16K*4,64K,128K*7", "16k*4,64k,128k*7", "0x4000*4,0x10000,0X20000*7",
                                 "16384*4,65536*1,131072*07"}) {
        Runs runs;
        EXPECT_EQ(readSectorMap(spelling, runs), "") << spelling;
        EXPECT_TRUE(same(runs, to128KiB)) << spelling;
    }
    Runs runs;
    EXPECT_EQ(readSectorMap("256*1,256K*16383", runs), "");
    EXPECT_EQ(quarnel::powercut::sectorMapEnd(runs), (uint64_t{1} << 32) - 262144 + 256);
    EXPECT_EQ(readSectorMap("4K*1,4K*1,4K*1,4K*1,4K*1,4K*1,4K*1,4K*1", runs), "");
    EXPECT_EQ(runs.size(), 8u);

    const std::pair<const char *, const char *> refused[] = {
        {"16K*4,64K,100K", "\"100K\": a sector size is a power of two from 256 bytes to 256 KiB"},
        {"128*2", "\"128*2\": a sector size is a power of two from 256 bytes to 256 KiB"},
        {"1M", "\"1M\": a sector size is a power of two from 256 bytes to 256 KiB"},
        {"64K,16K*0", "\"16K*0\": a run needs at least one sector"},
        {"16K*4x", "\"16K*4x\": a run is SIZE or SIZE*COUNT, the count in decimal digits"},
        {"16K*", "\"16K*\": a run is SIZE or SIZE*COUNT, the count in decimal digits"},
        {"16KB", "\"16KB\": not a size (digits, or 0x and hexadecimal digits, then K or M)"},
        {" 16K", "\" 16K\": not a size (digits, or 0x and hexadecimal digits, then K or M)"},
        {"0x", "\"0x\": not a size (digits, or 0x and hexadecimal digits, then K or M)"},
        {"16K,,64K", "\"16K,,64K\": an empty run"},
        {"", "\"\": an empty run"},
        {"256K*16384,256", "\"256K*16384,256\": the sectors reach past 4 GiB"},
        {"256K*4294967296", "\"256K*4294967296\": more than 4 GiB of sectors"},
        {"4K,4K,4K,4K,4K,4K,4K,4K,4K", "\"4K,4K,4K,4K,4K,4K,4K,4K,4K\": 9 runs, more than the 8 the flash model holds"},
    };
    for (const auto &[text, problem] : refused) {
        Runs kept = to128KiB;
        EXPECT_EQ(readSectorMap(text, kept), problem) << text;
        EXPECT_TRUE(same(kept, to128KiB)) << text;
    }

    uint32_t bytes = 0;
    EXPECT_EQ(readByteCount("010K", bytes), "");
    EXPECT_EQ(bytes, 10240u);
    EXPECT_EQ(readByteCount("4095M", bytes), "");
    EXPECT_EQ(bytes, 4095u << 20);
    EXPECT_EQ(readByteCount("0xFFFFFFFF", bytes), "");
    EXPECT_EQ(bytes, UINT32_MAX);
    EXPECT_EQ(readByteCount("4096M", bytes), "\"4096M\": 4 GiB or more");
    EXPECT_EQ(readByteCount("99999999999999999999", bytes), "\"99999999999999999999\": 4 GiB or more");
    EXPECT_EQ(bytes, UINT32_MAX);
}

// --power-cuts on the integrator's own flash: a sweep on 16/64/128 KiB sectors passes; a map that cannot be
// read or does not reach the spare area is named before anything runs; a scratch too small for the largest
// group is refused by the applier itself, and packcheck says so.
TEST(PackCheckCli, PowerCutsOnASectorMap)
{
    testsupport::TempDir dir;
    const std::string examples = examplesFolder();
    const std::string oldLod = examples + "/old.lod", newLod = examples + "/new.lod";
    ASSERT_EQ(runTool(PACKCLI_PATH, dir.dir(), {"0x400000", "0x10000", oldLod, newLod, "sample.pack"}).status, 0);
    const std::vector<std::string> sample = {"--power-cuts", "0x400000", "0x10000", oldLod, newLod, "sample.pack"};
    auto with = [&sample](std::vector<std::string> more) {
        more.insert(more.begin(), sample.begin(), sample.end());
        return more;
    };
    // The sample's images end at 0x5B000, inside the 128 KiB sector [0x40000, 0x60000).
    const std::string imageSectors = "images in the sectors from 0x00010000 to 0x00060000: 3 groups of sectors to "
                                     "rebuild, the largest 131072 bytes\n";
    const int bad = testsupport::statusOfMinusOne;
    expectCliRuns(dir.dir(), {
        {with({"--sectors", "3K*4"}),
         "--sectors \"3K*4\": a sector size is a power of two from 256 bytes to 256 KiB\n", bad},
        {with({"--sectors", "16K*4,64K*0"}), "--sectors \"64K*0\": a run needs at least one sector\n", bad},
        {with({"--sectors", "4K,4K,4K,4K,4K,4K,4K,4K,128K*8"}),
         "--sectors \"4K,4K,4K,4K,4K,4K,4K,4K,128K*8\": 9 runs, more than the 8 the flash model holds\n", bad},
        {with({"--sectors", "16K*4;64K"}),
         "--sectors \"16K*4;64K\": a run is SIZE or SIZE*COUNT, the count in decimal digits\n", bad},
        {with({"--sectors", "16K*4", "--sectors", "128K*8"}), "--sectors: given twice\n", bad},
        {with({"--sectors"}), "--sectors: no value follows\n", bad},
        {with({"--scratch", "128K"}), "--scratch needs --sectors: without a sector map the scratch is 64 KiB\n", bad},
        {with({"--sectors", "128K*8", "--scratch", "0"}), "--scratch \"0\": a scratch of no bytes\n", bad},
        {with({"--sectors", "16K*4,64K,128K*7", "3"}), "...usage: ", bad},
        {with({"--sectors", "16K*4,64K"}), "--sectors: the map ends at 0x00020000, before the images end at 0x0005B000\n",
         bad},
        {with({"--sectors", "16K*4,64K,128K*3"}),
         "--sectors: the map ends at 0x00080000, too soon after the images' last sector (ending at 0x00060000) to hold "
         "the scratch and the state area\n",
         bad},
        // Whole sectors of 16 KiB after the images: 64 KiB of them cannot hold the 128 KiB group, nor can 100 KiB
        // once rounded up to 112 KiB.
        {with({"--sectors", "16K*4,64K,128K*2,16K*24", "--scratch", "64K"}),
         imageSectors + "scratch at 0x00060000 (65536 bytes), state at 0x00070000 (16384 bytes), program unit 16\n"
                        "the uncut run fails: flash sectors do not fit the update\nfailed to upgrade at verify\n",
         FOTA_UPGRADE_FAILED},
        {with({"--scratch", "100K", "--sectors", "16K*4,64K,128K*2,16K*24"}),
         "...scratch at 0x00060000 (114688 bytes), state at 0x0007C000 (16384 bytes), program unit 16\n"
         "the uncut run fails: flash sectors do not fit the update\nfailed to upgrade at verify\n",
         FOTA_UPGRADE_FAILED},
        // Sectors of 128 KiB from offset 0: the one holding the code base also holds what lies below it.
        {with({"--sectors", "128K*3,16K*8", "--scratch", "16K"}),
         "images in the sectors from 0x00000000 to 0x00060000, the 65536 bytes below the code base rewritten with "
         "them: 3 groups of sectors to rebuild, the largest 131072 bytes\n"
         "scratch at 0x00060000 (16384 bytes), state at 0x00064000 (16384 bytes), program unit 16\n"
         "the uncut run fails: flash sectors do not fit the update\nfailed to upgrade at verify\n",
         FOTA_UPGRADE_FAILED},
    });

    const ToolRun sweep = runTool(PACKCHECK_PATH, dir.dir(), with({"--sectors", "16K*4,64K,128K*7", "256"}));
    EXPECT_EQ(sweep.status, FOTA_OK) << sweep.output;
    EXPECT_EQ(sweep.output.rfind(imageSectors +
                                     "scratch at 0x00060000 (131072 bytes), state at 0x00080000 (131072 bytes), "
                                     "program unit 256\npower cuts: ",
                                 0),
              0u)
        << sweep.output;
    EXPECT_NE(sweep.output.find("erase and program calls): every one ended with the new image\n"), std::string::npos)
        << sweep.output;
}
