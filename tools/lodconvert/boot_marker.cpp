#include "lodconvert/boot_marker.h"

#include "code_area_arguments.h"
#include "lodconvert/refusal.h"

namespace lodconvert {

BootMarkerPlace bootMarkerPlace(uint32_t imageAddress, uint64_t imageSize, std::optional<uint32_t> tag)
{
    BootMarkerPlace place;
    if (!tag)
        return place;
    place.tag = *tag;
    const uint32_t codeBase = imageAddress - deviceFlashBase;
    // The library's writeWord rounds the offset down to its word.
    if (*tag < codeBase || (*tag - codeBase) / 4 >= imageSize / 4) {
        place.kind = BootMarkerPlace::outside;
        return place;
    }
    place.address = deviceFlashBase + (*tag & ~3u);
    // An image fits only a code area at least its size, so a tag below that is always below the area's size.
    if (*tag < imageSize) {
        place.kind = BootMarkerPlace::always;
    } else {
        place.kind = BootMarkerPlace::aboveFlashSize;
        place.smallestFlashSize = uint64_t{codeBase} + *tag;
    }
    return place;
}

std::string bootMarkerNote(const std::string &lodName, const BootMarkerPlace &place, uint32_t imageAddress,
                           std::optional<uint64_t> flashSize)
{
    const char *name = lodName.c_str();
    const uint32_t codeBase = imageAddress - deviceFlashBase;
    switch (place.kind) {
    case BootMarkerPlace::noTag:
        return textOf("%s has no $BOOT_SECTOR tag: packcli marks no word, and a device holds the image as it is",
                      name);
    case BootMarkerPlace::outside:
        return textOf("the $BOOT_SECTOR tag 0x%X of %s names no word of the image, which starts at offset 0x%X "
                      "from the flash base: packcli marks no word",
                      place.tag, name, codeBase);
    case BootMarkerPlace::aboveFlashSize:
        if (flashSize && *flashSize <= place.smallestFlashSize)
            return textOf("with flashsize 0x%llX packcli marks no word of %s: its $BOOT_SECTOR tag 0x%X is not "
                          "below the code area's size 0x%llX",
                          static_cast<unsigned long long>(*flashSize), name, place.tag,
                          static_cast<unsigned long long>(*flashSize - codeBase));
        if (!flashSize)
            return textOf("%s: packcli writes the boot marker D9EF0045 into the word at %s (offset 0x%X in the "
                          "image) only when its flashsize is above 0x%llX, else into no word; a device must hold "
                          "the image as lodconvert --to-bin --flash-size FLASHSIZE writes it",
                          name, hexAddress(place.address).c_str(), place.address - imageAddress,
                          static_cast<unsigned long long>(place.smallestFlashSize));
        break;
    case BootMarkerPlace::always:
        break;
    }
    return textOf("%s: packcli writes the boot marker D9EF0045 into the word at %s (offset 0x%X in the image); a "
                  "device must hold the image with that word, as lodconvert --to-bin writes it",
                  name, hexAddress(place.address).c_str(), place.address - imageAddress);
}

} // namespace lodconvert
