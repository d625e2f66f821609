/* The progress records in the state area.

   Layout, each record in a slot of its own at a programUnit boundary:
     slot 0, identity:   "FOTAPROG", then dataCrc, dataLength, oldCrc, oldStart,
                         oldSize, scratchOffset, stateLength, programUnit (u32 LE),
                         with a sector map also the groups' fingerprint (u32 LE),
                         zeros to the end of the slot (40 or 44 bytes rounded up to programUnit)
     per chunk k, after it, programUnit bytes each (for a group, its first chunk's):
       record 2k:     the scratch holds the group's new bytes, checked
       record 2k + 1: the group's sectors hold its new bytes, checked
   A slot is written once, from erased, and only once what it states holds;
   any byte of it that is not 0xFF makes it written. Every slot is read back
   after its program call: one that reads otherwise fails the call, and the
   next call finds it unwritten (or torn) and writes it again. */
#ifndef FOTA_PROGRESS_H
#define FOTA_PROGRESS_H

#include <stdint.h>

#include "internal.h"
#include "meter.h"
#include "pack_header.h"
#include "quarnel_apply.h"

#define FOTA_IDENTITY_BYTES 40u
#define FOTA_MAPPED_IDENTITY_BYTES 44u

typedef struct FotaProgress {
    const FotaFlash *flash;
    const FotaSpareArea *spare;
    uint8_t *io; /* FOTA_IO_BYTES */
    FotaMeter *meter;
    uint8_t identity[FOTA_MAPPED_IDENTITY_BYTES];
    uint32_t identityBytes; /* 40, or 44 with a sector map */
    uint32_t identitySlot;  /* the identity's slot length */
} FotaProgress;

enum FotaRecordKind { FOTA_RECORD_IN_SCRATCH = 0, FOTA_RECORD_DONE = 1 };

/* State bytes that a pack of chunkCount chunks needs at this programUnit, with an identity of identityBytes. */
FOTA_INTERNAL uint64_t fotaStateBytesNeeded(uint32_t chunkCount, uint32_t programUnit, uint32_t identityBytes);

/* The state area as this pack and spare area name it, and with a sector map its groups' fingerprint (0
   without one); reads nothing. */
FOTA_INTERNAL void fotaInitProgress(FotaProgress *progress, const FotaFlash *flash, const FotaSpareArea *spare,
                                    const FotaPackInfo *info, const uint32_t *fingerprint, uint8_t *io,
                                    FotaMeter *meter);

/* Erases the scratch's first length bytes: with a sector map, the whole sectors they touch. */
FOTA_INTERNAL int fotaEraseScratch(const FotaProgress *progress, uint32_t length);

/* Whether the identity slot holds exactly this pack's identity: the update is under way or done. */
FOTA_INTERNAL int fotaIdentityMatches(const FotaProgress *progress, int *matches);

/* A fresh start, only once the old image is known to be in flash: erases the whole state area and
   writes the identity, read back. */
FOTA_INTERNAL int fotaStartProgress(const FotaProgress *progress);

FOTA_INTERNAL int fotaRecordWritten(const FotaProgress *progress, uint32_t chunk, enum FotaRecordKind kind,
                                    int *written);
/* Programs the record and reads it back. */
FOTA_INTERNAL int fotaWriteRecord(const FotaProgress *progress, uint32_t chunk, enum FotaRecordKind kind);

#endif
