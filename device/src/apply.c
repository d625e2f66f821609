/* The entry points: every check before the first erase, then the chunks in stream order. */
#include "quarnel_apply.h"

#include "chunk_apply.h"
#include "image_area.h"
#include "pack_header.h"
#include "progress.h"
#include "spare_area.h"
#include "stream_decode.h"
#include "stream_layout.h"
#include "work_layout.h"

size_t FotaApplyWorkSize(const FotaPackSource *pack)
{
    FotaPackInfo info;
    if (pack == 0 || pack->read == 0 || fotaReadPackInfo(pack, &info) != FOTA_APPLY_OK)
        return 0;
    return fotaWorkSizeFor(info.streamLength);
}

/* Reads, decodes and checks the pack and the spare area; touches no flash but by reading. */
static int preparePack(const FotaPackSource *pack, const FotaSpareArea *spare, void *work, size_t workSize,
                       const FotaTrust *area, FotaPackInfo *info, FotaWork *parts, FotaStream *stream)
{
    int result = fotaReadPackInfo(pack, info);
    if (result != FOTA_APPLY_OK)
        return result;
    if (workSize < fotaWorkSizeFor(info->streamLength))
        return FOTA_APPLY_WORK_TOO_SMALL;
    fotaCarveWork(work, parts);
    result = fotaCheckDataCrc(pack, info, parts->io);
    if (result == FOTA_APPLY_OK)
        result = fotaDecodeStream(pack, info, parts);
    if (result == FOTA_APPLY_OK)
        result = fotaParseStream(parts->stream, info->streamLength, info, stream);
    if (result == FOTA_APPLY_OK && area != 0)
        result = fotaCheckStreamInImageArea(area, info, stream);
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
    FotaProgress progress;
    FotaChunk chunk;
    int more;
    int result;
    if (flash == 0 || flash->read == 0 || flash->erase == 0 || flash->program == 0 || pack == 0 ||
        pack->read == 0 || spare == 0 || work == 0)
        return FOTA_APPLY_BAD_ARGUMENT;
    result = preparePack(pack, spare, work, workSize, area, &info, &parts, &stream);
    if (result != FOTA_APPLY_OK)
        return result;
    result = fotaOpenProgress(&progress, flash, spare, &info, parts.io);
    for (more = fotaFirstChunk(&stream, &chunk); result == FOTA_APPLY_OK && more;
         more = fotaNextChunk(&stream, &chunk))
        result = fotaApplyChunk(&progress, &stream, &chunk);
    return result;
}
