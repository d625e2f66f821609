// The device's code area as far as the images reach.
#pragma once

#include <cstdint>
#include <vector>

#include "common/erase_units.h"
#include "verify/findings.h"

namespace quarnel::verify {

// Flash from codeBase on, spanning the larger image: chunks read only the old
// image's area, and the result is judged over the new image's.
class FlashModel {
public:
    FlashModel(uint32_t codeBase, std::vector<uint8_t> oldImage, uint32_t newSize);

    // The byte at an offset from flashBase inside the old image's area;
    // 64-bit so that an area ending at the top of the offset space cannot wrap.
    uint8_t at(uint64_t offset) const { return bytes[static_cast<size_t>(offset - codeBase)]; }

    // Stores a chunk's bytes at target (from flashBase, at least codeBase);
    // what lies beyond both images is dropped, as neither covers it.
    void write(uint32_t target, const std::vector<uint8_t> &unit, size_t chunkIndex);

    // One finding per run of 4 KiB sectors, last written by the same chunk,
    // that differ from the new image or whose content is unknown (beyond the
    // old image and never written). Returns FOTA_OK or FOTA_NEW_MISMATCH.
    int compareWith(const std::vector<uint8_t> &newImage, Findings &findings) const;

private:
    uint32_t codeBase;
    uint32_t oldSize;
    std::vector<uint8_t> bytes;
    std::vector<int64_t> lastWriter; // chunk index per sector, -1 for none
};

} // namespace quarnel::verify
