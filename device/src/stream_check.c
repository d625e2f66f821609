#include "stream_check.h"

#include "le_fields.h"

static int isEraseUnit(uint64_t length)
{
    return length == 4096u || length == 32768u || length == 65536u;
}

/* What the walk over the table gathers as it goes. */
typedef struct TableWalk {
    uint64_t diffTotal;
    uint64_t extraTotal;
    uint64_t sourceStart; /* the lowest and highest byte any difference reads, as a range */
    uint64_t sourceEnd;
    int direction; /* +1 rising, -1 falling, 0 until the second chunk sets it */
    FotaChunk last;
} TableWalk;

/* Each unit lies wholly past the one before, in the direction the first two set: so no two overlap,
   and a unit written twice, which would lose the first chunk's bytes and make its record lie, cannot occur. */
static int followsInOrder(TableWalk *walk, const FotaChunk *chunk)
{
    const FotaChunk *last = &walk->last;
    if (chunk->index == 0)
        return 1;
    if (walk->direction == 0)
        walk->direction = chunk->target > last->target ? 1 : -1;
    if (walk->direction > 0)
        return chunk->target >= (uint64_t)last->target + last->length;
    return (uint64_t)chunk->target + chunk->length <= last->target;
}

/* Reads one chunk's entry and records and checks its unit. */
static int readChunk(FotaCursor *cursor, TableWalk *walk, FotaChunk *chunk)
{
    uint8_t bytes[FOTA_ENTRY_SIZE];
    uint64_t length = 0;
    uint64_t diffBytes = 0;
    uint32_t r;
    int result = fotaCursorRead(cursor, bytes, FOTA_ENTRY_SIZE);
    if (result != FOTA_APPLY_OK)
        return result;
    chunk->target = fotaLoadLe32(bytes);
    chunk->crc = fotaLoadLe32(bytes + 4);
    chunk->recordCount = fotaLoadLe32(bytes + 8);
    if (chunk->recordCount > (cursor->streamLength - cursor->position) / FOTA_ENTRY_SIZE)
        return FOTA_APPLY_BAD_STREAM;
    for (r = 0; r < chunk->recordCount; ++r) {
        uint32_t source, diffLength;
        if ((result = fotaCursorRead(cursor, bytes, FOTA_ENTRY_SIZE)) != FOTA_APPLY_OK)
            return result;
        source = fotaLoadLe32(bytes);
        diffLength = fotaLoadLe32(bytes + 4);
        length += (uint64_t)diffLength + fotaLoadLe32(bytes + 8);
        diffBytes += diffLength;
        /* Literal-only records read nothing. */
        if (diffLength > 0) {
            if (source < walk->sourceStart)
                walk->sourceStart = source;
            if ((uint64_t)source + diffLength > walk->sourceEnd)
                walk->sourceEnd = (uint64_t)source + diffLength;
        }
    }
    if (!isEraseUnit(length) || chunk->target % length != 0 || (uint64_t)chunk->target + length > 0x100000000u)
        return FOTA_APPLY_BAD_CHUNK;
    chunk->length = (uint32_t)length;
    if (!followsInOrder(walk, chunk))
        return FOTA_APPLY_BAD_CHUNK;
    walk->diffTotal += diffBytes;
    walk->extraTotal += length - diffBytes;
    return FOTA_APPLY_OK;
}

/* Reads the count and every chunk, up to the first difference byte. */
static int walkTable(FotaCursor *cursor, const FotaPackInfo *info, const FotaWork *work, FotaStream *stream,
                     FotaChunkVisitor visit, void *context)
{
    TableWalk walk;
    uint8_t count[4];
    FotaChunk chunk;
    uint32_t c;
    int result = fotaCursorRead(cursor, count, sizeof count);
    if (result != FOTA_APPLY_OK)
        return result;
    stream->chunkCount = fotaLoadLe32(count);
    if (stream->chunkCount > (info->streamLength - cursor->position) / FOTA_ENTRY_SIZE)
        return FOTA_APPLY_BAD_STREAM;
    if (stream->chunkCount > FOTA_APPLY_MAX_CHUNKS)
        return FOTA_APPLY_TOO_MANY_CHUNKS;
    walk.diffTotal = 0;
    walk.extraTotal = 0;
    walk.sourceStart = 0x100000000u;
    walk.sourceEnd = 0;
    walk.direction = 0;
    walk.last.target = 0;
    walk.last.length = 0;
    stream->areaStart = info->oldStart;
    stream->areaEnd = (uint64_t)info->oldStart + info->oldSize;
    for (c = 0; c < stream->chunkCount; ++c) {
        chunk.index = c;
        if ((result = readChunk(cursor, &walk, &chunk)) != FOTA_APPLY_OK)
            return result;
        fotaSetChunkLength(work->chunkCodes, c, chunk.length);
        if (chunk.target < stream->areaStart)
            stream->areaStart = chunk.target;
        if ((uint64_t)chunk.target + chunk.length > stream->areaEnd)
            stream->areaEnd = (uint64_t)chunk.target + chunk.length;
        if (visit != 0 && (result = visit(context, &chunk)) != FOTA_APPLY_OK)
            return result;
        walk.last = chunk;
    }
    if (walk.diffTotal + walk.extraTotal != info->streamLength - cursor->position)
        return FOTA_APPLY_BAD_STREAM;
    /* Every difference byte is added to a flash byte of the update's own area. */
    if (walk.sourceEnd > 0 && (walk.sourceStart < stream->areaStart || walk.sourceEnd > stream->areaEnd))
        return FOTA_APPLY_BAD_SOURCE;
    stream->diffStart = cursor->position;
    stream->extraStart = cursor->position + (uint32_t)walk.diffTotal;
    return FOTA_APPLY_OK;
}

int fotaCheckStream(const FotaPackSource *pack, const FotaPackInfo *info, const FotaWork *work,
                    FotaStream *stream, FotaChunkVisitor visit, void *context, FotaCursor *diff,
                    FotaCursor *literal, FotaMeter *meter)
{
    FotaCursor cursor;
    int result = fotaCursorOpen(&cursor, pack, info, &work->decoders[0], meter);
    if (result != FOTA_APPLY_OK)
        return result;
    result = walkTable(&cursor, info, work, stream, visit, context);
    if (result != FOTA_APPLY_OK) {
        /* A fault of the data itself, a match beyond the window above all, is the one to report. */
        const int rest = fotaCursorSkip(&cursor, info->streamLength - cursor.position);
        const int end = rest == FOTA_APPLY_OK ? fotaCursorCheckEnd(&cursor) : rest;
        return end == FOTA_APPLY_BAD_LZMA_DATA || end == FOTA_APPLY_PACK_READ_FAILED ? end : result;
    }
    if (diff != 0)
        fotaCursorFork(diff, &cursor, &work->decoders[1]);
    if ((result = fotaCursorSkip(&cursor, stream->extraStart - stream->diffStart)) != FOTA_APPLY_OK)
        return result;
    if (literal != 0)
        fotaCursorFork(literal, &cursor, &work->decoders[2]);
    if ((result = fotaCursorSkip(&cursor, info->streamLength - stream->extraStart)) != FOTA_APPLY_OK)
        return result;
    return fotaCursorCheckEnd(&cursor);
}
