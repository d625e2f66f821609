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
    FotaChunk last;
} TableWalk;

/* The stream the chunks can need at most: every record covers at least one byte of its chunk, so a chunk
   has at most as many records as bytes, and its entry, records and bytes take at most 12 + 13 x 64 KiB. */
static uint64_t mostStreamFor(uint32_t chunkCount)
{
    return 4u + (uint64_t)chunkCount * (FOTA_ENTRY_SIZE + (FOTA_ENTRY_SIZE + 1u) * (uint64_t)FOTA_MAX_CHUNK_BYTES);
}

/* Each unit lies right after the one before, in the direction the first two set, as the planner cuts them:
   so no two overlap, none is written twice, and together they fill one range. */
static int followsInOrder(FotaStream *stream, const TableWalk *walk, const FotaChunk *chunk)
{
    const FotaChunk *last = &walk->last;
    if (chunk->index == 0)
        return 1;
    if (stream->direction == 0)
        stream->direction = chunk->target > last->target ? 1 : -1;
    if (stream->direction > 0)
        return chunk->target == (uint64_t)last->target + last->length;
    return (uint64_t)chunk->target + chunk->length == last->target;
}

/* Reads one chunk's entry and records and checks its unit and sources. */
static int readChunk(FotaCursor *cursor, FotaStream *stream, TableWalk *walk, FotaChunk *chunk)
{
    uint8_t bytes[FOTA_ENTRY_SIZE];
    uint64_t length = 0;
    uint64_t diffBytes = 0;
    uint64_t writtenStart;
    uint64_t writtenEnd;
    uint32_t r;
    int result = fotaCursorRead(cursor, bytes, FOTA_ENTRY_SIZE);
    if (result != FOTA_APPLY_OK)
        return result;
    chunk->target = fotaLoadLe32(bytes);
    chunk->crc = fotaLoadLe32(bytes + 4);
    chunk->recordCount = fotaLoadLe32(bytes + 8);
    if (chunk->recordCount == 0 || chunk->recordCount > FOTA_MAX_CHUNK_BYTES ||
        chunk->recordCount > (cursor->streamLength - cursor->position) / FOTA_ENTRY_SIZE)
        return FOTA_APPLY_BAD_STREAM;
    /* The sources are held to the units before this one: the range the walk has filled so far. */
    writtenStart = chunk->index == 0 ? 0 : stream->regionStart;
    writtenEnd = chunk->index == 0 ? 0 : stream->regionEnd;
    for (r = 0; r < chunk->recordCount; ++r) {
        uint32_t source, diffLength, extraLength;
        if ((result = fotaCursorRead(cursor, bytes, FOTA_ENTRY_SIZE)) != FOTA_APPLY_OK)
            return result;
        source = fotaLoadLe32(bytes);
        diffLength = fotaLoadLe32(bytes + 4);
        extraLength = fotaLoadLe32(bytes + 8);
        length += (uint64_t)diffLength + extraLength;
        diffBytes += diffLength;
        if (diffLength + (uint64_t)extraLength == 0 || length > FOTA_MAX_CHUNK_BYTES)
            return FOTA_APPLY_BAD_STREAM;
        /* Literal-only records read nothing. */
        if (diffLength > 0 && !fotaSourceAllowed(stream, writtenStart, writtenEnd, source, diffLength))
            return FOTA_APPLY_BAD_SOURCE;
    }
    if (!isEraseUnit(length) || chunk->target % length != 0 || (uint64_t)chunk->target + length > 0x100000000u)
        return FOTA_APPLY_BAD_CHUNK;
    chunk->length = (uint32_t)length;
    walk->diffTotal += diffBytes;
    walk->extraTotal += length - diffBytes;
    return FOTA_APPLY_OK;
}

/* Takes the next chunk into the walk: its order, its place in the range the chunks fill, its length code. */
static int joinChunk(FotaStream *stream, TableWalk *walk, const FotaWork *work, const FotaChunk *chunk)
{
    if (!followsInOrder(stream, walk, chunk))
        return FOTA_APPLY_BAD_CHUNK;
    fotaSetChunkLength(work->chunkCodes, chunk->index, chunk->length);
    if (chunk->index == 0) {
        stream->firstTarget = chunk->target;
        stream->regionStart = chunk->target;
        stream->regionEnd = (uint64_t)chunk->target + chunk->length;
    } else if (stream->direction > 0) {
        stream->regionEnd = (uint64_t)chunk->target + chunk->length;
    } else {
        stream->regionStart = chunk->target;
    }
    walk->last = *chunk;
    return FOTA_APPLY_OK;
}

/* Reads the count and every chunk, up to the first difference byte. *bounded tells whether the stated length
   is one the chunk count allows, so that decoding the rest of it is work the pack may ask for. */
static int walkTable(FotaCursor *cursor, const FotaPackInfo *info, const FotaWork *work, FotaStream *stream,
                     FotaChunkVisitor visit, void *context, int *bounded)
{
    TableWalk walk;
    uint8_t count[4];
    FotaChunk chunk;
    uint32_t c;
    int result = fotaCursorRead(cursor, count, sizeof count);
    *bounded = 0;
    if (result != FOTA_APPLY_OK)
        return result;
    stream->chunkCount = fotaLoadLe32(count);
    /* A pack of no chunks would be finished on any flash. */
    if (stream->chunkCount == 0 || stream->chunkCount > (info->streamLength - cursor->position) / FOTA_ENTRY_SIZE)
        return FOTA_APPLY_BAD_STREAM;
    if (stream->chunkCount > FOTA_APPLY_MAX_CHUNKS)
        return FOTA_APPLY_TOO_MANY_CHUNKS;
    if (info->streamLength > mostStreamFor(stream->chunkCount))
        return FOTA_APPLY_BAD_STREAM;
    *bounded = 1;
    walk.diffTotal = 0;
    walk.extraTotal = 0;
    walk.last.target = 0;
    walk.last.length = 0;
    stream->direction = 0;
    stream->oldStart = info->oldStart;
    stream->oldEnd = (uint64_t)info->oldStart + info->oldSize;
    for (c = 0; c < stream->chunkCount; ++c) {
        chunk.index = c;
        if ((result = readChunk(cursor, stream, &walk, &chunk)) != FOTA_APPLY_OK ||
            (result = joinChunk(stream, &walk, work, &chunk)) != FOTA_APPLY_OK)
            return result;
        if (visit != 0 && (result = visit(context, &chunk)) != FOTA_APPLY_OK)
            return result;
    }
    /* The new image starts where the old one does, whichever way the walk goes. */
    if (stream->regionStart != info->oldStart)
        return FOTA_APPLY_BAD_CHUNK;
    if (walk.diffTotal + walk.extraTotal != info->streamLength - cursor->position)
        return FOTA_APPLY_BAD_STREAM;
    stream->areaStart = info->oldStart;
    stream->areaEnd = stream->regionEnd > stream->oldEnd ? stream->regionEnd : stream->oldEnd;
    stream->diffStart = cursor->position;
    stream->extraStart = cursor->position + (uint32_t)walk.diffTotal;
    return FOTA_APPLY_OK;
}

int fotaCheckStream(FotaPack *pack, const FotaPackInfo *info, const FotaWork *work, uint32_t preloaded,
                    FotaStream *stream, FotaChunkVisitor visit, void *context, FotaCursor *diff,
                    FotaCursor *literal, FotaMeter *meter)
{
    FotaCursor cursor;
    int bounded = 0;
    int result = fotaCursorOpen(&cursor, pack, info, &work->decoders[0], meter, 1, preloaded);
    if (result != FOTA_APPLY_OK)
        return result;
    result = walkTable(&cursor, info, work, stream, visit, context, &bounded);
    if (result != FOTA_APPLY_OK) {
        /* A fault of the data itself, a match beyond the window above all, is the one to report; it is
           looked for only in a stream no longer than its chunks can need, and never after the decoder failed. */
        const int rest = bounded ? fotaCursorSkip(&cursor, info->streamLength - cursor.position) : result;
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
