/* A signed update whose pack store swaps, after a chosen number of reads, to
   a foreign pack: one of the same size, valid, that the key holder never
   signed. Whatever the read, no call may end in 0 without the new image, and
   the foreign pack's byte may never reach the flash. */
#ifndef STORE_SWAPS_H
#define STORE_SWAPS_H

#include <stdint.h>

#include "update_rig.h"

typedef struct ForeignPack {
    const uint8_t *bytes; /* as many as the rig's pack */
    uint32_t flashAt;     /* the one byte it writes otherwise, a value neither image holds there */
    uint8_t value;
} ForeignPack;

/* Swaps at a spread of reads of an update from the old image, and of resumes after a cut at call cutAt of
   the first call; after each, a call with the signed pack must finish the update. The rig's trust must be
   set. Prints a line per run; returns the number of runs that failed. */
int runStoreSwaps(UpdateRig *rig, const ForeignPack *foreign, uint32_t cutAt, int *runsMade);

#endif
