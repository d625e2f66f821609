#include "stream_layout.h"

#include "le_fields.h"

int fotaOpenReader(FotaStreamReader *reader, const FotaPackSource *pack, const FotaPackInfo *info,
                   const FotaWork *work, const FotaStream *stream, FotaMeter *meter)
{
    uint8_t count[4];
    int result = fotaCursorOpen(&reader->table, pack, info, &work->decoders[0], meter);
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
    if (chunk->recordCount == 0 || chunk->target % chunk->length != 0 || chunk->target < reader->stream->areaStart ||
        (uint64_t)chunk->target + chunk->length > reader->stream->areaEnd)
        return FOTA_APPLY_BAD_CHUNK;
    reader->recordsLeft = chunk->recordCount;
    reader->bytesLeft = chunk->length;
    return FOTA_APPLY_OK;
}

int fotaReadRecord(FotaStreamReader *reader, FotaRecord *record)
{
    uint8_t bytes[FOTA_ENTRY_SIZE];
    const FotaStream *stream = reader->stream;
    int result;
    if (reader->recordsLeft == 0)
        return FOTA_APPLY_BAD_STREAM;
    if ((result = fotaCursorRead(&reader->table, bytes, sizeof bytes)) != FOTA_APPLY_OK)
        return result;
    record->source = fotaLoadLe32(bytes);
    record->diffLength = fotaLoadLe32(bytes + 4);
    record->extraLength = fotaLoadLe32(bytes + 8);
    /* Never more bytes than the unit the scratch was erased for, and never a read outside the update's area. */
    if (record->diffLength > reader->bytesLeft || record->extraLength > reader->bytesLeft - record->diffLength)
        return FOTA_APPLY_BAD_STREAM;
    if (record->diffLength > 0 &&
        (record->source < stream->areaStart || (uint64_t)record->source + record->diffLength > stream->areaEnd))
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
