// Writing an image as LOD text, the form that packcli and packgui read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "lodconvert/flash_layout.h"

namespace lodconvert {

// A comment line, the "$BOOT_SECTOR" tag when there is a boot sector, the address line
// and one word per line, eight hexadecimal digits, each word's bytes least significant first.
std::string lodTextOf(const FlashImage &image, const std::string &comment, std::optional<uint32_t> bootSector);

} // namespace lodconvert
