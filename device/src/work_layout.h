/* How the caller's work memory is divided: an I/O block, the LZMA decoder's probabilities, the decoded stream. */
#ifndef FOTA_WORK_LAYOUT_H
#define FOTA_WORK_LAYOUT_H

#include <stddef.h>
#include <stdint.h>

/* Every flash and pack transfer goes through this block; a multiple of the largest programUnit, 256. */
#define FOTA_IO_BYTES 4096u
/* The decoder's probability table for lc 3, lp 0: 1846 + 0x300 << 3 entries of 16 bits. */
#define FOTA_PROBS_BYTES ((1846u + (0x300u << 3)) * 2u)
/* Slack for placing the I/O block and the table at an 8-byte boundary, whatever pointer the caller passes. */
#define FOTA_WORK_ALIGN_SLACK 7u
#define FOTA_WORK_OVERHEAD (FOTA_WORK_ALIGN_SLACK + FOTA_IO_BYTES + FOTA_PROBS_BYTES)

typedef struct FotaWork {
    uint8_t *io;     /* FOTA_IO_BYTES */
    void *probs;     /* FOTA_PROBS_BYTES */
    uint8_t *stream; /* the whole decoded patch stream */
} FotaWork;

/* Work bytes for a stream of streamLength bytes; 0 when that does not fit a size_t. */
size_t fotaWorkSizeFor(uint32_t streamLength);

/* Divides work, which holds at least fotaWorkSizeFor bytes, into its three parts. */
void fotaCarveWork(void *work, FotaWork *parts);

#endif
