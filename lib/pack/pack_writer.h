// Writing a finished pack to disk, only once it is proven, and never partly.
#pragma once

#include <cstdint>
#include <vector>

#include "quarnel.h"

namespace quarnel {

// Whether a pack may be written at packPath, asked before anything is built:
// FOTA_OK, or FOTA_PACK_WRITE_FAILED when the path is empty, its name is longer than its folder's file
// system allows, or it leads to the old or the new LOD file (by any link or
// spelling). Nothing is created or changed.
int checkPackPath(const char *packPath, const char *oldLodPath, const char *newLodPath);

// Replaces the file at packPath (or where its links lead) with the pack in
// one step, keeping its mode; returns FOTA_OK, or FOTA_PACK_WRITE_FAILED with
// packPath untouched and no temporary file left.
int writePackFile(const char *packPath, const std::vector<uint8_t> &pack);

// Decodes the pack, plays it on a model of the code flash that holds
// oldImage and compares the result with newImage (both as loadImagePair
// accepted them for area); only then writes it with writePackFile. Returns
// FOTA_OK; FOTA_PACK_INVALID, FOTA_UPGRADE_FAILED, FOTA_NEW_MISMATCH or
// FOTA_OUT_OF_MEMORY with nothing written; or FOTA_PACK_WRITE_FAILED.
int writeProvenPack(const char *packPath, const std::vector<uint8_t> &pack, const CodeArea &area,
                    std::vector<uint8_t> oldImage, const std::vector<uint8_t> &newImage);

} // namespace quarnel
