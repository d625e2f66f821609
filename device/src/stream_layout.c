#include "stream_layout.h"

#include "le_fields.h"

int fotaSourceAllowed(const FotaStream *stream, uint64_t writtenStart, uint64_t writtenEnd, uint32_t source,
                      uint32_t length)
{
    const uint64_t end = (uint64_t)source + length;
    if (source >= stream->oldStart && end <= stream->oldEnd)
        return 1;
    if (writtenStart >= writtenEnd)
        return 0;
    if (source >= writtenStart && end <= writtenEnd)
        return 1;
    /* The two meet or overlap: together they are one range. */
    if (writtenStart <= stream->oldEnd && stream->oldStart <= writtenEnd)
        return source >= (writtenStart < stream->oldStart ? writtenStart : stream->oldStart) &&
               end <= (writtenEnd > stream->oldEnd ? writtenEnd : stream->oldEnd);
    return 0;
}

void fotaWrittenBefore(const FotaStream *stream, const FotaChunk *chunk, uint64_t *start, uint64_t *end)
{
    *start = *end = 0;
    if (stream->direction > 0) {
        *start = stream->regionStart;
        *end = chunk->target;
    } else if (stream->direction < 0) {
        *start = (uint64_t)chunk->target + chunk->length;
        *end = stream->regionEnd;
    }
}

int fotaOpenReader(FotaStreamReader *reader, FotaPack *pack, const FotaPackInfo *info, const FotaWork *work,
                   const FotaStream *stream, FotaMeter *meter)
{
    uint8_t count[4];
    int result = fotaCursorOpen(&reader->table, pack, info, &work->decoders[0], meter, 0, 0);
    if (result == FOTA_APPLY_OK)
        result = fotaCursorRead(&reader->table, count, sizeof count);
    if (result == FOTA_APPLY_OK && fotaLoadLe32(count) != stream->chunkCount)
        result = FOTA_APPLY_BAD_STREAM;
    reader->stream = stream;
    reader->chunkCodes = work->chunkCodes;
    reader->chunksRead = 0;
    reader->recordsLeft = 0;
    reader->bytesLeft = 0;
    reader->owedDiff = 0;
    reader->owedLiteral = 0;
    return result;
}

/* Where the walk puts chunk index of the given length: right after the one before, its way. */
static uint64_t expectedTarget(const FotaStreamReader *reader, uint32_t index, uint32_t length)
{
    const FotaChunk *last = &reader->last;
    if (index == 0)
        return reader->stream->firstTarget;
    return reader->stream->direction > 0 ? (uint64_t)last->target + last->length : (uint64_t)last->target - length;
}

int fotaReadChunk(FotaStreamReader *reader, FotaChunk *chunk, int *more)
{
    uint8_t entry[FOTA_ENTRY_SIZE];
    int result;
    *more = reader->chunksRead < reader->stream->chunkCount;
    if (!*more)
        return FOTA_APPLY_OK;
    /* The last chunk's records must all be read before the next entry. */
    if (reader->recordsLeft != 0 && (result = fotaPassChunk(reader)) != FOTA_APPLY_OK)
        return result;
    if ((result = fotaCursorRead(&reader->table, entry, sizeof entry)) != FOTA_APPLY_OK)
        return result;
    chunk->index = reader->chunksRead++;
    chunk->target = fotaLoadLe32(entry);
    chunk->crc = fotaLoadLe32(entry + 4);
    chunk->recordCount = fotaLoadLe32(entry + 8);
    chunk->length = fotaChunkLength(reader->chunkCodes, chunk->index);
    if (chunk->recordCount == 0 || chunk->recordCount > chunk->length ||
        chunk->target != expectedTarget(reader, chunk->index, chunk->length))
        return FOTA_APPLY_BAD_CHUNK;
    reader->last = *chunk;
    reader->recordsLeft = chunk->recordCount;
    reader->bytesLeft = chunk->length;
    return FOTA_APPLY_OK;
}

int fotaReadRecord(FotaStreamReader *reader, FotaRecord *record)
{
    uint8_t bytes[FOTA_ENTRY_SIZE];
    uint64_t writtenStart;
    uint64_t writtenEnd;
    int result;
    if (reader->recordsLeft == 0)
        return FOTA_APPLY_BAD_STREAM;
    if ((result = fotaCursorRead(&reader->table, bytes, sizeof bytes)) != FOTA_APPLY_OK)
        return result;
    record->source = fotaLoadLe32(bytes);
    record->diffLength = fotaLoadLe32(bytes + 4);
    record->extraLength = fotaLoadLe32(bytes + 8);
    /* Never more bytes than the unit the scratch was erased for, and never a record of none. */
    if (record->diffLength > reader->bytesLeft || record->extraLength > reader->bytesLeft - record->diffLength ||
        record->diffLength + record->extraLength == 0)
        return FOTA_APPLY_BAD_STREAM;
    fotaWrittenBefore(reader->stream, &reader->last, &writtenStart, &writtenEnd);
    if (record->diffLength > 0 &&
        !fotaSourceAllowed(reader->stream, writtenStart, writtenEnd, record->source, record->diffLength))
        return FOTA_APPLY_BAD_SOURCE;
    reader->recordsLeft -= 1;
    reader->bytesLeft -= record->diffLength + record->extraLength;
    if (reader->recordsLeft == 0 && reader->bytesLeft != 0)
        return FOTA_APPLY_BAD_STREAM;
    return FOTA_APPLY_OK;
}

int fotaPassChunk(FotaStreamReader *reader)
{
    while (reader->recordsLeft > 0) {
        FotaRecord record;
        const int result = fotaReadRecord(reader, &record);
        if (result != FOTA_APPLY_OK)
            return result;
        reader->owedDiff += record.diffLength;
        reader->owedLiteral += record.extraLength;
    }
    return FOTA_APPLY_OK;
}

int fotaCatchUp(FotaStreamReader *reader)
{
    int result = fotaCursorSkip(&reader->diff, reader->owedDiff);
    if (result == FOTA_APPLY_OK)
        result = fotaCursorSkip(&reader->literal, reader->owedLiteral);
    reader->owedDiff = 0;
    reader->owedLiteral = 0;
    return result;
}
