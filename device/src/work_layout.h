/* How the caller's work memory is divided: an I/O block, a length code per chunk, and three decoders; in the
   signed call also the digests of the pack's blocks and each decoder's copy of its block's granule digests. */
#ifndef FOTA_WORK_LAYOUT_H
#define FOTA_WORK_LAYOUT_H

#include <stddef.h>
#include <stdint.h>

#include "internal.h"
#include "pack_source.h"
#include "quarnel_apply.h"

/* Every flash and pack transfer goes through this block; a multiple of the largest programUnit, 256. */
#define FOTA_IO_BYTES 4096u
/* The decoder's probability table for lc 3, lp 0: 1846 + 0x300 << 3 entries of 16 bits. */
#define FOTA_PROBS_BYTES ((1846u + (0x300u << 3)) * 2u)
/* Compressed bytes a decoder reads from the pack at a time: one granule. */
#define FOTA_INPUT_BYTES FOTA_GRANULE_BYTES
/* The most chunks one group of sectors may hold: their checksums are kept while the group is built. */
#define FOTA_GROUP_MAX_CHUNKS 64u
#define FOTA_GROUP_CRC_BYTES (FOTA_GROUP_MAX_CHUNKS * 4u)
/* Two bits per chunk name its unit: 4, 32 or 64 KiB. */
#define FOTA_CHUNK_CODE_BYTES (FOTA_APPLY_MAX_CHUNKS / 4u)
#define FOTA_DECODER_BYTES (FOTA_PROBS_BYTES + FOTA_APPLY_WINDOW + FOTA_INPUT_BYTES)
#define FOTA_DECODER_COUNT 3u
/* Slack for placing the parts at an 8-byte boundary, whatever pointer the caller passes. */
#define FOTA_WORK_ALIGN_SLACK 7u

/* The signed call's digests: 64 bits of SHA-256 each, one per block of the pack, a block being the fewest
   granules (1, 2, 4 ... FOTA_GUARD_CACHE_GRANULES) for which the pack has at most FOTA_GUARD_BLOCKS blocks:
   a block of one granule up to 1 MiB of pack, 32 MiB at most. */
#define FOTA_DIGEST_BYTES 8u
#define FOTA_GUARD_BLOCKS 2048u
#define FOTA_GUARD_CACHE_GRANULES 32u
#define FOTA_GUARD_BYTES \
    (FOTA_GUARD_BLOCKS * FOTA_DIGEST_BYTES + FOTA_DECODER_COUNT * FOTA_GUARD_CACHE_GRANULES * FOTA_DIGEST_BYTES)

/* The memory of one decoder: its probabilities, its window (a ring) and its input block. */
typedef struct FotaDecoderMemory {
    void *probs;    /* FOTA_PROBS_BYTES */
    uint8_t *ring;  /* FOTA_APPLY_WINDOW */
    uint8_t *input; /* FOTA_INPUT_BYTES */
    uint8_t *digests; /* the signed call's: FOTA_GUARD_CACHE_GRANULES digests; 0 otherwise */
} FotaDecoderMemory;

typedef struct FotaWork {
    uint8_t *io;         /* FOTA_IO_BYTES */
    uint8_t *chunkCodes; /* FOTA_CHUNK_CODE_BYTES */
    uint32_t *groupCrcs; /* FOTA_GROUP_MAX_CHUNKS */
    /* 0: the checking pass, then the chunk table; 1: the difference bytes; 2: the literal bytes */
    FotaDecoderMemory decoders[FOTA_DECODER_COUNT];
    uint8_t *blockDigests; /* the signed call's: FOTA_GUARD_BLOCKS digests; 0 otherwise */
} FotaWork;

/* Divides work, which holds at least FOTA_APPLY_WORK_SIZE bytes (FOTA_APPLY_SIGNED_WORK_SIZE when signed),
   into its parts. */
FOTA_INTERNAL void fotaCarveWork(void *work, FotaWork *parts, int isSigned);

/* Chunk index's unit length, as the checking pass recorded it. */
FOTA_INTERNAL void fotaSetChunkLength(uint8_t *codes, uint32_t index, uint32_t length);
FOTA_INTERNAL uint32_t fotaChunkLength(const uint8_t *codes, uint32_t index);

#endif
