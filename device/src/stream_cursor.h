/* A cursor over the decoded patch stream: one LZMA decoder over a ring of FOTA_APPLY_WINDOW bytes,
   handing out the stream front to back. Several cursors read different areas of one stream. */
#ifndef FOTA_STREAM_CURSOR_H
#define FOTA_STREAM_CURSOR_H

#include <stdint.h>

#include "lzma_sdk_names.h"

#include "LzmaDec.h"

#include "internal.h"
#include "meter.h"
#include "pack_header.h"
#include "pack_source.h"
#include "work_layout.h"

typedef struct FotaCursor {
    CLzmaDec decoder; /* its dic is the ring, its prop.dicSize the window */
    FotaPack *pack;
    FotaGranuleCache cache; /* this cursor's, for the signed call's checks of what it reads */
    int taking;             /* the first pass: this cursor takes the pack's granules in order */
    uint8_t *input;         /* one granule */
    uint32_t inputPos;      /* next byte of input the decoder takes */
    uint32_t inputFill;     /* bytes in input */
    uint32_t packPos;       /* pack offset of the byte after input's last */
    uint32_t packEnd;       /* pack offset after the LZMA data */
    uint32_t streamLength;  /* the decoded length the LZMA header states */
    uint32_t decoded;       /* stream bytes out of the decoder so far */
    uint32_t position;      /* stream bytes handed out (or skipped) so far */
    ELzmaStatus status;
    /* The first failure, returned by every later call: a decoder that failed is in no state to be called
       again, and its input position may have run off the buffer. */
    int failure;
    FotaMeter *meter;  /* told every FOTA_TICK_BYTES decoded, so that no long decode goes unreported */
    uint32_t nextTick; /* decoded count at which it is told next */
} FotaCursor;

/* Each of the three cursors reports after this many bytes decoded: under 64 KiB between reports in all. */
#define FOTA_TICK_BYTES 16384u

/* A cursor at the stream's first byte, in memory, reporting to meter. When taking, it is the first pass's:
   the pack's first granule, already taken, is in memory's input (preloaded bytes of it), and it takes every
   next one. Otherwise it reads granules again, checked in the signed call. */
FOTA_INTERNAL int fotaCursorOpen(FotaCursor *cursor, FotaPack *pack, const FotaPackInfo *info,
                                 const FotaDecoderMemory *memory, FotaMeter *meter, int taking, uint32_t preloaded);

/* A second cursor where from stands, in memory of its own: the decoder's state and window are copied,
   and its input is read again from the pack, not taken. */
FOTA_INTERNAL void fotaCursorFork(FotaCursor *to, const FotaCursor *from, const FotaDecoderMemory *memory);

/* The next at most want (> 0) stream bytes, in place in the ring: *bytes and *length (at least 1).
   The span stays valid until the cursor's next call. */
FOTA_INTERNAL int fotaCursorTake(FotaCursor *cursor, uint32_t want, const uint8_t **bytes, uint32_t *length);

/* Exactly length stream bytes into out. */
FOTA_INTERNAL int fotaCursorRead(FotaCursor *cursor, void *out, uint32_t length);

/* Moves past length stream bytes, decoding them. */
FOTA_INTERNAL int fotaCursorSkip(FotaCursor *cursor, uint32_t length);

/* After the last stream byte: the range coder ends clean there and no pack byte is left over. */
FOTA_INTERNAL int fotaCursorCheckEnd(const FotaCursor *cursor);

#endif
