#include <vector>

#include "common/result_codes.h"
#include "lod/code_image.h"
#include "pack/pack_builder.h"
#include "pack/pack_writer.h"
#include "quarnel.h"

namespace quarnel {

namespace {

int createPack(const char *oldLodPath, const char *newLodPath, const char *packPath, uint32_t *outOldStart,
               uint32_t *outOldSize, uint32_t *outOldCrc, const CodeArea &area)
{
    uint32_t oldStart = 0;
    uint32_t newStart = 0;
    std::vector<uint8_t> oldBytes;
    std::vector<uint8_t> newBytes;
    {
        LodPacketPtr oldImage;
        LodPacketPtr newImage;
        if (const int result = loadImagePair(area, oldLodPath, newLodPath, oldImage, newImage))
            return result;
        // A pack that could not be written, or would destroy an input, is refused before the long build.
        if (const int result = checkPackPath(packPath, oldLodPath, newLodPath))
            return result;
        oldStart = oldImage->address - area.flashBase;
        newStart = newImage->address - area.flashBase;
        // From here on the images are bytes; their words go now.
        oldBytes = imageBytes(*oldImage);
        newBytes = imageBytes(*newImage);
    }
    const uint32_t oldSize = static_cast<uint32_t>(oldBytes.size());

    std::vector<uint8_t> pack;
    uint32_t oldCrc = 0;
    if (const int result = buildPackBytes(oldBytes, newBytes, oldStart, newStart, planUpdate, pack, oldCrc))
        return result;
    // A pack reaches the disk only after it has turned the old image into the new one on a model of the device.
    if (const int result = writeProvenPack(packPath, pack, area, std::move(oldBytes), newBytes))
        return result;

    if (outOldStart != nullptr)
        *outOldStart = oldStart;
    if (outOldSize != nullptr)
        *outOldSize = oldSize;
    if (outOldCrc != nullptr)
        *outOldCrc = oldCrc;
    return FOTA_OK;
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
        return FOTA_OUT_OF_MEMORY;
    }
}
