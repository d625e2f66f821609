/* The entry points: the checking pass before the first erase, then the chunks in stream order. */
#include "quarnel_apply.h"

#include "chunk_apply.h"
#include "image_area.h"
#include "pack_header.h"
#include "progress.h"
#include "spare_area.h"
#include "stream_check.h"
#include "stream_layout.h"
#include "work_layout.h"

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
                       const FotaTrust *area, FotaPackInfo *info, FotaStream *stream, FotaStreamReader *reader)
{
    int result = fotaReadPackInfo(pack, info);
    if (result == FOTA_APPLY_OK)
        result = fotaCheckDataCrc(pack, info, work->io);
    if (result == FOTA_APPLY_OK && area != 0)
        result = fotaCheckImageArea(area, info->oldStart, info->oldSize);
    if (result == FOTA_APPLY_OK)
        result = fotaCheckStream(pack, info, work, stream, area != 0 ? fotaChunkInImageArea : 0, (void *)area,
                                 &reader->diff, &reader->literal);
    if (result == FOTA_APPLY_OK)
        result = fotaCheckSpare(spare, stream);
    return result;
}

int FotaApplyPack(const FotaFlash *flash, const FotaPackSource *pack, const FotaSpareArea *spare, void *work,
                  size_t workSize)
{
    return fotaApplyPackWithin(flash, pack, spare, work, workSize, 0);
}

int fotaApplyPackWithin(const FotaFlash *flash, const FotaPackSource *pack, const FotaSpareArea *spare, void *work,
                        size_t workSize, const FotaTrust *area)
{
    FotaPackInfo info;
    FotaWork parts;
    FotaStream stream;
    FotaStreamReader reader;
    FotaProgress progress;
    FotaChunk chunk;
    int more = 1;
    int result;
    if (flash == 0 || flash->read == 0 || flash->erase == 0 || flash->program == 0 || pack == 0 ||
        pack->read == 0 || spare == 0 || work == 0)
        return FOTA_APPLY_BAD_ARGUMENT;
    if (workSize < FOTA_APPLY_WORK_SIZE) {
        /* An unreadable pack reports as such, as FotaApplyWorkSize would. */
        result = fotaReadPackInfo(pack, &info);
        return result != FOTA_APPLY_OK ? result : FOTA_APPLY_WORK_TOO_SMALL;
    }
    fotaCarveWork(work, &parts);
    result = preparePack(pack, spare, &parts, area, &info, &stream, &reader);
    if (result == FOTA_APPLY_OK)
        result = fotaOpenReader(&reader, pack, &info, &parts, &stream);
    if (result == FOTA_APPLY_OK)
        result = fotaOpenProgress(&progress, flash, spare, &info, parts.io);
    while (result == FOTA_APPLY_OK && (result = fotaReadChunk(&reader, &chunk, &more)) == FOTA_APPLY_OK && more)
        result = fotaApplyChunk(&progress, &reader, &chunk);
    return result;
}
