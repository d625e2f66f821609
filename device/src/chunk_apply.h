/* One chunk through the scratch into its unit, each step recorded once it holds. */
#ifndef FOTA_CHUNK_APPLY_H
#define FOTA_CHUNK_APPLY_H

#include "internal.h"
#include "progress.h"
#include "stream_layout.h"

/* Brings the chunk the reader last read to done from whatever step a power cut left it at; its
   records are read from the reader in every case. */
FOTA_INTERNAL int fotaApplyChunk(const FotaProgress *progress, FotaStreamReader *reader, const FotaChunk *chunk);

/* The chunks whose "done" record is written, each unit checked as FotaApplyPack checks it: one that no longer
   holds its chunk gives FOTA_APPLY_TARGET_MISMATCH. */
FOTA_INTERNAL int fotaCountDoneChunks(const FotaProgress *progress, FotaStreamReader *reader, uint32_t *done);

#endif
