#include "stream_cursor.h"

#include <string.h>

/* Hands the decoder the probability table reserved in work, once; there is no heap to fall back on. */
typedef struct WorkAllocator {
    ISzAlloc base; /* first, so that the decoder's ISzAlloc pointer is this struct's */
    void *table;
} WorkAllocator;

static void *allocateFromWork(void *allocator, size_t size)
{
    WorkAllocator *self = (WorkAllocator *)allocator;
    void *table = self->table;
    if (size > FOTA_PROBS_BYTES)
        return 0;
    self->table = 0;
    return table;
}

static void freeNothing(void *allocator, void *address)
{
    (void)allocator;
    (void)address;
}

int fotaCursorOpen(FotaCursor *cursor, FotaPack *pack, const FotaPackInfo *info, const FotaDecoderMemory *memory,
                   FotaMeter *meter, int taking, uint32_t preloaded)
{
    WorkAllocator allocator;
    allocator.base.Alloc = allocateFromWork;
    allocator.base.Free = freeNothing;
    allocator.table = memory->probs;
    LzmaDec_Construct(&cursor->decoder);
    if (LzmaDec_AllocateProbs(&cursor->decoder, info->lzmaProps, FOTA_LZMA_PROPS_SIZE, &allocator.base) != SZ_OK)
        return FOTA_APPLY_BAD_LZMA_HEADER;
    /* The header states a larger dictionary; the decoder refuses any match that reaches back past this one. */
    cursor->decoder.prop.dicSize = FOTA_APPLY_WINDOW;
    cursor->decoder.dic = memory->ring;
    cursor->decoder.dicBufSize = FOTA_APPLY_WINDOW;
    LzmaDec_Init(&cursor->decoder);
    cursor->pack = pack;
    cursor->cache.digests = memory->digests;
    cursor->cache.block = 0;
    cursor->taking = taking;
    cursor->input = memory->input;
    /* The LZMA data begins right after the two headers, inside the first granule. */
    cursor->inputPos = preloaded > 0 ? FOTA_PACK_HEADER_SIZE + FOTA_LZMA_HEADER_SIZE : 0;
    cursor->inputFill = preloaded;
    cursor->packPos = preloaded > 0 ? preloaded : FOTA_PACK_HEADER_SIZE + FOTA_LZMA_HEADER_SIZE;
    cursor->packEnd = FOTA_PACK_HEADER_SIZE + info->dataLength;
    cursor->streamLength = info->streamLength;
    cursor->decoded = 0;
    cursor->position = 0;
    cursor->status = LZMA_STATUS_NOT_SPECIFIED;
    cursor->failure = FOTA_APPLY_OK;
    cursor->meter = meter;
    cursor->nextTick = FOTA_TICK_BYTES;
    return FOTA_APPLY_OK;
}

void fotaCursorFork(FotaCursor *to, const FotaCursor *from, const FotaDecoderMemory *memory)
{
    memcpy(memory->probs, from->decoder.probs, from->decoder.numProbs * sizeof(CLzmaProb));
    memcpy(memory->ring, from->decoder.dic, FOTA_APPLY_WINDOW);
    *to = *from;
    to->decoder.probs = (CLzmaProb *)memory->probs;
    to->decoder.dic = memory->ring;
    to->input = memory->input;
    to->cache.digests = memory->digests;
    to->cache.block = 0;
    to->taking = 0;
    /* The bytes from's input still holds are read again into to's own. */
    to->packPos = from->packPos - (from->inputFill - from->inputPos);
    to->inputPos = 0;
    to->inputFill = 0;
}

/* The granule that holds the next input byte, from the byte on; the first pass takes it, later reads check it. */
static int refillInput(FotaCursor *cursor)
{
    const uint32_t granule = cursor->packPos / FOTA_GRANULE_BYTES;
    uint32_t length = 0;
    int result;
    if (cursor->packPos >= cursor->packEnd) {
        cursor->inputPos = cursor->inputFill = 0;
        return FOTA_APPLY_OK;
    }
    result = cursor->taking ? fotaPackTakeNext(cursor->pack, cursor->input, &length)
                            : fotaPackRead(cursor->pack, &cursor->cache, granule, cursor->input, &length);
    if (result != FOTA_APPLY_OK)
        return result;
    cursor->inputPos = cursor->packPos - granule * FOTA_GRANULE_BYTES;
    cursor->inputFill = length;
    cursor->packPos = granule * FOTA_GRANULE_BYTES + length;
    return FOTA_APPLY_OK;
}

/* Decodes at least one and at most want stream bytes into the ring, never past its end or the stream's. */
static int decodeMore(FotaCursor *cursor, uint32_t want)
{
    CLzmaDec *decoder = &cursor->decoder;
    const uint32_t rest = cursor->streamLength - cursor->decoded;
    uint32_t room;
    SizeT limit;
    SizeT start;
    if (cursor->failure != FOTA_APPLY_OK)
        return cursor->failure;
    if (rest == 0)
        return cursor->failure = FOTA_APPLY_BAD_STREAM;
    if (decoder->dicPos == FOTA_APPLY_WINDOW)
        decoder->dicPos = 0;
    room = FOTA_APPLY_WINDOW - (uint32_t)decoder->dicPos;
    room = room < rest ? room : rest;
    room = room < want ? room : want;
    start = decoder->dicPos;
    limit = start + room;
    while (decoder->dicPos == start) {
        SizeT taken;
        const SizeT before = decoder->dicPos;
        /* Only the stream's last byte may end the data; until then the decoder may stop anywhere. */
        const ELzmaFinishMode finish = room == rest ? LZMA_FINISH_END : LZMA_FINISH_ANY;
        if (cursor->inputPos == cursor->inputFill) {
            const int result = refillInput(cursor);
            if (result != FOTA_APPLY_OK)
                return cursor->failure = result;
        }
        taken = cursor->inputFill - cursor->inputPos;
        if (LzmaDec_DecodeToDic(decoder, limit, cursor->input + cursor->inputPos, &taken, finish, &cursor->status) !=
            SZ_OK)
            return cursor->failure = FOTA_APPLY_BAD_LZMA_DATA;
        cursor->inputPos += (uint32_t)taken;
        if (taken == 0 && decoder->dicPos == before)
            return cursor->failure = FOTA_APPLY_BAD_LZMA_DATA;
    }
    cursor->decoded += (uint32_t)(decoder->dicPos - start);
    if (cursor->decoded >= cursor->nextTick || cursor->decoded == cursor->streamLength) {
        fotaMeterDecoded(cursor->meter, cursor->decoded);
        cursor->nextTick = cursor->decoded + FOTA_TICK_BYTES;
    }
    return FOTA_APPLY_OK;
}

int fotaCursorTake(FotaCursor *cursor, uint32_t want, const uint8_t **bytes, uint32_t *length)
{
    uint32_t pending = cursor->decoded - cursor->position;
    if (pending == 0) {
        const int result = decodeMore(cursor, want);
        if (result != FOTA_APPLY_OK)
            return result;
        pending = cursor->decoded - cursor->position;
    }
    /* Pending bytes always end at the decoder's position in the ring, without wrapping. */
    *bytes = cursor->decoder.dic + cursor->decoder.dicPos - pending;
    *length = pending < want ? pending : want;
    cursor->position += *length;
    return FOTA_APPLY_OK;
}

int fotaCursorRead(FotaCursor *cursor, void *out, uint32_t length)
{
    uint8_t *to = (uint8_t *)out;
    while (length > 0) {
        const uint8_t *bytes;
        uint32_t got;
        const int result = fotaCursorTake(cursor, length, &bytes, &got);
        if (result != FOTA_APPLY_OK)
            return result;
        memcpy(to, bytes, got);
        to += got;
        length -= got;
    }
    return FOTA_APPLY_OK;
}

int fotaCursorSkip(FotaCursor *cursor, uint32_t length)
{
    while (length > 0) {
        const uint8_t *bytes;
        uint32_t got;
        const int result = fotaCursorTake(cursor, length, &bytes, &got);
        if (result != FOTA_APPLY_OK)
            return result;
        length -= got;
    }
    return FOTA_APPLY_OK;
}

int fotaCursorCheckEnd(const FotaCursor *cursor)
{
    /* Without an end marker the range coder ends clean at the stated length, with no data left over. */
    if (cursor->position != cursor->streamLength || cursor->decoded != cursor->streamLength ||
        cursor->status != LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK || cursor->inputPos != cursor->inputFill ||
        cursor->packPos != cursor->packEnd)
        return FOTA_APPLY_BAD_LZMA_DATA;
    return FOTA_APPLY_OK;
}
