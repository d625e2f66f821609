/* The checking pass: decodes the whole stream once and checks everything a write depends on. */
#ifndef FOTA_STREAM_CHECK_H
#define FOTA_STREAM_CHECK_H

#include "internal.h"
#include "stream_layout.h"

/* Called for each chunk once its entry and records passed their checks; a result other than
   FOTA_APPLY_OK ends the pass with that result. */
typedef int (*FotaChunkVisitor)(void *context, const FotaChunk *chunk);

/* The first pass's decoding: decodes the whole stream through work's first decoder, which takes the pack's
   granules (the first already in its input, preloaded bytes of it), and checks that counts and lengths add
   up to its last byte, that there are 1 to FOTA_APPLY_MAX_CHUNKS chunks, each an aligned 4, 32 or 64 KiB
   unit, back to back one way from the old image's start, that no record is empty and every record with
   difference bytes reads where fotaSourceAllowed lets it, that the stated length is no more than the chunks
   can need, and that the data ends clean. Records each chunk's unit length in work's chunk codes and fills
   stream. visit may be 0. When diff and literal are not 0, they become cursors at the first difference and
   the first literal byte, in work's other decoders. All three report to meter as they decode. */
FOTA_INTERNAL int fotaCheckStream(FotaPack *pack, const FotaPackInfo *info, const FotaWork *work, uint32_t preloaded,
                                  FotaStream *stream, FotaChunkVisitor visit, void *context, FotaCursor *diff,
                                  FotaCursor *literal, FotaMeter *meter);

#endif
