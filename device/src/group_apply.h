/* One group of chunks through the scratch into its sectors, each step recorded once it holds; a group that
   already holds exactly its new bytes is recorded done without a write. */
#ifndef FOTA_GROUP_APPLY_H
#define FOTA_GROUP_APPLY_H

#include "internal.h"
#include "progress.h"
#include "sector_groups.h"
#include "stream_layout.h"

/* Where one group is rebuilt: the reader at its first chunk, and room for its chunks' checksums. */
typedef struct FotaGroupWork {
    const FotaProgress *progress;
    FotaStreamReader *reader;
    const FotaGroup *group;
    uint32_t *crcs; /* FOTA_GROUP_MAX_CHUNKS */
} FotaGroupWork;

/* Brings the group to done from whatever step a power cut left it at; its chunks' records are read from
   the reader in every case. */
FOTA_INTERNAL int fotaApplyGroup(const FotaGroupWork *work);

/* Whether the group is recorded done, its chunks read past; when it is, each unit checked as FotaApplyPack
   checks it: one that no longer holds its chunk gives FOTA_APPLY_TARGET_MISMATCH. */
FOTA_INTERNAL int fotaGroupRecordedDone(const FotaGroupWork *work, int *done);

#endif
