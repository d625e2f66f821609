#include "work_layout.h"

/* The public constant is the sum of the parts; a change to either fails the build here. */
typedef char fotaWorkSizeMatchesItsParts[FOTA_APPLY_WORK_SIZE == FOTA_WORK_ALIGN_SLACK + FOTA_IO_BYTES +
                                                                      FOTA_GROUP_CRC_BYTES + FOTA_CHUNK_CODE_BYTES +
                                                                      FOTA_DECODER_COUNT * FOTA_DECODER_BYTES
                                             ? 1
                                             : -1];
typedef char fotaSignedWorkSizeMatchesItsParts[FOTA_APPLY_SIGNED_WORK_SIZE == FOTA_APPLY_WORK_SIZE + FOTA_GUARD_BYTES
                                                   ? 1
                                                   : -1];

void fotaCarveWork(void *work, FotaWork *parts, int isSigned)
{
    uint8_t *bytes = (uint8_t *)work;
    /* Moving forward by the distance to the next boundary keeps the pointer derived from work. */
    const size_t misalignment = (size_t)((uintptr_t)bytes & FOTA_WORK_ALIGN_SLACK);
    uint8_t *next = bytes + (misalignment == 0 ? 0 : FOTA_WORK_ALIGN_SLACK + 1 - misalignment);
    uint32_t d;
    parts->io = next;
    parts->groupCrcs = (uint32_t *)(void *)(next + FOTA_IO_BYTES);
    parts->chunkCodes = next + FOTA_IO_BYTES + FOTA_GROUP_CRC_BYTES;
    next += FOTA_IO_BYTES + FOTA_GROUP_CRC_BYTES + FOTA_CHUNK_CODE_BYTES;
    /* Each table starts at an even offset from the boundary, as its 16-bit entries need. */
    for (d = 0; d < FOTA_DECODER_COUNT; ++d, next += FOTA_DECODER_BYTES) {
        parts->decoders[d].probs = next;
        parts->decoders[d].ring = next + FOTA_PROBS_BYTES;
        parts->decoders[d].input = next + FOTA_PROBS_BYTES + FOTA_APPLY_WINDOW;
        parts->decoders[d].digests = 0;
    }
    parts->blockDigests = 0;
    if (!isSigned)
        return;
    parts->blockDigests = next;
    next += FOTA_GUARD_BLOCKS * FOTA_DIGEST_BYTES;
    for (d = 0; d < FOTA_DECODER_COUNT; ++d, next += FOTA_GUARD_CACHE_GRANULES * FOTA_DIGEST_BYTES)
        parts->decoders[d].digests = next;
}

void fotaSetChunkLength(uint8_t *codes, uint32_t index, uint32_t length)
{
    const unsigned code = length == 65536u ? 2u : length == 32768u ? 1u : 0u;
    const unsigned shift = (index % 4u) * 2u;
    codes[index / 4u] = (uint8_t)((codes[index / 4u] & ~(3u << shift)) | code << shift);
}

uint32_t fotaChunkLength(const uint8_t *codes, uint32_t index)
{
    const unsigned code = (codes[index / 4u] >> (index % 4u) * 2u) & 3u;
    return code == 2u ? 65536u : code == 1u ? 32768u : 4096u;
}
