#include "lodconvert/lod_text.h"

#include "common/byte_order.h"
#include "lodconvert/refusal.h"

namespace lodconvert {

std::string lodTextOf(const FlashImage &image, const std::string &comment, std::optional<uint32_t> bootSector)
{
    std::string text = "# " + comment + "\n";
    if (bootSector)
        text += textOf("#$BOOT_SECTOR 0x%X\n", *bootSector);
    text += textOf("@%08X\n", image.address);
    static const char digits[] = "0123456789abcdef";
    const size_t header = text.size();
    // Images are whole sectors, so whole words; one line of nine characters each.
    text.resize(header + image.bytes.size() / 4 * 9);
    char *at = text.data() + header;
    for (size_t i = 0; i + 4 <= image.bytes.size(); i += 4) {
        const uint32_t word = quarnel::loadLe32(&image.bytes[i]);
        for (int shift = 28; shift >= 0; shift -= 4)
            *at++ = digits[(word >> shift) & 0xF];
        *at++ = '\n';
    }
    return text;
}

} // namespace lodconvert
