#include "pack/pack_builder.h"

#include <algorithm>
#include <cstring>

#include "common/crc32.h"
#include "common/result_codes.h"
#include "container/lzma_adapter.h"
#include "container/pack_header.h"
#include "diff/patch_stream.h"

namespace quarnel {

int buildPackBytes(const std::vector<uint8_t> &oldImage, const std::vector<uint8_t> &newImage, uint32_t oldStart,
                   uint32_t newStart, PlanFunction plan, std::vector<uint8_t> &pack, uint32_t &oldCrc)
{
    const uint32_t oldSize = static_cast<uint32_t>(oldImage.size());
    const uint32_t newSize = static_cast<uint32_t>(newImage.size());
    const uint32_t crc = packCrc32(oldImage.data(), oldSize);

    std::vector<uint8_t> stream;
    {
        // Nothing reads the working image beyond the larger image, whatever the
        // code area's size, so it is sized by the images alone.
        std::vector<uint8_t> workingImage(std::max(oldSize, newSize));
        std::memcpy(workingImage.data(), oldImage.data(), oldSize);
        // The working image and the records go once serialized, before the encoder takes its tables.
        const UpdatePlan planned = plan(workingImage.data(), oldSize, newImage.data(), newSize, newStart);
        stream = serializePatches(planned.chunks, newImage.data(), newStart);
    }
    if (stream.size() > static_cast<size_t>(INT32_MAX))
        return FOTA_OUT_OF_MEMORY;

    std::vector<uint8_t> compressed;
    if (const int result = compressPatchStream(stream.data(), static_cast<int32_t>(stream.size()), compressed))
        return result;
    pack = buildPack(oldStart, oldSize, crc, compressed.data(), static_cast<uint32_t>(compressed.size()));
    oldCrc = crc;
    return FOTA_OK;
}

} // namespace quarnel
