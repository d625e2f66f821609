#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "container/crc32.h"
#include "container/lzma_adapter.h"
#include "container/pack_header.h"
#include "diff/patch_stream.h"
#include "lod/code_image.h"
#include "pack/pack_writer.h"
#include "pack/planner.h"
#include "pack/result_codes.h"
#include "quarnel.h"

namespace quarnel {

namespace {

// An image's bytes: its words in order, each least significant byte first.
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

    // Nothing reads the working image beyond the larger image, whatever the
    // code area's size, so it is sized by the images alone.
    std::vector<uint8_t> workingImage = imageBytes(*oldImage, std::max(oldSize, newSize));
    const std::vector<uint8_t> newBytes = imageBytes(*newImage, newSize);
    const uint32_t oldCrc = packCrc32(workingImage.data(), oldSize);

    const UpdatePlan plan = planUpdate(workingImage.data(), oldSize, newBytes.data(), newSize, newStart);
    const std::vector<uint8_t> stream = serializePatches(plan.chunks, newBytes.data(), newStart);
    if (stream.size() > static_cast<size_t>(INT32_MAX))
        return resultOutOfMemory;

    std::vector<uint8_t> compressed;
    if (const int result = compressPatchStream(stream.data(), static_cast<int32_t>(stream.size()), compressed))
        return result;
    const std::vector<uint8_t> pack =
        buildPack(oldStart, oldSize, oldCrc, compressed.data(), static_cast<uint32_t>(compressed.size()));

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
    // Allocation is the only thing that throws inside the library; no
    // exception may cross this C boundary.
    try {
        return quarnel::createPack(oldLodPath, newLodPath, packPath, outOldStart, outOldSize, outOldCrc, area);
    } catch (const std::bad_alloc &) {
        return quarnel::resultOutOfMemory;
    } catch (const std::length_error &) {
        return quarnel::resultOutOfMemory;
    } catch (...) {
        return quarnel::resultOutOfMemory;
    }
}
