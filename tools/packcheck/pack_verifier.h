// Proof before shipping: does a pack turn the old image into the new one on the device?
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lod/lod_file.h"
#include "packcheck/findings.h"
#include "quarnel.h"

namespace quarnel::check {

struct VerifyResult {
    int code = 0;
    Findings findings;
    std::string summary; // one line, set on success
};

// Checks the pack's header against the old image, its LZMA block and stream,
// then plays it on a flash model holding the old image and compares the
// result with the new image. code is 0, or the first failing stage's: 2, 3,
// 10 to 12 and 14 to 16 for an area and images that do not fit together (as
// when a pack is made), 19 invalid pack, 20 a chunk that cannot be applied,
// 22 a result that is not the new image, 24 out of memory.
VerifyResult verifyPack(const std::vector<uint8_t> &packBytes, const CodeArea &area, const LodPacket &oldImage,
                        const LodPacket &newImage);

} // namespace quarnel::check
