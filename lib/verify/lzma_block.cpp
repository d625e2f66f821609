// Reads the LZMA block of doc/pack-format.md section 3.
#include "verify/lzma_block.h"

#include <lzma.h>

#include <algorithm>

#include "common/byte_order.h"
#include "common/result_codes.h"
#include "container/lzma_adapter.h"

namespace quarnel::verify {

namespace {

using ull = unsigned long long;

constexpr size_t firstOutputStep = size_t{1} << 16;
// Streams up to this length get their whole output at once; longer ones grow
// it as decoded bytes arrive, so that a header's claim alone cannot make the
// decoder take a gigabyte.
constexpr uint64_t wholeOutputLength = uint64_t{1} << 26;

// Ends the decoder on every path out of the decoding.
class DecoderGuard {
public:
    DecoderGuard() = default;
    DecoderGuard(const DecoderGuard &) = delete;
    DecoderGuard &operator=(const DecoderGuard &) = delete;
    ~DecoderGuard() { lzma_end(&stream); }

    lzma_stream stream = LZMA_STREAM_INIT;
};

const char *decoderTrouble(lzma_ret ret)
{
    switch (ret) {
    case LZMA_DATA_ERROR:
        return "corrupt data or an end marker";
    case LZMA_BUF_ERROR:
        return "the data ends before the stated length";
    case LZMA_MEM_ERROR:
        return "out of memory";
    case LZMA_OPTIONS_ERROR:
        return "unsupported settings";
    default:
        return "the decoder stopped early";
    }
}

// Decodes with a window of window bytes: a match that reaches further back is a data error.
lzma_ret startDecoder(lzma_stream &stream, const LzmaBlockHeader &header, uint32_t window)
{
    lzma_options_lzma options{};
    // Matches never reach back past the start of the output, so a window larger than the stream
    // would be memory for nothing.
    options.dict_size = static_cast<uint32_t>(
        std::max<uint64_t>(LZMA_DICT_SIZE_MIN, std::min<uint64_t>(window, header.statedLength)));
    options.lc = header.properties % 9;
    options.lp = header.properties / 9 % 5;
    options.pb = header.properties / 45;
    // Without LZMA_LZMA1EXT_ALLOW_EOPM an end marker is a data error.
    options.ext_flags = 0;
    lzma_set_ext_size(options, header.statedLength);
    const lzma_filter filters[] = {
        {LZMA_FILTER_LZMA1EXT, &options},
        {LZMA_VLI_UNKNOWN, nullptr},
    };
    return lzma_raw_decoder(&stream, filters);
}

struct Decoded {
    lzma_ret ret = LZMA_OK;
    unsigned long long consumed = 0;
    size_t leftOver = 0;
};

Decoded decodeWithWindow(const uint8_t *block, size_t blockSize, const LzmaBlockHeader &header, uint32_t window,
                         std::vector<uint8_t> &out)
{
    DecoderGuard decoder;
    lzma_stream &stream = decoder.stream;
    out.clear();
    lzma_ret ret = startDecoder(stream, header, window);
    if (ret == LZMA_OK) {
        stream.next_in = block + lzmaHeaderSize;
        stream.avail_in = blockSize - lzmaHeaderSize;
        uint8_t spare = 0;
        size_t produced = 0;
        do {
            if (produced == out.size() && produced < header.statedLength)
                out.resize(static_cast<size_t>(
                    header.statedLength <= wholeOutputLength
                        ? header.statedLength
                        : std::min<uint64_t>(header.statedLength, std::max(firstOutputStep, 2 * out.size()))));
            stream.next_out = out.empty() ? &spare : out.data() + produced;
            stream.avail_out = out.size() - produced;
            ret = lzma_code(&stream, LZMA_FINISH);
            produced = out.size() - stream.avail_out;
        } while (ret == LZMA_OK);
        out.resize(produced);
    }
    return {ret, stream.total_in, stream.avail_in};
}

} // namespace

int readLzmaHeader(const uint8_t *block, size_t blockSize, uint64_t streamCap, size_t blockOffset,
                   LzmaBlockHeader &header, Findings &findings)
{
    if (blockSize < lzmaHeaderSize) {
        addFinding(findings, FOTA_PACK_INVALID,
                   "pack byte %zu: data of %zu bytes is shorter than the %u-byte LZMA header", blockOffset, blockSize,
                   lzmaHeaderSize);
        return FOTA_PACK_INVALID;
    }
    header.properties = block[0];
    header.dictionarySize = loadLe32(block + 1);
    header.statedLength = loadLe64(block + 5);
    const size_t before = findings.size();
    if (header.properties != lzmaPropertiesByte)
        addFinding(findings, FOTA_PACK_INVALID,
                   "pack byte %zu (LZMA properties): 0x%02X, expected 0x%02X (lc 3, lp 0, pb 2)", blockOffset,
                   header.properties, lzmaPropertiesByte);
    if (header.dictionarySize != lzmaDictionarySize)
        addFinding(findings, FOTA_PACK_INVALID, "pack byte %zu (LZMA dictionary): %u bytes, expected %u",
                   blockOffset + 1, header.dictionarySize, lzmaDictionarySize);
    if (header.statedLength > streamCap)
        addFinding(
            findings, FOTA_PACK_INVALID,
            "pack byte %zu (LZMA length): %llu bytes, more than the %llu bytes a stream for this code area can need",
            blockOffset + 5, static_cast<ull>(header.statedLength), static_cast<ull>(streamCap));
    return findings.size() == before ? FOTA_OK : FOTA_PACK_INVALID;
}

int decodeLzmaBlock(const uint8_t *block, size_t blockSize, const LzmaBlockHeader &header, size_t blockOffset,
                    std::vector<uint8_t> &out, Findings &findings)
{
    // The device's bound: a pack that decodes only with a wider window would be refused on the device.
    const Decoded decoded = decodeWithWindow(block, blockSize, header, lzmaWindowSize, out);
    if (decoded.ret != LZMA_STREAM_END || out.size() != header.statedLength) {
        std::vector<uint8_t> wide;
        if (decoded.ret == LZMA_DATA_ERROR &&
            decodeWithWindow(block, blockSize, header, header.dictionarySize, wide).ret == LZMA_STREAM_END) {
            addFinding(findings, FOTA_PACK_INVALID,
                       "LZMA data at pack byte %llu: a match reaches further back than the device's %u-byte window "
                       "(the data decodes only with a wider one)",
                       static_cast<ull>(blockOffset + lzmaHeaderSize + decoded.consumed), lzmaWindowSize);
            return FOTA_PACK_INVALID;
        }
        addFinding(findings, decoded.ret == LZMA_MEM_ERROR ? FOTA_OUT_OF_MEMORY : FOTA_PACK_INVALID,
                   "LZMA data at pack byte %llu: %s after %zu of %llu stream bytes",
                   static_cast<ull>(blockOffset + lzmaHeaderSize + decoded.consumed), decoderTrouble(decoded.ret),
                   out.size(), static_cast<ull>(header.statedLength));
        return findings.back().code;
    }
    if (decoded.leftOver != 0) {
        addFinding(findings, FOTA_PACK_INVALID, "LZMA data at pack byte %llu: %zu bytes follow the end of the data",
                   static_cast<ull>(blockOffset + lzmaHeaderSize + decoded.consumed), decoded.leftOver);
        return FOTA_PACK_INVALID;
    }
    return FOTA_OK;
}

} // namespace quarnel::verify
