// Writes the LZMA block of doc/pack-format.md section 3; a change here is a change of that document.
#include "container/lzma_adapter.h"

#include <lzma.h>

#include <cstddef>
#include <cstdint>
#include <new>

#include "common/aligned_blocks.h"
#include "common/byte_order.h"
#include "common/large_pages.h"
#include "common/result_codes.h"
#include "container/mem_streams.h"

namespace quarnel {

namespace {

// Bytes moved between the streams and the encoder per step.
constexpr uint32_t stepSize = 1u << 16;

// The encoder's tables run to hundreds of megabytes and are touched once each;
// on large pages those first touches cost a fraction.
void *allocateForEncoder(void *, size_t count, size_t size)
{
    if (size != 0 && count > SIZE_MAX / size)
        return nullptr;
    const size_t bytes = count * size;
    // Every block, small ones too, comes from one allocator, because the free below gets no size.
    const size_t alignment = bytes < largePageSize ? alignof(std::max_align_t) : largePageSize;
    void *block = allocateAligned(alignment, bytes);
    if (block != nullptr && alignment == largePageSize)
        adviseLargePages(block, bytes);
    return block;
}

void freeForEncoder(void *, void *block)
{
    freeAligned(block);
}

const lzma_allocator encoderAllocator = {allocateForEncoder, freeForEncoder, nullptr};

// Ends the encoder on every path out of the compression.
class EncoderGuard {
public:
    EncoderGuard() = default;
    EncoderGuard(const EncoderGuard &) = delete;
    EncoderGuard &operator=(const EncoderGuard &) = delete;
    ~EncoderGuard() { lzma_end(&stream); }

    lzma_stream stream = makeStream();

private:
    static lzma_stream makeStream()
    {
        lzma_stream fresh = LZMA_STREAM_INIT;
        fresh.allocator = &encoderAllocator;
        return fresh;
    }
};

int resultOf(lzma_ret ret)
{
    return ret == LZMA_MEM_ERROR ? FOTA_OUT_OF_MEMORY : FOTA_COMPRESS_FAILED;
}

// The fixed settings; an encoder without end marker leaves the length to our header.
lzma_ret startEncoder(lzma_stream &stream)
{
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 6))
        return LZMA_OPTIONS_ERROR;
    options.dict_size = lzmaWindowSize;
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    options.mode = LZMA_MODE_NORMAL;
    options.nice_len = 255;
    options.mf = LZMA_MF_BT4;
    options.depth = 0;
    options.ext_flags = 0;
    options.ext_size_low = 0;
    options.ext_size_high = 0;
    const lzma_filter filters[] = {
        {LZMA_FILTER_LZMA1EXT, &options},
        {LZMA_VLI_UNKNOWN, nullptr},
    };
    return lzma_raw_encoder(&stream, filters);
}

// Writes the 13-byte header: properties byte, dictionary size, input length.
StreamStatus writeHeader(COutMemStream &out, uint64_t length)
{
    uint8_t header[lzmaHeaderSize];
    header[0] = lzmaPropertiesByte;
    storeLe32(header + 1, lzmaDictionarySize);
    storeLe64(header + 5, length);
    return out.write(header, sizeof header, nullptr);
}

// Runs the encoder over the whole input stream into the output stream.
int encode(CInMemStream &in, COutMemStream &out)
{
    EncoderGuard encoder;
    lzma_ret ret = startEncoder(encoder.stream);
    if (ret != LZMA_OK)
        return resultOf(ret);

    std::vector<uint8_t> inBuffer(stepSize);
    std::vector<uint8_t> outBuffer(stepSize);
    lzma_stream &stream = encoder.stream;
    lzma_action action = LZMA_RUN;
    do {
        if (stream.avail_in == 0 && action == LZMA_RUN) {
            uint32_t count = 0;
            in.read(inBuffer.data(), stepSize, &count);
            stream.next_in = inBuffer.data();
            stream.avail_in = count;
            if (count == 0)
                action = LZMA_FINISH;
        }
        stream.next_out = outBuffer.data();
        stream.avail_out = stepSize;
        ret = lzma_code(&stream, action);
        if (ret != LZMA_OK && ret != LZMA_STREAM_END)
            return resultOf(ret);
        const uint32_t produced = stepSize - static_cast<uint32_t>(stream.avail_out);
        if (produced > 0 && out.write(outBuffer.data(), produced, nullptr) != streamOk)
            return FOTA_COMPRESS_FAILED;
    } while (ret != LZMA_STREAM_END);
    return FOTA_OK;
}

} // namespace

int compressPatchStream(const uint8_t *input, int32_t length, std::vector<uint8_t> &output)
{
    output.clear();
    if (length < 0 || (input == nullptr && length > 0))
        return FOTA_COMPRESS_FAILED;
    try {
        CInMemStream in(input, static_cast<uint32_t>(length));
        COutMemStream out;
        if (writeHeader(out, static_cast<uint64_t>(length)) != streamOk)
            return FOTA_COMPRESS_FAILED;
        const int result = encode(in, out);
        if (result != FOTA_OK)
            return result;
        out.copyTo(output);
        return FOTA_OK;
    } catch (const std::bad_alloc &) {
        output.clear();
        return FOTA_OUT_OF_MEMORY;
    }
}

} // namespace quarnel
