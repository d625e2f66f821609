// Applies chunks in place as doc/pack-format.md section 4.5 describes.
#include "verify/flash_player.h"

#include <vector>

#include "common/crc32.h"
#include "common/erase_units.h"
#include "common/result_codes.h"

namespace quarnel::verify {

namespace {

using ull = unsigned long long;

// Adds a finding for every way the chunk's place or its sources are wrong.
bool checkChunkGeometry(const StreamChunk &chunk, size_t index, const CodeArea &area, uint32_t oldSize,
                        Findings &findings)
{
    const size_t before = findings.size();
    const uint64_t target = chunk.targetOffset;
    const uint64_t length = chunk.length();
    if (!isEraseUnit(length))
        addFinding(findings, FOTA_UPGRADE_FAILED,
                   "chunk %zu at 0x%08X: length %llu is not an erase unit (4096, 32768 or 65536 bytes)", index,
                   chunk.targetOffset, static_cast<ull>(length));
    else if (target % length != 0)
        addFinding(findings, FOTA_UPGRADE_FAILED, "chunk %zu at 0x%08X: not aligned to its length %llu", index,
                   chunk.targetOffset, static_cast<ull>(length));
    const uint64_t areaStart = area.codeBase;
    const uint64_t areaEnd = areaStart + area.codeSize;
    if (target < areaStart || target + length > areaEnd)
        addFinding(findings, FOTA_UPGRADE_FAILED,
                   "chunk %zu at 0x%08X: [0x%08llX, 0x%08llX) lies outside the code area [0x%08llX, 0x%08llX)", index,
                   chunk.targetOffset, static_cast<ull>(target), static_cast<ull>(target + length),
                   static_cast<ull>(areaStart), static_cast<ull>(areaEnd));
    const uint64_t oldEnd = areaStart + oldSize;
    for (size_t r = 0; r < chunk.records.size(); ++r) {
        const StreamRecord &record = chunk.records[r];
        const uint64_t from = record.sourceOffset;
        // A device refuses such a record: it would make a chunk of any number of records.
        if (record.diffLength == 0 && record.extraLength == 0)
            addFinding(findings, FOTA_UPGRADE_FAILED, "chunk %zu at 0x%08X, record %zu: holds no bytes", index,
                       chunk.targetOffset, r);
        // A record without difference bytes reads nothing, wherever it points.
        if (record.diffLength > 0 && (from < areaStart || from + record.diffLength > oldEnd))
            addFinding(findings, FOTA_UPGRADE_FAILED,
                       "chunk %zu at 0x%08X, record %zu: reads [0x%08llX, 0x%08llX) outside the old image [0x%08llX, "
                       "0x%08llX)",
                       index, chunk.targetOffset, r, static_cast<ull>(from), static_cast<ull>(from + record.diffLength),
                       static_cast<ull>(areaStart), static_cast<ull>(oldEnd));
    }
    return findings.size() == before;
}

// The chunk's new bytes: old flash bytes plus difference bytes, then literal bytes, record by record.
std::vector<uint8_t> buildChunk(const std::vector<uint8_t> &stream, const StreamChunk &chunk, const FlashModel &flash)
{
    std::vector<uint8_t> unit;
    unit.reserve(static_cast<size_t>(chunk.length()));
    size_t diffPos = chunk.diffStart;
    size_t extraPos = chunk.extraStart;
    for (const StreamRecord &record : chunk.records) {
        for (uint32_t i = 0; i < record.diffLength; ++i)
            unit.push_back(static_cast<uint8_t>(flash.at(uint64_t{record.sourceOffset} + i) + stream[diffPos++]));
        unit.insert(unit.end(), stream.begin() + static_cast<std::ptrdiff_t>(extraPos),
                    stream.begin() + static_cast<std::ptrdiff_t>(extraPos + record.extraLength));
        extraPos += record.extraLength;
    }
    return unit;
}

// Each chunk right after the one before, one way, as the planner cuts them and a device demands.
bool followsTheWalk(const StreamChunk &chunk, const StreamChunk &last, size_t index, int &direction,
                    Findings &findings)
{
    const uint64_t target = chunk.targetOffset;
    const uint64_t lastTarget = last.targetOffset;
    if (direction == 0)
        direction = target > lastTarget ? 1 : -1;
    if (direction > 0 ? target == lastTarget + last.length() : target + chunk.length() == lastTarget)
        return true;
    addFinding(findings, FOTA_UPGRADE_FAILED, "chunk %zu at 0x%08X: does not lie right %s chunk %zu at 0x%08X", index,
               chunk.targetOffset, direction > 0 ? "after" : "before", index - 1, last.targetOffset);
    return false;
}

} // namespace

int playChunks(const PackContents &contents, const CodeArea &area, uint32_t oldSize, FlashModel &flash,
               Findings &findings)
{
    int direction = 0;
    for (size_t index = 0; index < contents.chunks.size(); ++index) {
        const StreamChunk &chunk = contents.chunks[index];
        if (!checkChunkGeometry(chunk, index, area, oldSize, findings) ||
            (index > 0 && !followsTheWalk(chunk, contents.chunks[index - 1], index, direction, findings)))
            return FOTA_UPGRADE_FAILED;
        // The whole unit is built before any of it is written: records may read the unit itself.
        const std::vector<uint8_t> unit = buildChunk(contents.stream, chunk, flash);
        const uint32_t crc = packCrc32(unit.data(), static_cast<uint32_t>(unit.size()));
        if (crc != chunk.chunkCrc) {
            addFinding(findings, FOTA_UPGRADE_FAILED,
                       "chunk %zu at 0x%08X: built bytes hash to 0x%08X, the stream says 0x%08X", index,
                       chunk.targetOffset, crc, chunk.chunkCrc);
            return FOTA_UPGRADE_FAILED;
        }
        flash.write(chunk.targetOffset, unit, index);
    }
    return FOTA_OK;
}

} // namespace quarnel::verify
