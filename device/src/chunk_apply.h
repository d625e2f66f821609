/* One chunk through the scratch into its unit, each step recorded once it holds. */
#ifndef FOTA_CHUNK_APPLY_H
#define FOTA_CHUNK_APPLY_H

#include "progress.h"
#include "stream_layout.h"

/* Brings chunk k to done from whatever step a power cut left it at. */
int fotaApplyChunk(const FotaProgress *progress, const FotaStream *stream, const FotaChunk *chunk);

#endif
