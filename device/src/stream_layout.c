#include "stream_layout.h"

#include "le_fields.h"

static int isEraseUnit(uint64_t length)
{
    return length == 4096u || length == 32768u || length == 65536u;
}

/* Fills chunk from its entry and its records, which the caller knows to lie inside the stream. */
static void loadChunk(const FotaStream *stream, FotaChunk *chunk)
{
    const uint8_t *entry = stream->bytes + chunk->entry;
    uint32_t r;
    chunk->target = fotaLoadLe32(entry);
    chunk->crc = fotaLoadLe32(entry + 4);
    chunk->recordCount = fotaLoadLe32(entry + 8);
    chunk->length = 0;
    chunk->diffBytes = 0;
    for (r = 0; r < chunk->recordCount; ++r) {
        FotaRecord record;
        fotaReadRecord(stream, chunk, r, &record);
        chunk->diffBytes += record.diffLength;
        chunk->length += record.diffLength + record.extraLength;
    }
}

int fotaFirstChunk(const FotaStream *stream, FotaChunk *chunk)
{
    if (stream->chunkCount == 0)
        return 0;
    chunk->index = 0;
    chunk->entry = 4;
    chunk->diffPos = stream->diffStart;
    chunk->extraPos = stream->extraStart;
    loadChunk(stream, chunk);
    return 1;
}

int fotaNextChunk(const FotaStream *stream, FotaChunk *chunk)
{
    if (chunk->index + 1 >= stream->chunkCount)
        return 0;
    chunk->index += 1;
    chunk->entry += FOTA_ENTRY_SIZE * (1 + chunk->recordCount);
    chunk->extraPos += chunk->length - chunk->diffBytes;
    chunk->diffPos += chunk->diffBytes;
    loadChunk(stream, chunk);
    return 1;
}

void fotaReadRecord(const FotaStream *stream, const FotaChunk *chunk, uint32_t index, FotaRecord *record)
{
    const uint8_t *entry = stream->bytes + chunk->entry + FOTA_ENTRY_SIZE * (1 + index);
    record->source = fotaLoadLe32(entry);
    record->diffLength = fotaLoadLe32(entry + 4);
    record->extraLength = fotaLoadLe32(entry + 8);
}

/* Walks the entries once: every count must fit what follows it, every chunk must be
   an aligned erase unit, and the byte areas must fill the stream exactly. */
static int checkEntries(FotaStream *stream, const FotaPackInfo *info)
{
    const uint8_t *bytes = stream->bytes;
    const uint32_t length = stream->length;
    uint64_t diffTotal = 0;
    uint64_t extraTotal = 0;
    uint64_t areaEnd = (uint64_t)info->oldStart + info->oldSize;
    uint32_t areaStart = info->oldStart;
    uint32_t pos = 4;
    uint32_t c;
    if (stream->chunkCount > (length - pos) / FOTA_ENTRY_SIZE)
        return FOTA_APPLY_BAD_STREAM;
    for (c = 0; c < stream->chunkCount; ++c) {
        uint64_t diffBytes = 0;
        uint64_t chunkLength = 0;
        uint32_t target, recordCount, r;
        if (length - pos < FOTA_ENTRY_SIZE)
            return FOTA_APPLY_BAD_STREAM;
        target = fotaLoadLe32(bytes + pos);
        recordCount = fotaLoadLe32(bytes + pos + 8);
        pos += FOTA_ENTRY_SIZE;
        if (recordCount > (length - pos) / FOTA_ENTRY_SIZE)
            return FOTA_APPLY_BAD_STREAM;
        for (r = 0; r < recordCount; ++r, pos += FOTA_ENTRY_SIZE) {
            const uint32_t diffLength = fotaLoadLe32(bytes + pos + 4);
            diffBytes += diffLength;
            chunkLength += (uint64_t)diffLength + fotaLoadLe32(bytes + pos + 8);
        }
        if (!isEraseUnit(chunkLength) || target % chunkLength != 0 || (uint64_t)target + chunkLength > 0x100000000u)
            return FOTA_APPLY_BAD_CHUNK;
        diffTotal += diffBytes;
        extraTotal += chunkLength - diffBytes;
        if (target < areaStart)
            areaStart = target;
        if (target + chunkLength > areaEnd)
            areaEnd = target + chunkLength;
    }
    if (diffTotal + extraTotal != length - pos)
        return FOTA_APPLY_BAD_STREAM;
    stream->diffStart = pos;
    stream->extraStart = pos + (uint32_t)diffTotal;
    stream->areaStart = areaStart;
    stream->areaEnd = areaEnd;
    return FOTA_APPLY_OK;
}

/* Every difference byte is added to a flash byte of the update's own area; literal-only records read nothing. */
static int checkSources(const FotaStream *stream, const FotaChunk *chunk)
{
    uint32_t r;
    for (r = 0; r < chunk->recordCount; ++r) {
        FotaRecord record;
        fotaReadRecord(stream, chunk, r, &record);
        if (record.diffLength > 0 &&
            (record.source < stream->areaStart || (uint64_t)record.source + record.diffLength > stream->areaEnd))
            return FOTA_APPLY_BAD_SOURCE;
    }
    return FOTA_APPLY_OK;
}

/* A unit written twice would lose the first chunk's bytes and its progress record would lie. */
static int overlapsALaterChunk(const FotaStream *stream, const FotaChunk *chunk)
{
    FotaChunk later = *chunk;
    const uint64_t end = (uint64_t)chunk->target + chunk->length;
    while (fotaNextChunk(stream, &later))
        if (later.target < end && chunk->target < (uint64_t)later.target + later.length)
            return 1;
    return 0;
}

int fotaParseStream(const uint8_t *bytes, uint32_t length, const FotaPackInfo *info, FotaStream *stream)
{
    FotaChunk chunk;
    int result;
    int more;
    if (length < 4)
        return FOTA_APPLY_BAD_STREAM;
    stream->bytes = bytes;
    stream->length = length;
    stream->chunkCount = fotaLoadLe32(bytes);
    result = checkEntries(stream, info);
    if (result != FOTA_APPLY_OK)
        return result;
    for (more = fotaFirstChunk(stream, &chunk); more; more = fotaNextChunk(stream, &chunk)) {
        result = checkSources(stream, &chunk);
        if (result != FOTA_APPLY_OK)
            return result;
        if (overlapsALaterChunk(stream, &chunk))
            return FOTA_APPLY_BAD_CHUNK;
    }
    return FOTA_APPLY_OK;
}
