#include "lod/code_image.h"

#include "common/result_codes.h"

namespace quarnel {

int checkImagePlacement(const LodPacket &image, const CodeArea &area)
{
    const uint64_t size = 4 * uint64_t(image.words.size());
    if (size % sectorSize != 0)
        return resultOldSizeMisaligned;
    if (image.address != uint32_t(area.flashBase + area.codeBase))
        return resultOldAddressMismatch;
    if (size > area.codeSize)
        return resultOldTooLarge;
    return resultOk;
}

int loadCodeImage(const char *path, const CodeArea &area, LodPacketPtr &out)
{
    if (path == nullptr)
        return resultOldLodUnreadable;
    LodFile file;
    if (!file.load(path))
        return resultOldLodUnreadable;
    file.mergePackets();
    if (file.packets.size() != 1)
        return resultOldNotContiguous;
    out = file.packets.front();
    if (const int result = checkImagePlacement(*out, area))
        return result;

    // The tag is an offset from the flash base; the bound is codeSize itself, not the area's end.
    const uint32_t bootOffset = static_cast<uint32_t>(file.bootSector);
    if (bootOffset >= area.codeBase && bootOffset < area.codeSize)
        out->writeWord(area.flashBase + bootOffset, bootMarker);
    return resultOk;
}

int loadImagePair(const CodeArea &area, const char *oldPath, const char *newPath, LodPacketPtr &oldImage,
                  LodPacketPtr &newImage)
{
    if ((area.codeBase & (sectorSize - 1)) != 0)
        return resultCodeBaseMisaligned;
    if ((area.codeSize & (sectorSize - 1)) != 0)
        return resultCodeSizeMisaligned;
    if (const int result = loadCodeImage(oldPath, area, oldImage))
        return result;
    const int result = loadCodeImage(newPath, area, newImage);
    if (result == resultOk)
        return resultOk;
    if (result == resultOldLodUnreadable)
        return resultNewLodUnreadable;
    return result + newImageCodeShift;
}

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

} // namespace quarnel
