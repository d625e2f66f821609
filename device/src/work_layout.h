/* How the caller's work memory is divided: an I/O block, a length code per chunk, and three decoders. */
#ifndef FOTA_WORK_LAYOUT_H
#define FOTA_WORK_LAYOUT_H

#include <stddef.h>
#include <stdint.h>

#include "internal.h"
#include "quarnel_apply.h"

/* Every flash and pack transfer goes through this block; a multiple of the largest programUnit, 256. */
#define FOTA_IO_BYTES 4096u
/* The decoder's probability table for lc 3, lp 0: 1846 + 0x300 << 3 entries of 16 bits. */
#define FOTA_PROBS_BYTES ((1846u + (0x300u << 3)) * 2u)
/* Compressed bytes a decoder reads from the pack at a time. */
#define FOTA_INPUT_BYTES 512u
/* Two bits per chunk name its unit: 4, 32 or 64 KiB. */
#define FOTA_CHUNK_CODE_BYTES (FOTA_APPLY_MAX_CHUNKS / 4u)
#define FOTA_DECODER_BYTES (FOTA_PROBS_BYTES + FOTA_APPLY_WINDOW + FOTA_INPUT_BYTES)
#define FOTA_DECODER_COUNT 3u
/* Slack for placing the parts at an 8-byte boundary, whatever pointer the caller passes. */
#define FOTA_WORK_ALIGN_SLACK 7u

/* The memory of one decoder: its probabilities, its window (a ring) and its input block. */
typedef struct FotaDecoderMemory {
    void *probs;    /* FOTA_PROBS_BYTES */
    uint8_t *ring;  /* FOTA_APPLY_WINDOW */
    uint8_t *input; /* inputBytes */
    uint32_t inputBytes;
} FotaDecoderMemory;

typedef struct FotaWork {
    uint8_t *io;         /* FOTA_IO_BYTES */
    uint8_t *chunkCodes; /* FOTA_CHUNK_CODE_BYTES */
    /* 0: the checking pass, then the chunk table; 1: the difference bytes; 2: the literal bytes */
    FotaDecoderMemory decoders[FOTA_DECODER_COUNT];
} FotaWork;

/* Divides work, which holds at least FOTA_APPLY_WORK_SIZE bytes, into its parts. */
FOTA_INTERNAL void fotaCarveWork(void *work, FotaWork *parts);

/* Chunk index's unit length, as the checking pass recorded it. */
FOTA_INTERNAL void fotaSetChunkLength(uint8_t *codes, uint32_t index, uint32_t length);
FOTA_INTERNAL uint32_t fotaChunkLength(const uint8_t *codes, uint32_t index);

#endif
