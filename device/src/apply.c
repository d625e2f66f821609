/* The entry points: the first pass before the first erase, then the chunks in stream order. */
#include "quarnel_apply.h"

#include "apply_call.h"
#include "group_apply.h"
#include "flash_ops.h"
#include "image_area.h"
#include "meter.h"
#include "pack_header.h"
#include "progress.h"
#include "sector_groups.h"
#include "spare_area.h"
#include "stream_check.h"
#include "stream_layout.h"
#include "work_layout.h"

/* Where this pack's update stands in flash, as reading alone tells. */
enum Standing {
    STANDING_RESUME, /* the state area holds this pack's identity */
    STANDING_FRESH,  /* no identity, the old image in place */
    STANDING_NEITHER
};

size_t FotaApplyWorkSize(const FotaPackSource *pack)
{
    FotaPackInfo info;
    if (pack == 0 || pack->read == 0 || fotaReadPackInfo(pack, &info) != FOTA_APPLY_OK)
        return 0;
    return FOTA_APPLY_WORK_SIZE;
}

int fotaWorkTooSmall(const FotaPackSource *pack)
{
    FotaPackInfo info;
    const int result = fotaReadPackInfo(pack, &info);
    return result != FOTA_APPLY_OK ? result : FOTA_APPLY_WORK_TOO_SMALL;
}

/* The headers, the old image's area, the stream's checks, decoded from the first granule on as the pass takes
   them; leaves the difference and literal cursors at their areas' first bytes. */
static int decodeFirstPass(FotaPack *pack, const FotaWork *work, const FotaTrust *area, FotaPackInfo *info,
                           FotaStream *stream, FotaStreamReader *reader, FotaMeter *meter, int *headerFailed)
{
    uint32_t length = 0;
    int result = fotaPackTakeNext(pack, work->decoders[0].input, &length);
    *headerFailed = 0;
    if (result == FOTA_APPLY_OK && (result = fotaParsePackInfo(work->decoders[0].input, length, pack->source.size,
                                                               info)) != FOTA_APPLY_OK)
        *headerFailed = 1;
    if (result == FOTA_APPLY_OK && area != 0)
        result = fotaCheckImageArea(area, info->oldStart, info->oldSize);
    if (result == FOTA_APPLY_OK)
        result = fotaCheckStream(pack, info, work, length, stream, area != 0 ? fotaChunkInImageArea : 0,
                                 (void *)area, &reader->diff, &reader->literal, meter);
    return result;
}

/* Reads the pack once, every granule in order, decoding and checking it, and takes its checksums; the verdicts
   come in this order: the signature (signed call), the data checksum, then the first fault found. Touches
   no flash but by reading. */
static int firstPass(FotaPack *pack, const FotaWork *work, const FotaTrust *area, FotaPackInfo *info,
                     FotaStream *stream, FotaStreamReader *reader, FotaMeter *meter)
{
    int headerFailed = 0;
    int result;
    int rest;
    fotaMeterPhase(meter, FOTA_PHASE_CHECK, 0);
    result = decodeFirstPass(pack, work, area, info, stream, reader, meter, &headerFailed);
    /* Without a signature to settle, a pack whose header is wrong is not worth reading further. */
    if (headerFailed && pack->guard == 0)
        return result;
    if ((rest = fotaPackTakeRest(pack, work->decoders[0].input, meter)) != FOTA_APPLY_OK)
        return rest;
    if (pack->guard != 0 && (rest = pack->guard->finish(pack->guard)) != FOTA_APPLY_OK)
        return rest;
    if (headerFailed)
        return result;
    if (pack->dataCrc != info->dataCrc)
        return FOTA_APPLY_BAD_DATA_CRC;
    return result;
}

/* Four passes over each chunk's bytes, scaled to the share of the total that the stream's length sets. */
static void startApplying(FotaMeter *meter, const FotaPackInfo *info, const FotaStream *stream)
{
    fotaMeterPhase(meter, FOTA_PHASE_APPLY, 4u * (uint64_t)(info->streamLength - stream->diffStart));
}

/* Only this pack's identity, written by this applier once the old image was found, says that the update
   is under way or over: nothing a pack states about the flash can. */
static int findStanding(const FotaProgress *progress, const FotaPackInfo *info, enum Standing *standing)
{
    int matches = 0;
    uint32_t oldCrc = 0;
    int result = fotaIdentityMatches(progress, &matches);
    *standing = STANDING_RESUME;
    if (result != FOTA_APPLY_OK || matches)
        return result;
    fotaMeterPhase(progress->meter, FOTA_PHASE_OLD_IMAGE, 0);
    /* The pack says where the old image lies: flash the port will not read does not hold it, and nothing
       of this update has begun, so that is a refusal like any other old image. */
    result = fotaFlashCrc(progress->flash, info->oldStart, info->oldSize, progress->io, &oldCrc, progress->meter);
    *standing = result == FOTA_APPLY_OK && oldCrc == info->oldCrc ? STANDING_FRESH : STANDING_NEITHER;
    return result == FOTA_APPLY_FLASH_READ_FAILED ? FOTA_APPLY_OK : result;
}

/* What may follow once the update has begun: a flash fault, or a pack that no longer reads as the first
   pass read it. Either way the update is pending and the image may be half written. */
static int keepsPending(int result)
{
    return (result >= FOTA_APPLY_FLASH_READ_FAILED && result <= FOTA_APPLY_TARGET_MISMATCH) ||
           result == FOTA_APPLY_PACK_CHANGED;
}

/* What the checks before the first write found: the pack's headers and stream, and with a sector map the
   fingerprint of its groups. */
typedef struct Prepared {
    FotaPackInfo info;
    FotaStream stream;
    uint32_t fingerprint;
    const uint32_t *mapped; /* &fingerprint with a sector map, else 0 */
} Prepared;

/* The first pass, the spare area, the sector map, and the reader at the first chunk: everything before the
   first write. */
static int preparePack(const FotaFlash *flash, FotaPack *pack, const FotaSpareArea *spare, const FotaWork *work,
                       const FotaTrust *area, Prepared *prepared, FotaStreamReader *reader, FotaMeter *meter)
{
    const int sectorMap = flash->sectorAt != 0;
    int result = firstPass(pack, work, area, &prepared->info, &prepared->stream, reader, meter);
    prepared->mapped = sectorMap ? &prepared->fingerprint : 0;
    prepared->fingerprint = 0;
    if (result == FOTA_APPLY_OK)
        result = fotaCheckSpare(spare, &prepared->stream, sectorMap,
                                sectorMap ? FOTA_MAPPED_IDENTITY_BYTES : FOTA_IDENTITY_BYTES);
    if (result == FOTA_APPLY_OK && sectorMap)
        result = fotaCheckGroups(flash, spare, &prepared->stream, work->chunkCodes, area, &prepared->fingerprint);
    if (result == FOTA_APPLY_OK)
        result = fotaOpenReader(reader, pack, &prepared->info, work, &prepared->stream, meter);
    return result;
}

/* Visits every group in walk order: apply it, or (query) find whether it is recorded done. */
typedef int (*GroupStep)(const FotaGroupWork *work, uint32_t *done);

static int applyStep(const FotaGroupWork *work, uint32_t *done)
{
    const int result = fotaApplyGroup(work);
    *done += result == FOTA_APPLY_OK ? work->group->chunkCount : 0;
    return result;
}

static int countStep(const FotaGroupWork *work, uint32_t *done)
{
    int recorded = 0;
    const int result = fotaGroupRecordedDone(work, &recorded);
    *done += recorded ? work->group->chunkCount : 0;
    return result;
}

static int everyGroup(const FotaProgress *progress, FotaStreamReader *reader, const FotaWork *work,
                      const Prepared *prepared, GroupStep step, uint32_t *done)
{
    const FotaStream *stream = &prepared->stream;
    FotaGroup group;
    FotaGroupWork groupWork;
    uint64_t applied = 0; /* bytes of the chunks before the current group */
    uint32_t first = 0;
    uint32_t target = stream->firstTarget;
    int result = FOTA_APPLY_OK;
    groupWork.progress = progress;
    groupWork.reader = reader;
    groupWork.group = &group;
    groupWork.crcs = work->groupCrcs;
    *done = 0;
    startApplying(progress->meter, &prepared->info, stream);
    while (result == FOTA_APPLY_OK && first < stream->chunkCount) {
        if ((result = fotaGroupFrom(progress->flash, stream, work->chunkCodes, first, target, &group)) !=
            FOTA_APPLY_OK)
            break;
        fotaMeterAt(progress->meter, 4u * applied);
        result = step(&groupWork, done);
        applied += group.chunksEnd - group.chunksStart;
        target = fotaTargetAfter(stream, work->chunkCodes, &group);
        first += group.chunkCount;
    }
    return result;
}

int fotaApplyWithin(const FotaFlash *flash, FotaPack *pack, const FotaSpareArea *spare, const FotaWork *work,
                    const FotaTrust *area, FotaMeter *meter)
{
    Prepared prepared;
    FotaStreamReader reader;
    FotaProgress progress;
    enum Standing standing = STANDING_NEITHER;
    uint32_t done = 0;
    int result;
    if ((result = preparePack(flash, pack, spare, work, area, &prepared, &reader, meter)) != FOTA_APPLY_OK)
        return result;
    fotaInitProgress(&progress, flash, spare, &prepared.info, prepared.mapped, work->io, meter);
    if ((result = findStanding(&progress, &prepared.info, &standing)) != FOTA_APPLY_OK)
        return result;
    if (standing == STANDING_NEITHER)
        return FOTA_APPLY_OLD_IMAGE_MISMATCH;
    if (standing == STANDING_FRESH)
        result = fotaStartProgress(&progress);
    if (result == FOTA_APPLY_OK)
        result = everyGroup(&progress, &reader, work, &prepared, applyStep, &done);
    if (result == FOTA_APPLY_OK)
        fotaMeterFinish(meter);
    /* From here on a pack read or check that fails is a pack that changed under the update, not a refusal. */
    return result == FOTA_APPLY_OK || keepsPending(result) ? result : FOTA_APPLY_PACK_CHANGED;
}

/* What an unsigned call works with: the caller's records copied, read once, so that what the call checks is
   what it uses; the pack read through the copy; the work memory divided. */
typedef struct UnsignedCall {
    FotaFlash flash;
    FotaSpareArea spare;
    FotaMeter meter;
    FotaWork parts;
    FotaPack reading;
} UnsignedCall;

static int openUnsignedCall(UnsignedCall *call, const FotaFlash *flash, const FotaPackSource *pack,
                            const FotaSpareArea *spare, void *work, size_t workSize)
{
    call->flash = *flash;
    call->spare = *spare;
    fotaPackOpen(&call->reading, pack, 0);
    fotaMeterOpen(&call->meter, &call->flash, &call->reading.source);
    if (workSize < FOTA_APPLY_WORK_SIZE)
        return fotaWorkTooSmall(&call->reading.source);
    fotaCarveWork(work, &call->parts, 0);
    return FOTA_APPLY_OK;
}

int FotaApplyPack(const FotaFlash *flash, const FotaPackSource *pack, const FotaSpareArea *spare, void *work,
                  size_t workSize)
{
    UnsignedCall call;
    int result;
    if (flash == 0 || flash->read == 0 || flash->erase == 0 || flash->program == 0 || pack == 0 ||
        pack->read == 0 || spare == 0 || work == 0)
        return FOTA_APPLY_BAD_ARGUMENT;
    if ((result = openUnsignedCall(&call, flash, pack, spare, work, workSize)) != FOTA_APPLY_OK)
        return result;
    return fotaApplyWithin(&call.flash, &call.reading, &call.spare, &call.parts, 0, &call.meter);
}

int FotaApplyQuery(const FotaFlash *flash, const FotaPackSource *pack, const FotaSpareArea *spare, void *work,
                   size_t workSize, FotaApplyStatus *status)
{
    UnsignedCall call;
    Prepared prepared;
    FotaStreamReader reader;
    FotaProgress progress;
    enum Standing standing = STANDING_NEITHER;
    int result;
    if (flash == 0 || flash->read == 0 || pack == 0 || pack->read == 0 || spare == 0 || work == 0 || status == 0)
        return FOTA_APPLY_BAD_ARGUMENT;
    /* Nothing a caller could take for a finished update, should it overlook the result. */
    status->state = FOTA_STATE_NOT_APPLICABLE;
    status->chunksDone = 0;
    status->chunkCount = 0;
    if ((result = openUnsignedCall(&call, flash, pack, spare, work, workSize)) != FOTA_APPLY_OK)
        return result;
    /* FotaApplyPack's checks, so that every pack it refuses whatever the flash holds is refused here too. */
    if ((result = preparePack(&call.flash, &call.reading, &call.spare, &call.parts, 0, &prepared, &reader,
                              &call.meter)) != FOTA_APPLY_OK)
        return result;
    fotaInitProgress(&progress, &call.flash, &call.spare, &prepared.info, prepared.mapped, call.parts.io,
                     &call.meter);
    status->chunkCount = prepared.stream.chunkCount;
    if ((result = findStanding(&progress, &prepared.info, &standing)) != FOTA_APPLY_OK)
        return result;
    if (standing == STANDING_RESUME &&
        (result = everyGroup(&progress, &reader, &call.parts, &prepared, countStep, &status->chunksDone)) !=
            FOTA_APPLY_OK)
        return result;
    if (standing == STANDING_RESUME && status->chunksDone == prepared.stream.chunkCount)
        fotaMeterFinish(&call.meter);
    status->state = standing == STANDING_FRESH      ? FOTA_STATE_NOT_STARTED
                    : standing == STANDING_NEITHER ? FOTA_STATE_NOT_APPLICABLE
                    : status->chunksDone == prepared.stream.chunkCount ? FOTA_STATE_DONE
                                                                       : FOTA_STATE_IN_PROGRESS;
    return FOTA_APPLY_OK;
}
