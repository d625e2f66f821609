#include "lod/code_image.h"

#include "common/byte_order.h"
#include "common/result_codes.h"

namespace quarnel {

int checkImagePlacement(uint32_t address, uint64_t size, const CodeArea &area)
{
    if (size % sectorSize != 0)
        return FOTA_OLD_SIZE_MISALIGNED;
    if (address != uint32_t(area.flashBase + area.codeBase))
        return FOTA_OLD_ADDRESS_MISMATCH;
    if (size > area.codeSize || size > largestImageSize)
        return FOTA_OLD_TOO_LARGE;
    return FOTA_OK;
}

int loadCodeImage(const char *path, const CodeArea &area, LodPacketPtr &out)
{
    if (path == nullptr)
        return FOTA_OLD_LOD_UNREADABLE;
    LodFile file;
    if (!file.load(path))
        return FOTA_OLD_LOD_UNREADABLE;
    file.mergePackets();
    if (file.packets.size() != 1)
        return FOTA_OLD_NOT_CONTIGUOUS;
    out = file.packets.front();
    if (const int result = checkImagePlacement(out->address, 4 * uint64_t{out->words.size()}, area))
        return result;

    // The tag is an offset from the flash base; the bound is codeSize itself, not the area's end.
    const uint32_t bootOffset = static_cast<uint32_t>(file.bootSector);
    if (bootOffset >= area.codeBase && bootOffset < area.codeSize)
        out->writeWord(area.flashBase + bootOffset, bootMarker);
    return FOTA_OK;
}

int loadImagePair(const CodeArea &area, const char *oldPath, const char *newPath, LodPacketPtr &oldImage,
                  LodPacketPtr &newImage)
{
    if ((area.codeBase & (sectorSize - 1)) != 0)
        return FOTA_CODE_BASE_MISALIGNED;
    if ((area.codeSize & (sectorSize - 1)) != 0)
        return FOTA_CODE_SIZE_MISALIGNED;
    if (const int result = loadCodeImage(oldPath, area, oldImage))
        return result;
    const int result = loadCodeImage(newPath, area, newImage);
    if (result == FOTA_OK)
        return FOTA_OK;
    if (result == FOTA_OLD_LOD_UNREADABLE)
        return FOTA_NEW_LOD_UNREADABLE;
    return result + newImageCodeShift;
}

std::vector<uint8_t> imageBytes(const LodPacket &image)
{
    std::vector<uint8_t> bytes(4 * image.words.size());
    for (size_t i = 0; i < image.words.size(); ++i)
        storeLe32(&bytes[4 * i], image.words[i]);
    return bytes;
}

} // namespace quarnel
