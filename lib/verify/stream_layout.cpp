// Reads the patch stream of doc/pack-format.md section 4.
#include "verify/stream_layout.h"

#include "common/byte_order.h"
#include "common/result_codes.h"

namespace quarnel::verify {

namespace {

using ull = unsigned long long;

constexpr size_t entrySize = 12;

} // namespace

int parsePatchStream(const std::vector<uint8_t> &stream, std::vector<StreamChunk> &chunks, Findings &findings)
{
    chunks.clear();
    const size_t size = stream.size();
    if (size < 4) {
        addFinding(findings, FOTA_PACK_INVALID, "stream byte 0: %zu bytes hold no chunk count", size);
        return FOTA_PACK_INVALID;
    }
    const uint32_t chunkCount = loadLe32(stream.data());
    size_t pos = 4;
    // Entries take 12 bytes each, so a count the stream cannot hold is refused before anything is reserved.
    if (chunkCount > (size - pos) / entrySize) {
        addFinding(findings, FOTA_PACK_INVALID,
                   "stream byte 0 (chunkCount): %u chunks need %llu bytes of entries, %zu bytes follow", chunkCount,
                   static_cast<ull>(chunkCount) * entrySize, size - pos);
        return FOTA_PACK_INVALID;
    }
    chunks.resize(chunkCount);
    uint64_t diffTotal = 0;
    uint64_t extraTotal = 0;
    for (uint32_t c = 0; c < chunkCount; ++c) {
        StreamChunk &chunk = chunks[c];
        if (size - pos < entrySize) {
            addFinding(findings, FOTA_PACK_INVALID, "stream byte %zu: chunk %u's entry runs past the end of the stream",
                       pos, c);
            return FOTA_PACK_INVALID;
        }
        chunk.entryPosition = pos;
        chunk.targetOffset = loadLe32(&stream[pos]);
        chunk.chunkCrc = loadLe32(&stream[pos + 4]);
        const uint32_t recordCount = loadLe32(&stream[pos + 8]);
        pos += entrySize;
        if (recordCount > (size - pos) / entrySize) {
            addFinding(findings, FOTA_PACK_INVALID,
                       "stream byte %zu (chunk %u recordCount): %u records need %llu bytes, %zu bytes follow", pos - 4,
                       c, recordCount, static_cast<ull>(recordCount) * entrySize, size - pos);
            return FOTA_PACK_INVALID;
        }
        chunk.records.resize(recordCount);
        for (StreamRecord &record : chunk.records) {
            record.sourceOffset = loadLe32(&stream[pos]);
            record.diffLength = loadLe32(&stream[pos + 4]);
            record.extraLength = loadLe32(&stream[pos + 8]);
            pos += entrySize;
            chunk.diffBytes += record.diffLength;
            chunk.extraBytes += record.extraLength;
        }
        diffTotal += chunk.diffBytes;
        extraTotal += chunk.extraBytes;
    }
    const size_t areas = size - pos;
    if (diffTotal + extraTotal != areas) {
        addFinding(
            findings, FOTA_PACK_INVALID,
            "stream byte %zu: the records ask for %llu difference and %llu literal bytes, %zu bytes follow the entries",
            pos, static_cast<ull>(diffTotal), static_cast<ull>(extraTotal), areas);
        return FOTA_PACK_INVALID;
    }
    size_t diffPos = pos;
    size_t extraPos = pos + static_cast<size_t>(diffTotal);
    for (StreamChunk &chunk : chunks) {
        chunk.diffStart = diffPos;
        chunk.extraStart = extraPos;
        diffPos += static_cast<size_t>(chunk.diffBytes);
        extraPos += static_cast<size_t>(chunk.extraBytes);
    }
    return FOTA_OK;
}

Walk walkOf(const std::vector<StreamChunk> &chunks)
{
    if (chunks.empty())
        return Walk::none;
    if (chunks.size() == 1)
        return Walk::single;
    bool up = true;
    bool down = true;
    for (size_t i = 1; i < chunks.size(); ++i) {
        up = up && chunks[i].targetOffset > chunks[i - 1].targetOffset;
        down = down && chunks[i].targetOffset < chunks[i - 1].targetOffset;
    }
    return up ? Walk::forward : down ? Walk::backward : Walk::mixed;
}

const char *walkName(Walk walk)
{
    switch (walk) {
    case Walk::none:
        return "no chunks";
    case Walk::single:
        return "single chunk";
    case Walk::forward:
        return "forward";
    case Walk::backward:
        return "backward";
    case Walk::mixed:
        return "mixed (targets neither rise nor fall throughout)";
    }
    return "";
}

bool readsOwnUnit(const StreamChunk &chunk)
{
    const uint64_t unitStart = chunk.targetOffset;
    const uint64_t unitEnd = unitStart + chunk.length();
    for (const StreamRecord &record : chunk.records) {
        const uint64_t from = record.sourceOffset;
        if (record.diffLength > 0 && from < unitEnd && from + record.diffLength > unitStart)
            return true;
    }
    return false;
}

} // namespace quarnel::verify
