/* Decoding the pack's LZMA block whole into work. */
#ifndef FOTA_STREAM_DECODE_H
#define FOTA_STREAM_DECODE_H

#include "pack_header.h"
#include "work_layout.h"

/* Decodes the block into work->stream, exactly info->streamLength bytes, the
   compressed data read through work->io. The block has no end marker: decoding
   stops at the stated length, and the data must end there too. */
int fotaDecodeStream(const FotaPackSource *pack, const FotaPackInfo *info, const FotaWork *work);

#endif
