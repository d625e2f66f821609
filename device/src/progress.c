#include "progress.h"

#include <string.h>

#include "flash_ops.h"
#include "le_fields.h"
#include "sector_map.h"
#include "spare_area.h"

static const uint8_t stateMagic[8] = {'F', 'O', 'T', 'A', 'P', 'R', 'O', 'G'};

static uint32_t roundUp(uint32_t length, uint32_t unit)
{
    return (length + unit - 1u) / unit * unit;
}

uint64_t fotaStateBytesNeeded(uint32_t chunkCount, uint32_t programUnit, uint32_t identityBytes)
{
    return roundUp(identityBytes, programUnit) + 2u * (uint64_t)chunkCount * programUnit;
}

static uint32_t recordOffset(const FotaProgress *progress, uint32_t chunk, enum FotaRecordKind kind)
{
    return progress->spare->stateOffset + progress->identitySlot +
           (2u * chunk + (uint32_t)kind) * progress->spare->programUnit;
}

/* Names the pack, the spare area it runs with and the groups it is rebuilt in, so that no other pack,
   placement or sector map resumes from these records. */
static void buildIdentity(FotaProgress *progress, const FotaPackInfo *info, const uint32_t *fingerprint)
{
    uint8_t *bytes = progress->identity;
    memcpy(bytes, stateMagic, sizeof stateMagic);
    fotaStoreLe32(bytes + 8, info->dataCrc);
    fotaStoreLe32(bytes + 12, info->dataLength);
    fotaStoreLe32(bytes + 16, info->oldCrc);
    fotaStoreLe32(bytes + 20, info->oldStart);
    fotaStoreLe32(bytes + 24, info->oldSize);
    fotaStoreLe32(bytes + 28, progress->spare->scratchOffset);
    fotaStoreLe32(bytes + 32, progress->spare->stateLength);
    fotaStoreLe32(bytes + 36, progress->spare->programUnit);
    if (fingerprint != 0)
        fotaStoreLe32(bytes + 40, *fingerprint);
}

/* Only the whole slot, byte for byte, counts: a torn identity is another pack's. */
int fotaIdentityMatches(const FotaProgress *progress, int *matches)
{
    uint32_t i;
    const int result = fotaRead(progress->flash, progress->spare->stateOffset, progress->io, progress->identitySlot);
    if (result != FOTA_APPLY_OK)
        return result;
    *matches = memcmp(progress->io, progress->identity, progress->identityBytes) == 0;
    for (i = progress->identityBytes; i < progress->identitySlot; ++i)
        *matches = *matches && progress->io[i] == 0;
    return FOTA_APPLY_OK;
}

/* From the first sector on, so that once the identity is gone no record of the last pack can be read as current. */
static int eraseState(const FotaProgress *progress)
{
    const uint64_t end = (uint64_t)progress->spare->stateOffset + progress->spare->stateLength;
    uint64_t at = progress->spare->stateOffset;
    while (at < end) {
        uint32_t start = (uint32_t)at;
        uint32_t length = FOTA_SECTOR_BYTES;
        int result = FOTA_APPLY_OK;
        if (progress->flash->sectorAt != 0)
            result = fotaSectorAt(progress->flash, (uint32_t)at, &start, &length);
        if (result == FOTA_APPLY_OK)
            result = fotaErase(progress->flash, start, length);
        if (result != FOTA_APPLY_OK)
            return result;
        fotaMeterTick(progress->meter);
        at = (uint64_t)start + length;
    }
    return FOTA_APPLY_OK;
}

int fotaEraseScratch(const FotaProgress *progress, uint32_t length)
{
    const uint32_t scratch = progress->spare->scratchOffset;
    uint64_t end = (uint64_t)scratch + length;
    int result = FOTA_APPLY_OK;
    if (progress->flash->sectorAt != 0)
        result = fotaSectorsEnd(progress->flash, scratch, length, &end);
    if (result == FOTA_APPLY_OK)
        result = fotaErase(progress->flash, scratch, (uint32_t)(end - scratch));
    fotaMeterTick(progress->meter);
    return result;
}

void fotaInitProgress(FotaProgress *progress, const FotaFlash *flash, const FotaSpareArea *spare,
                      const FotaPackInfo *info, const uint32_t *fingerprint, uint8_t *io, FotaMeter *meter)
{
    progress->flash = flash;
    progress->spare = spare;
    progress->io = io;
    progress->meter = meter;
    progress->identityBytes = fingerprint != 0 ? FOTA_MAPPED_IDENTITY_BYTES : FOTA_IDENTITY_BYTES;
    progress->identitySlot = roundUp(progress->identityBytes, spare->programUnit);
    buildIdentity(progress, info, fingerprint);
}

int fotaStartProgress(const FotaProgress *progress)
{
    int matches = 0;
    int result = eraseState(progress);
    if (result != FOTA_APPLY_OK)
        return result;
    memset(progress->io, 0, progress->identitySlot);
    memcpy(progress->io, progress->identity, progress->identityBytes);
    result = fotaProgram(progress->flash, progress->spare->stateOffset, progress->io, progress->identitySlot);
    fotaMeterTick(progress->meter);
    /* A driver may report success and program nothing; past the first unit erased, a call that found no
       identity would look for the old image and never finish. */
    if (result == FOTA_APPLY_OK)
        result = fotaIdentityMatches(progress, &matches);
    return result == FOTA_APPLY_OK && !matches ? FOTA_APPLY_FLASH_PROGRAM_FAILED : result;
}

int fotaRecordWritten(const FotaProgress *progress, uint32_t chunk, enum FotaRecordKind kind, int *written)
{
    const uint32_t unit = progress->spare->programUnit;
    uint32_t i;
    const int result = fotaRead(progress->flash, recordOffset(progress, chunk, kind), progress->io, unit);
    if (result != FOTA_APPLY_OK)
        return result;
    *written = 0;
    for (i = 0; i < unit; ++i)
        *written = *written || progress->io[i] != 0xFFu;
    return FOTA_APPLY_OK;
}

int fotaWriteRecord(const FotaProgress *progress, uint32_t chunk, enum FotaRecordKind kind)
{
    const uint32_t unit = progress->spare->programUnit;
    const uint32_t offset = recordOffset(progress, chunk, kind);
    uint32_t i;
    int result;
    memset(progress->io, 0, unit);
    result = fotaProgram(progress->flash, offset, progress->io, unit);
    fotaMeterTick(progress->meter);
    /* A driver may report success and program nothing; a call that then found "in scratch" missing after
       the unit was erased would rebuild the chunk from the erased unit. */
    if (result == FOTA_APPLY_OK)
        result = fotaRead(progress->flash, offset, progress->io, unit);
    for (i = 0; i < unit && result == FOTA_APPLY_OK; ++i)
        if (progress->io[i] != 0)
            result = FOTA_APPLY_FLASH_PROGRAM_FAILED;
    return result;
}
