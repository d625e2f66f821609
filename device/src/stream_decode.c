#include "stream_decode.h"

#include "lzma_sdk_names.h"

#include "LzmaDec.h"

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

int fotaDecodeStream(const FotaPackSource *pack, const FotaPackInfo *info, const FotaWork *work)
{
    WorkAllocator allocator;
    CLzmaDec decoder;
    ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
    uint32_t position = FOTA_PACK_HEADER_SIZE + FOTA_LZMA_HEADER_SIZE;
    const uint32_t end = FOTA_PACK_HEADER_SIZE + info->dataLength;

    allocator.base.Alloc = allocateFromWork;
    allocator.base.Free = freeNothing;
    allocator.table = work->probs;
    LzmaDec_Construct(&decoder);
    if (LzmaDec_AllocateProbs(&decoder, info->lzmaProps, FOTA_LZMA_PROPS_SIZE, &allocator.base) != SZ_OK)
        return FOTA_APPLY_BAD_LZMA_HEADER;
    /* The output buffer is the dictionary: matches reach back into the stream itself, never before it. */
    decoder.dic = work->stream;
    decoder.dicBufSize = info->streamLength;
    LzmaDec_Init(&decoder);

    while (decoder.dicPos < info->streamLength) {
        const uint32_t rest = end - position;
        SizeT consumed = rest < FOTA_IO_BYTES ? rest : FOTA_IO_BYTES;
        const SizeT before = decoder.dicPos;
        if (consumed == 0)
            return FOTA_APPLY_BAD_LZMA_DATA;
        if (pack->read(pack->context, position, work->io, (uint32_t)consumed) != 0)
            return FOTA_APPLY_PACK_READ_FAILED;
        if (LzmaDec_DecodeToDic(&decoder, info->streamLength, work->io, &consumed, LZMA_FINISH_END, &status) != SZ_OK)
            return FOTA_APPLY_BAD_LZMA_DATA;
        position += (uint32_t)consumed;
        if (consumed == 0 && decoder.dicPos == before)
            return FOTA_APPLY_BAD_LZMA_DATA;
    }
    /* Without an end marker the range coder ends clean at the stated length, with no data left over. */
    if (status != LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK || position != end)
        return FOTA_APPLY_BAD_LZMA_DATA;
    return FOTA_APPLY_OK;
}
