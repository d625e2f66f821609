// Turning one LOD file into one checked, boot-marked code image.
#pragma once

#include "lod/lod_file.h"
#include "quarnel.h"

namespace quarnel {

constexpr uint32_t bootMarker = 0xD9EF0045u;
constexpr uint32_t sectorSize = 4096u;

// Loads and checks an image against the code area; returns 0 or the old
// image's codes (7, 9, 10, 11, 12). out receives the section from the
// contiguity check on, so it may hold a rejected image after a failure.
int loadCodeImage(const char *path, const CodeArea &area, LodPacketPtr &out);

// The placement checks of a joined image, in loadCodeImage's order: 0, 10, 11 or 12.
int checkImagePlacement(const LodPacket &image, const CodeArea &area);

} // namespace quarnel
