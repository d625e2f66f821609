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
/* The largest unit, and so the most records a chunk can have: every record covers at least one byte. */
#define FOTA_MAX_CHUNK_BYTES 65536u

/* What the checking pass learns of the whole stream. */
typedef struct FotaStream {
    uint32_t chunkCount;
    uint32_t diffStart;  /* where the difference bytes begin, right after the last entry */
    uint32_t extraStart; /* where the literal bytes begin */
    /* The chunks' units lie back to back from the first chunk's on, one way, rising or falling, and fill
       [regionStart, regionEnd), which begins where the old image does: the new image's place. */
    uint32_t firstTarget;
    int direction; /* +1 rising, -1 falling, 0 for a single chunk */
    uint32_t regionStart;
    uint64_t regionEnd;
    /* The old image's area, which every chunk may read besides the units written before it. */
    uint32_t oldStart;
    uint64_t oldEnd;
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
    FotaChunk last;       /* the chunk last read */
    uint32_t recordsLeft; /* of the chunk last read */
    uint32_t bytesLeft;   /* of the chunk last read, by its records so far */
    uint32_t owedDiff;    /* difference bytes of chunks passed over, not yet decoded */
    uint32_t owedLiteral;
} FotaStreamReader;

/* Whether [source, source + length) lies where a chunk may read: inside the old image's area, or inside
   the units of the chunks before it, [writtenStart, writtenEnd), or inside both where the two meet. So a
   chunk reads only bytes that the old image's checksum or this update's own chunks vouch for. */
FOTA_INTERNAL int fotaSourceAllowed(const FotaStream *stream, uint64_t writtenStart, uint64_t writtenEnd,
                                    uint32_t source, uint32_t length);

/* The units written before chunk, by the stream's walk: [*start, *end), empty for the first. */
FOTA_INTERNAL void fotaWrittenBefore(const FotaStream *stream, const FotaChunk *chunk, uint64_t *start,
                                     uint64_t *end);

/* Opens the table cursor on the first entry; the difference and literal cursors come from the checking pass. */
FOTA_INTERNAL int fotaOpenReader(FotaStreamReader *reader, FotaPack *pack, const FotaPackInfo *info,
                                 const FotaWork *work, const FotaStream *stream, FotaMeter *meter);

/* The next chunk's entry; 0 in *more after the last. Checked again against what the checking pass saw,
   in case the pack changed under the update: its unit must be the one the walk puts next. */
FOTA_INTERNAL int fotaReadChunk(FotaStreamReader *reader, FotaChunk *chunk, int *more);

/* The chunk's next record, checked as the checking pass checked it: not empty, within its unit's bytes, and
   reading only where fotaSourceAllowed lets it. */
FOTA_INTERNAL int fotaReadRecord(FotaStreamReader *reader, FotaRecord *record);

/* Reads the rest of the chunk's records; its bytes are decoded only when a later chunk needs what follows. */
FOTA_INTERNAL int fotaPassChunk(FotaStreamReader *reader);

/* Brings the difference and literal cursors to the chunk last read, decoding what chunks passed over hold. */
FOTA_INTERNAL int fotaCatchUp(FotaStreamReader *reader);

#endif
