// Turning LOD files into checked, boot-marked code images.
#pragma once

#include <cstdint>
#include <vector>

#include "common/erase_units.h"
#include "lod/lod_file.h"
#include "quarnel.h"

namespace quarnel {

constexpr uint32_t bootMarker = 0xD9EF0045u;

// The largest image the differ can take: it counts bytes in signed 32-bit
// integers, and images are whole sectors.
constexpr uint32_t largestImageSize = (uint32_t{INT32_MAX} / sectorSize) * sectorSize;

// Loads and checks an image against the code area; returns FOTA_OK or the old
// image's codes (FOTA_OLD_LOD_UNREADABLE, FOTA_OLD_NOT_CONTIGUOUS to
// FOTA_OLD_TOO_LARGE). out receives the section from the
// contiguity check on, so it may hold a rejected image after a failure.
int loadCodeImage(const char *path, const CodeArea &area, LodPacketPtr &out);

// The placement checks of a joined image of size bytes at address, in
// loadCodeImage's order: FOTA_OK, FOTA_OLD_SIZE_MISALIGNED,
// FOTA_OLD_ADDRESS_MISMATCH, or FOTA_OLD_TOO_LARGE for an image larger than the
// code area or than largestImageSize.
int checkImagePlacement(uint32_t address, uint64_t size, const CodeArea &area);

// The one rule for a pack's inputs: the area's alignment (FOTA_CODE_BASE_MISALIGNED,
// FOTA_CODE_SIZE_MISALIGNED), then the old image (FOTA_OLD_*), then the new
// image with its own codes (FOTA_NEW_*).
// The new file is not read when anything before it fails.
int loadImagePair(const CodeArea &area, const char *oldPath, const char *newPath, LodPacketPtr &oldImage,
                  LodPacketPtr &newImage);

// An image's bytes: its words in order, each least significant byte first.
std::vector<uint8_t> imageBytes(const LodPacket &image);

} // namespace quarnel
