/* One chunk through the scratch into its unit, each step recorded once it holds. */
#ifndef FOTA_CHUNK_APPLY_H
#define FOTA_CHUNK_APPLY_H

#include "progress.h"
#include "stream_layout.h"

/* Brings the chunk the reader last read to done from whatever step a power cut left it at; its
   records are read from the reader in every case. */
int fotaApplyChunk(const FotaProgress *progress, FotaStreamReader *reader, const FotaChunk *chunk);

#endif
