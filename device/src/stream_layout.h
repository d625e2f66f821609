/* The decoded patch stream: chunk entries with their records, then the difference and the literal bytes. */
#ifndef FOTA_STREAM_LAYOUT_H
#define FOTA_STREAM_LAYOUT_H

#include <stdint.h>

#include "pack_header.h"

#define FOTA_ENTRY_SIZE 12u

typedef struct FotaStream {
    const uint8_t *bytes;
    uint32_t length;
    uint32_t chunkCount;
    uint32_t diffStart;  /* where the difference bytes begin, right after the last entry */
    uint32_t extraStart; /* where the literal bytes begin */
    /* The flash the update may read or write: the hull of the old image and every chunk's unit. */
    uint32_t areaStart;
    uint64_t areaEnd;
} FotaStream;

/* One chunk, with where its entry and its bytes are in the stream. */
typedef struct FotaChunk {
    uint32_t index;
    uint32_t entry; /* stream position of its 12-byte entry; its records follow */
    uint32_t target;
    uint32_t crc;
    uint32_t recordCount;
    uint32_t length;    /* the sum of its records' difference and literal lengths */
    uint32_t diffBytes; /* the sum of the difference lengths alone */
    uint32_t diffPos;
    uint32_t extraPos;
} FotaChunk;

/* One record of a chunk. */
typedef struct FotaRecord {
    uint32_t source;
    uint32_t diffLength;
    uint32_t extraLength;
} FotaRecord;

/* Checks that the stream's counts and lengths add up to its last byte, that the
   chunks are aligned 4, 32 or 64 KiB units that do not overlap one another, and
   that every record reads inside the old or the new image's area. Fills stream. */
int fotaParseStream(const uint8_t *bytes, uint32_t length, const FotaPackInfo *info, FotaStream *stream);

/* The first chunk, and the one after chunk; both return 0 when there is none. */
int fotaFirstChunk(const FotaStream *stream, FotaChunk *chunk);
int fotaNextChunk(const FotaStream *stream, FotaChunk *chunk);

void fotaReadRecord(const FotaStream *stream, const FotaChunk *chunk, uint32_t index, FotaRecord *record);

#endif
