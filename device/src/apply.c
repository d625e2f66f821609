/* The entry points: the checking pass before the first erase, then the chunks in stream order. */
#include "quarnel_apply.h"

#include "chunk_apply.h"
#include "flash_ops.h"
#include "image_area.h"
#include "meter.h"
#include "pack_header.h"
#include "progress.h"
#include "spare_area.h"
#include "stream_check.h"
#include "stream_layout.h"
#include "work_layout.h"

/* Where this pack's update stands in flash, as reading alone tells. */
enum Standing {
    STANDING_RESUME,   /* the state area holds this pack's identity */
    STANDING_FRESH,    /* no identity, the old image in place */
    STANDING_FINISHED, /* no identity, not the old image, but every unit holds its chunk */
    STANDING_NEITHER
};

size_t FotaApplyWorkSize(const FotaPackSource *pack)
{
    FotaPackInfo info;
    if (pack == 0 || pack->read == 0 || fotaReadPackInfo(pack, &info) != FOTA_APPLY_OK)
        return 0;
    return FOTA_APPLY_WORK_SIZE;
}

/* Reads, decodes and checks the pack and the spare area, and leaves the difference and literal cursors
   at their areas' first bytes; touches no flash but by reading. */
static int preparePack(const FotaPackSource *pack, const FotaSpareArea *spare, const FotaWork *work,
                       const FotaTrust *area, FotaPackInfo *info, FotaStream *stream, FotaStreamReader *reader,
                       FotaMeter *meter)
{
    int result = fotaReadPackInfo(pack, info);
    fotaMeterPhase(meter, FOTA_PHASE_DATA_CRC, 0);
    if (result == FOTA_APPLY_OK)
        result = fotaCheckDataCrc(pack, info, work->io, meter);
    if (result == FOTA_APPLY_OK && area != 0)
        result = fotaCheckImageArea(area, info->oldStart, info->oldSize);
    fotaMeterPhase(meter, FOTA_PHASE_CHECK, 0);
    if (result == FOTA_APPLY_OK)
        result = fotaCheckStream(pack, info, work, stream, area != 0 ? fotaChunkInImageArea : 0, (void *)area,
                                 &reader->diff, &reader->literal, meter);
    if (result == FOTA_APPLY_OK)
        result = fotaCheckSpare(spare, stream);
    if (result == FOTA_APPLY_OK)
        result = fotaOpenReader(reader, pack, info, work, stream, meter);
    return result;
}

/* Four passes over each chunk's bytes, scaled to the share of the total that the stream's length sets. */
static void startApplying(FotaMeter *meter, const FotaPackInfo *info, const FotaStream *stream)
{
    fotaMeterPhase(meter, FOTA_PHASE_APPLY, 4u * (uint64_t)(info->streamLength - stream->diffStart));
}

static int findStanding(const FotaProgress *progress, FotaStreamReader *reader, const FotaPackInfo *info,
                        const FotaStream *stream, enum Standing *standing)
{
    int matches = 0;
    uint32_t oldCrc = 0;
    int hold = 0;
    int result = fotaIdentityMatches(progress, &matches);
    *standing = STANDING_RESUME;
    if (result != FOTA_APPLY_OK || matches)
        return result;
    fotaMeterPhase(progress->meter, FOTA_PHASE_OLD_IMAGE, 0);
    if ((result = fotaFlashCrc(progress->flash, info->oldStart, info->oldSize, progress->io, &oldCrc,
                               progress->meter)) != FOTA_APPLY_OK)
        return result;
    *standing = STANDING_FRESH;
    if (oldCrc == info->oldCrc)
        return FOTA_APPLY_OK;
    /* After a finished update the records may be gone (a factory reset, another tool): the units tell. */
    startApplying(progress->meter, info, stream);
    result = fotaAllUnitsHold(progress, reader, &hold);
    *standing = hold ? STANDING_FINISHED : STANDING_NEITHER;
    return result;
}

int FotaApplyPack(const FotaFlash *flash, const FotaPackSource *pack, const FotaSpareArea *spare, void *work,
                  size_t workSize)
{
    FotaMeter meter;
    if (flash == 0 || flash->read == 0 || flash->erase == 0 || flash->program == 0 || pack == 0 ||
        pack->read == 0 || spare == 0 || work == 0)
        return FOTA_APPLY_BAD_ARGUMENT;
    fotaMeterOpen(&meter, flash, pack);
    return fotaApplyPackWithin(flash, pack, spare, work, workSize, 0, &meter);
}

/* A work memory too small is reported as such, unless the pack is unreadable, as FotaApplyWorkSize tells. */
static int workTooSmall(const FotaPackSource *pack)
{
    FotaPackInfo info;
    const int result = fotaReadPackInfo(pack, &info);
    return result != FOTA_APPLY_OK ? result : FOTA_APPLY_WORK_TOO_SMALL;
}

int fotaApplyPackWithin(const FotaFlash *flash, const FotaPackSource *pack, const FotaSpareArea *spare, void *work,
                        size_t workSize, const FotaTrust *area, FotaMeter *meter)
{
    FotaPackInfo info;
    FotaWork parts;
    FotaStream stream;
    FotaStreamReader reader;
    FotaProgress progress;
    FotaChunk chunk;
    enum Standing standing = STANDING_NEITHER;
    uint64_t applied = 0; /* bytes of the chunks before the current one */
    int more = 1;
    int result;
    if (workSize < FOTA_APPLY_WORK_SIZE)
        return workTooSmall(pack);
    fotaCarveWork(work, &parts);
    if ((result = preparePack(pack, spare, &parts, area, &info, &stream, &reader, meter)) != FOTA_APPLY_OK)
        return result;
    fotaInitProgress(&progress, flash, spare, &info, parts.io, meter);
    result = findStanding(&progress, &reader, &info, &stream, &standing);
    if (result == FOTA_APPLY_OK && standing == STANDING_NEITHER)
        result = FOTA_APPLY_OLD_IMAGE_MISMATCH;
    if (result == FOTA_APPLY_OK && standing == STANDING_FRESH)
        result = fotaStartProgress(&progress);
    if (result == FOTA_APPLY_OK && standing != STANDING_FINISHED) {
        startApplying(meter, &info, &stream);
        while ((result = fotaReadChunk(&reader, &chunk, &more)) == FOTA_APPLY_OK && more) {
            fotaMeterAt(meter, 4u * applied);
            if ((result = fotaApplyChunk(&progress, &reader, &chunk)) != FOTA_APPLY_OK)
                break;
            applied += chunk.length;
        }
    }
    if (result == FOTA_APPLY_OK)
        fotaMeterFinish(meter);
    return result;
}

int FotaApplyQuery(const FotaFlash *flash, const FotaPackSource *pack, const FotaSpareArea *spare, void *work,
                   size_t workSize, FotaApplyStatus *status)
{
    FotaMeter meter;
    FotaPackInfo info;
    FotaWork parts;
    FotaStream stream;
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
    fotaMeterOpen(&meter, flash, pack);
    if (workSize < FOTA_APPLY_WORK_SIZE)
        return workTooSmall(pack);
    fotaCarveWork(work, &parts);
    /* FotaApplyPack's checks, so that every pack it refuses whatever the flash holds is refused here too. */
    if ((result = preparePack(pack, spare, &parts, 0, &info, &stream, &reader, &meter)) != FOTA_APPLY_OK)
        return result;
    fotaInitProgress(&progress, flash, spare, &info, parts.io, &meter);
    status->chunkCount = stream.chunkCount;
    if ((result = findStanding(&progress, &reader, &info, &stream, &standing)) != FOTA_APPLY_OK)
        return result;
    if (standing == STANDING_RESUME) {
        startApplying(&meter, &info, &stream);
        if ((result = fotaCountDoneChunks(&progress, &reader, &status->chunksDone)) != FOTA_APPLY_OK)
            return result;
        standing = status->chunksDone == stream.chunkCount ? STANDING_FINISHED : STANDING_RESUME;
    }
    if (standing == STANDING_FINISHED) {
        status->chunksDone = stream.chunkCount;
        fotaMeterFinish(&meter);
    }
    status->state = standing == STANDING_FINISHED ? FOTA_STATE_DONE
                    : standing == STANDING_RESUME ? FOTA_STATE_IN_PROGRESS
                    : standing == STANDING_FRESH  ? FOTA_STATE_NOT_STARTED
                                                  : FOTA_STATE_NOT_APPLICABLE;
    return FOTA_APPLY_OK;
}
