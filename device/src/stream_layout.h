/* The decoded patch stream: a chunk count, each chunk's 12-byte entry with its records, then every
   chunk's difference bytes, then every chunk's literal bytes. Read through three cursors, one per area. */
#ifndef FOTA_STREAM_LAYOUT_H
#define FOTA_STREAM_LAYOUT_H

#include <stdint.h>

#include "internal.h"
#include "pack_header.h"
#include "stream_cursor.h"
#include "work_layout.h"

#define FOTA_ENTRY_SIZE 12u

/* What the checking pass learns of the whole stream. */
typedef struct FotaStream {
    uint32_t chunkCount;
    uint32_t diffStart;  /* where the difference bytes begin, right after the last entry */
    uint32_t extraStart; /* where the literal bytes begin */
    /* The flash the update may read or write: the hull of the old image and every chunk's unit. */
    uint32_t areaStart;
    uint64_t areaEnd;
} FotaStream;

typedef struct FotaChunk {
    uint32_t index;
    uint32_t target;
    uint32_t length; /* the sum of its records' difference and literal lengths: one 4, 32 or 64 KiB unit */
    uint32_t crc;
    uint32_t recordCount;
} FotaChunk;

typedef struct FotaRecord {
    uint32_t source;
    uint32_t diffLength;
    uint32_t extraLength;
} FotaRecord;

/* Reads the stream for applying it: the table through one cursor, and a cursor each for the difference
   and the literal bytes, which decode the bytes of chunks passed over only when a later chunk needs them. */
typedef struct FotaStreamReader {
    FotaCursor table;
    FotaCursor diff;
    FotaCursor literal;
    const FotaStream *stream;
    const uint8_t *chunkCodes;
    uint32_t chunksRead;
    uint32_t recordsLeft; /* of the chunk last read */
    uint32_t bytesLeft;   /* of the chunk last read, by its records so far */
    uint32_t owedDiff;    /* difference bytes of chunks passed over, not yet decoded */
    uint32_t owedLiteral;
} FotaStreamReader;

/* Opens the table cursor on the first entry; the difference and literal cursors come from the checking pass. */
FOTA_INTERNAL int fotaOpenReader(FotaStreamReader *reader, const FotaPackSource *pack, const FotaPackInfo *info,
                                 const FotaWork *work, const FotaStream *stream, FotaMeter *meter);

/* The next chunk's entry; 0 in *more after the last. Checked again against what the checking pass saw,
   in case the pack changed under the update. */
FOTA_INTERNAL int fotaReadChunk(FotaStreamReader *reader, FotaChunk *chunk, int *more);

/* The chunk's next record, checked against its unit and the update's area. */
FOTA_INTERNAL int fotaReadRecord(FotaStreamReader *reader, FotaRecord *record);

/* Reads the rest of the chunk's records; its bytes are decoded only when a later chunk needs what follows. */
FOTA_INTERNAL int fotaPassChunk(FotaStreamReader *reader);

/* Brings the difference and literal cursors to the chunk last read, decoding what chunks passed over hold. */
FOTA_INTERNAL int fotaCatchUp(FotaStreamReader *reader);

#endif
