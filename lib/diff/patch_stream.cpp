// Writes the patch stream of doc/pack-format.md section 4; a change here is a change of that document.
#include "diff/patch_stream.h"

#include <cstring>

#include "common/byte_order.h"
#include "common/crc32.h"

namespace quarnel {

namespace {

constexpr size_t countSize = 4;
constexpr size_t chunkEntrySize = 12;
constexpr size_t recordEntrySize = 12;

uint8_t *putU32(uint8_t *out, uint32_t value)
{
    storeLe32(out, value);
    return out + 4;
}

uint8_t *putBytes(uint8_t *out, const std::vector<uint8_t> &bytes)
{
    if (!bytes.empty())
        std::memcpy(out, bytes.data(), bytes.size());
    return out + bytes.size();
}

size_t streamLength(const ChunkList &chunks)
{
    size_t length = countSize;
    for (const PatchList &chunk : chunks) {
        length += chunkEntrySize;
        for (const PatchPtr &patch : chunk)
            length += recordEntrySize + patch->diffBytes.size() + patch->extraBytes.size();
    }
    return length;
}

} // namespace

std::vector<uint8_t> serializePatches(const ChunkList &chunks, const uint8_t *newImage, uint32_t newStart)
{
    std::vector<uint8_t> stream(streamLength(chunks));
    uint8_t *out = putU32(stream.data(), static_cast<uint32_t>(chunks.size()));

    for (const PatchList &chunk : chunks) {
        const uint32_t chunkStart = chunk.empty() ? 0 : chunk.front()->newOffset;
        uint32_t chunkSize = 0;
        for (const PatchPtr &patch : chunk)
            chunkSize += static_cast<uint32_t>(patch->diffBytes.size() + patch->extraBytes.size());

        out = putU32(out, newStart + chunkStart);
        out = putU32(out, packCrc32(newImage + chunkStart, chunkSize));
        out = putU32(out, static_cast<uint32_t>(chunk.size()));
        for (const PatchPtr &patch : chunk) {
            out = putU32(out, newStart + patch->oldOffset);
            out = putU32(out, static_cast<uint32_t>(patch->diffBytes.size()));
            out = putU32(out, static_cast<uint32_t>(patch->extraBytes.size()));
        }
    }
    for (const PatchList &chunk : chunks)
        for (const PatchPtr &patch : chunk)
            out = putBytes(out, patch->diffBytes);
    for (const PatchList &chunk : chunks)
        for (const PatchPtr &patch : chunk)
            out = putBytes(out, patch->extraBytes);
    return stream;
}

} // namespace quarnel
