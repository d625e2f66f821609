#include "lod/code_image.h"

#include "pack/result_codes.h"

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

} // namespace quarnel
