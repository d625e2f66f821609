/* The checking pass: decodes the whole stream once and checks everything a write depends on. */
#ifndef FOTA_STREAM_CHECK_H
#define FOTA_STREAM_CHECK_H

#include "internal.h"
#include "stream_layout.h"

/* Called for each chunk once its entry and records passed their checks; a result other than
   FOTA_APPLY_OK ends the pass with that result. */
typedef int (*FotaChunkVisitor)(void *context, const FotaChunk *chunk);

/* Decodes the whole stream through work's first decoder and checks that counts and lengths add up to
   its last byte, that there are at most FOTA_APPLY_MAX_CHUNKS chunks, each an aligned 4, 32 or 64 KiB
   unit, all in one direction without overlap, that every record with difference bytes reads inside
   the hull of the old image and the chunks' units, and that the data ends clean. Records each chunk's
   unit length in work's chunk codes and fills stream. visit may be 0. When diff and literal are not 0,
   they become cursors at the first difference and the first literal byte, in work's other decoders. All
   three report to meter as they decode. */
FOTA_INTERNAL int fotaCheckStream(const FotaPackSource *pack, const FotaPackInfo *info, const FotaWork *work,
                                  FotaStream *stream, FotaChunkVisitor visit, void *context, FotaCursor *diff,
                                  FotaCursor *literal, FotaMeter *meter);

#endif
