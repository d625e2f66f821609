/* The progress records in the state area.

   Layout, each record in a slot of its own at a programUnit boundary:
     slot 0, identity:   "FOTAPROG", then dataCrc, dataLength, oldCrc, oldStart,
                         oldSize, scratchOffset, stateLength, programUnit (u32 LE),
                         zeros to the end of the slot (40 bytes rounded up to programUnit)
     per chunk k, after it, programUnit bytes each:
       record 2k:     the scratch holds chunk k's new bytes, checked
       record 2k + 1: chunk k's unit holds its new bytes, checked
   A slot is written once, from erased, and only once what it states holds;
   any byte of it that is not 0xFF makes it written. */
#ifndef FOTA_PROGRESS_H
#define FOTA_PROGRESS_H

#include <stdint.h>

#include "pack_header.h"
#include "quarnel_apply.h"

#define FOTA_IDENTITY_BYTES 40u

typedef struct FotaProgress {
    const FotaFlash *flash;
    const FotaSpareArea *spare;
    uint8_t *io; /* FOTA_IO_BYTES */
    uint8_t identity[FOTA_IDENTITY_BYTES];
    uint32_t identitySlot; /* the identity's slot length */
} FotaProgress;

enum FotaRecordKind { FOTA_RECORD_IN_SCRATCH = 0, FOTA_RECORD_DONE = 1 };

/* State bytes that a pack of chunkCount chunks needs at this programUnit. */
uint64_t fotaStateBytesNeeded(uint32_t chunkCount, uint32_t programUnit);

/* Opens the state area for this pack. When it holds this pack's identity the
   update resumes. Otherwise the old image must be in flash; then the whole
   state area is erased and the identity written. */
int fotaOpenProgress(FotaProgress *progress, const FotaFlash *flash, const FotaSpareArea *spare,
                     const FotaPackInfo *info, uint8_t *io);

int fotaRecordWritten(const FotaProgress *progress, uint32_t chunk, enum FotaRecordKind kind, int *written);
int fotaWriteRecord(const FotaProgress *progress, uint32_t chunk, enum FotaRecordKind kind);

#endif
