// Where packcli writes the boot marker into an image, told before anyone flashes a device.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lodconvert {

struct BootMarkerPlace {
    enum Kind {
        noTag,          // the LOD file has no "$BOOT_SECTOR" tag
        outside,        // the tag names no word of the image
        always,         // every code area that takes the image marks the word
        aboveFlashSize, // only a flash larger than smallestFlashSize marks it
    } kind = noTag;
    uint32_t tag = 0;               // the tag's value, an offset from the flash base
    uint32_t address = 0;           // the marked word's address in the device's map
    uint64_t smallestFlashSize = 0; // aboveFlashSize: packcli's flashsize must exceed it
};

// packcli marks the word at the tag's offset from the flash base when the offset lies
// in the image and below the code area's size (not its end): so a tag at an offset
// beyond the image's length from its start depends on the flashsize packcli is given.
BootMarkerPlace bootMarkerPlace(uint32_t imageAddress, uint64_t imageSize, std::optional<uint32_t> tag);

// The line for the user: where the marker goes, or that none does, and what the device
// must hold. flashSize, when known, settles a place that depends on it.
std::string bootMarkerNote(const std::string &lodName, const BootMarkerPlace &place, uint32_t imageAddress,
                           std::optional<uint64_t> flashSize);

} // namespace lodconvert
