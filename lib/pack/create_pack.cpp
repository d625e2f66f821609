#include <vector>

#include "lod/code_image.h"
#include "pack/pack_builder.h"
#include "pack/pack_writer.h"
#include "pack/result_codes.h"
#include "quarnel.h"

namespace quarnel {

namespace {

int loadNewImage(const char *path, const CodeArea &area, LodPacketPtr &out)
{
    const int result = loadCodeImage(path, area, out);
    if (result == resultOk)
        return resultOk;
    if (result == resultOldLodUnreadable)
        return resultNewLodUnreadable;
    return result + newImageCodeShift;
}

int createPack(const char *oldLodPath, const char *newLodPath, const char *packPath, uint32_t *outOldStart,
               uint32_t *outOldSize, uint32_t *outOldCrc, const CodeArea &area)
{
    if ((area.codeBase & (sectorSize - 1)) != 0)
        return resultCodeBaseMisaligned;
    if ((area.codeSize & (sectorSize - 1)) != 0)
        return resultCodeSizeMisaligned;

    LodPacketPtr oldImage;
    if (const int result = loadCodeImage(oldLodPath, area, oldImage))
        return result;
    LodPacketPtr newImage;
    if (const int result = loadNewImage(newLodPath, area, newImage))
        return result;

    const uint32_t oldStart = oldImage->address - area.flashBase;
    const uint32_t newStart = newImage->address - area.flashBase;
    const uint32_t oldSize = static_cast<uint32_t>(4 * oldImage->words.size());
    const uint32_t newSize = static_cast<uint32_t>(4 * newImage->words.size());

    std::vector<uint8_t> pack;
    uint32_t oldCrc = 0;
    if (const int result = buildPackBytes(imageBytes(*oldImage, oldSize), imageBytes(*newImage, newSize), oldStart,
                                          newStart, PlanMethod::incremental, pack, oldCrc))
        return result;

    if (const int result = writePackFile(packPath, pack))
        return result;

    if (outOldStart != nullptr)
        *outOldStart = oldStart;
    if (outOldSize != nullptr)
        *outOldSize = oldSize;
    if (outOldCrc != nullptr)
        *outOldCrc = oldCrc;
    return resultOk;
}

} // namespace

} // namespace quarnel

extern "C" QUARNEL_API int FotaCreatePack(const char *oldLodPath, const char *newLodPath, const char *packPath,
                                          uint32_t *outOldStart, uint32_t *outOldSize, uint32_t *outOldCrc,
                                          CodeArea area)
{
    // Only allocation throws inside the library (bad_alloc, or length_error for
    // a size no vector can hold); no exception may cross this C boundary.
    try {
        return quarnel::createPack(oldLodPath, newLodPath, packPath, outOldStart, outOldSize, outOldCrc, area);
    } catch (...) {
        return quarnel::resultOutOfMemory;
    }
}
