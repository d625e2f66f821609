#include "pack/pack_builder.h"

#include <algorithm>
#include <cstring>

#include "container/crc32.h"
#include "container/lzma_adapter.h"
#include "container/pack_header.h"
#include "diff/patch_stream.h"
#include "pack/planner.h"
#include "pack/result_codes.h"

namespace quarnel {

std::vector<uint8_t> imageBytes(const LodPacket &image, size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < image.words.size(); ++i) {
        const uint32_t word = image.words[i];
        bytes[4 * i] = static_cast<uint8_t>(word);
        bytes[4 * i + 1] = static_cast<uint8_t>(word >> 8);
        bytes[4 * i + 2] = static_cast<uint8_t>(word >> 16);
        bytes[4 * i + 3] = static_cast<uint8_t>(word >> 24);
    }
    return bytes;
}

int buildPackBytes(const std::vector<uint8_t> &oldImage, const std::vector<uint8_t> &newImage, uint32_t oldStart,
                   uint32_t newStart, PlanMethod method, std::vector<uint8_t> &pack, uint32_t &oldCrc)
{
    const uint32_t oldSize = static_cast<uint32_t>(oldImage.size());
    const uint32_t newSize = static_cast<uint32_t>(newImage.size());
    // Nothing reads the working image beyond the larger image, whatever the
    // code area's size, so it is sized by the images alone.
    std::vector<uint8_t> workingImage(std::max(oldSize, newSize));
    std::memcpy(workingImage.data(), oldImage.data(), oldSize);
    const uint32_t crc = packCrc32(workingImage.data(), oldSize);

    const UpdatePlan plan =
        method == PlanMethod::incremental
            ? planUpdate(workingImage.data(), oldSize, newImage.data(), newSize, newStart)
            : planUpdateReference(workingImage.data(), oldSize, newImage.data(), newSize, newStart);
    const std::vector<uint8_t> stream = serializePatches(plan.chunks, newImage.data(), newStart);
    if (stream.size() > static_cast<size_t>(INT32_MAX))
        return resultOutOfMemory;

    std::vector<uint8_t> compressed;
    if (const int result = compressPatchStream(stream.data(), static_cast<int32_t>(stream.size()), compressed))
        return result;
    pack = buildPack(oldStart, oldSize, crc, compressed.data(), static_cast<uint32_t>(compressed.size()));
    oldCrc = crc;
    return resultOk;
}

} // namespace quarnel
