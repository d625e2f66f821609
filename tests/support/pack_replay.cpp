// An in-place replayer kept apart from the library, written to doc/pack-format.md.
#include "support/pack_replay.h"

#include <lzma.h>

#include <algorithm>
#include <cstring>

#include "common/crc32.h"
#include "quarnel.h"
#include "verify/pack_verifier.h"

namespace testsupport {

uint32_t readLe32(const uint8_t *bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

::testing::AssertionResult decodeLzmaBlock(const std::vector<uint8_t> &block, std::vector<uint8_t> &out)
{
    if (block.size() < 13)
        return ::testing::AssertionFailure() << "block of " << block.size() << " bytes has no header";
    uint64_t stated = 0;
    for (int i = 0; i < 8; ++i)
        stated |= uint64_t(block[5 + i]) << (8 * i);
    // One byte of room past the stated length, so that the decoder never waits
    // for space at the end and an overrun shows.
    out.assign(stated + 1, 0);

    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&strm, UINT64_MAX) != LZMA_OK)
        return ::testing::AssertionFailure() << "decoder init failed";
    strm.next_in = block.data();
    strm.avail_in = block.size();
    strm.next_out = out.data();
    strm.avail_out = out.size();
    const lzma_ret ret = lzma_code(&strm, LZMA_FINISH);
    const size_t produced = out.size() - strm.avail_out;
    out.resize(produced);
    const size_t unread = strm.avail_in;
    lzma_end(&strm);
    if (ret != LZMA_STREAM_END)
        return ::testing::AssertionFailure() << "decoder returned " << ret << " after " << produced << " bytes";
    if (produced != stated)
        return ::testing::AssertionFailure() << "decoded " << produced << " of " << stated << " bytes";
    if (unread != 0)
        return ::testing::AssertionFailure() << unread << " bytes after the stated length (an end marker?)";
    return ::testing::AssertionSuccess();
}

std::vector<uint8_t> encodeWithWindow(const std::vector<uint8_t> &input, uint32_t window)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.dict_size = window;
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    options.nice_len = 255;
    options.mf = LZMA_MF_BT4;
    options.depth = 0;
    options.ext_flags = 0;
    options.ext_size_low = 0;
    options.ext_size_high = 0;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::vector<uint8_t> block(13 + input.size() + input.size() / 2 + 4096);
    size_t written = 13;
    EXPECT_EQ(lzma_raw_buffer_encode(filters, nullptr, input.data(), input.size(), block.data(), &written,
                                     block.size()),
              LZMA_OK);
    block.resize(written);
    block[0] = 0x5D;
    const uint32_t stated = 1u << 25;
    for (int i = 0; i < 4; ++i)
        block[1 + i] = static_cast<uint8_t>(stated >> (8 * i));
    for (int i = 0; i < 8; ++i)
        block[5 + i] = static_cast<uint8_t>(uint64_t(input.size()) >> (8 * i));
    return block;
}

namespace {

struct StreamReader {
    const std::vector<uint8_t> &bytes;
    size_t pos = 0;
    bool take(uint32_t &value)
    {
        if (bytes.size() - pos < 4)
            return false;
        value = readLe32(bytes.data() + pos);
        pos += 4;
        return true;
    }
};

struct Record {
    uint32_t source, diffLength, extraLength;
};

} // namespace

::testing::AssertionResult replayStream(const std::vector<uint8_t> &stream, std::vector<uint8_t> flash,
                                        uint32_t codeBase, const std::vector<uint8_t> &newImage)
{
    StreamReader reader{stream};
    uint32_t chunkCount = 0;
    if (!reader.take(chunkCount))
        return ::testing::AssertionFailure() << "no chunk count";
    struct Chunk {
        uint32_t target, crc;
        std::vector<Record> records;
    };
    std::vector<Chunk> chunks;
    uint64_t diffTotal = 0, extraTotal = 0;
    for (uint32_t c = 0; c < chunkCount; ++c) {
        Chunk chunk{};
        uint32_t recordCount = 0;
        if (!reader.take(chunk.target) || !reader.take(chunk.crc) || !reader.take(recordCount))
            return ::testing::AssertionFailure() << "chunk " << c << " entry truncated";
        for (uint32_t r = 0; r < recordCount; ++r) {
            Record record{};
            if (!reader.take(record.source) || !reader.take(record.diffLength) || !reader.take(record.extraLength))
                return ::testing::AssertionFailure() << "chunk " << c << " record " << r << " truncated";
            diffTotal += record.diffLength;
            extraTotal += record.extraLength;
            chunk.records.push_back(record);
        }
        chunks.push_back(std::move(chunk));
    }
    if (stream.size() - reader.pos != diffTotal + extraTotal)
        return ::testing::AssertionFailure() << "areas hold " << stream.size() - reader.pos << " bytes, records say "
                                             << diffTotal + extraTotal;

    flash.resize(std::max(flash.size(), newImage.size()), 0);
    size_t diffPos = reader.pos;
    size_t extraPos = reader.pos + diffTotal;
    for (size_t c = 0; c < chunks.size(); ++c) {
        const Chunk &chunk = chunks[c];
        std::vector<uint8_t> built;
        for (const Record &record : chunk.records) {
            const uint64_t from = uint64_t(record.source) - codeBase;
            if (record.source < codeBase || from + record.diffLength > flash.size())
                return ::testing::AssertionFailure() << "chunk " << c << " reads outside the flash at 0x" << std::hex
                                                     << record.source;
            for (uint32_t i = 0; i < record.diffLength; ++i)
                built.push_back(uint8_t(flash[from + i] + stream[diffPos++]));
            built.insert(built.end(), stream.begin() + extraPos, stream.begin() + extraPos + record.extraLength);
            extraPos += record.extraLength;
        }
        if (quarnel::packCrc32(built.data(), uint32_t(built.size())) != chunk.crc)
            return ::testing::AssertionFailure() << "chunk " << c << " at 0x" << std::hex << chunk.target
                                                 << " fails its CRC";
        const uint64_t to = uint64_t(chunk.target) - codeBase;
        if (chunk.target < codeBase || to + built.size() > flash.size())
            return ::testing::AssertionFailure() << "chunk " << c << " writes outside the flash";
        std::copy(built.begin(), built.end(), flash.begin() + to);
    }
    for (size_t i = 0; i < newImage.size(); ++i)
        if (flash[i] != newImage[i])
            return ::testing::AssertionFailure() << "flash differs from the new image at offset 0x" << std::hex << i;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult replayPackFile(const std::vector<uint8_t> &pack, const std::vector<uint8_t> &oldImage,
                                          uint32_t codeBase, const std::vector<uint8_t> &newImage)
{
    if (pack.size() < 28 || std::memcmp(pack.data(), "VYNOTA01", 8) != 0)
        return ::testing::AssertionFailure() << "no pack header";
    const uint32_t dataLength = readLe32(&pack[24]);
    if (pack.size() != 28 + uint64_t(dataLength))
        return ::testing::AssertionFailure() << "file size " << pack.size() << " disagrees with data length";
    if (readLe32(&pack[20]) != quarnel::packCrc32(pack.data() + 28, dataLength))
        return ::testing::AssertionFailure() << "data CRC mismatch";
    if (readLe32(&pack[8]) != quarnel::packCrc32(oldImage.data(), uint32_t(oldImage.size())) ||
        readLe32(&pack[12]) != codeBase || readLe32(&pack[16]) != oldImage.size())
        return ::testing::AssertionFailure() << "header does not describe the old image";
    std::vector<uint8_t> stream;
    const auto decoded = decodeLzmaBlock(std::vector<uint8_t>(pack.begin() + 28, pack.end()), stream);
    if (!decoded)
        return decoded;
    const auto replayed = replayStream(stream, oldImage, codeBase, newImage);
    if (!replayed)
        return replayed;

    const uint32_t flashBase = 0x08000000;
    const size_t span = (std::max(oldImage.size(), newImage.size()) + 4095) / 4096 * 4096;
    const CodeArea area = {flashBase, codeBase, static_cast<uint32_t>(span)};
    const auto verified = quarnel::verify::verifyPack(pack, area, oldImage, newImage);
    if (verified.code != FOTA_OK) {
        auto failure = ::testing::AssertionFailure() << "packcheck rejects the pack with code " << verified.code;
        for (const auto &finding : verified.findings)
            failure << "\n  " << finding.text;
        return failure;
    }
    return ::testing::AssertionSuccess();
}

} // namespace testsupport
