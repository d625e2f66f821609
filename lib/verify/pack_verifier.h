// Proof before shipping: does a pack turn the old image into the new one on the device?
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quarnel.h"
#include "verify/findings.h"

namespace quarnel::verify {

struct VerifyResult {
    int code = 0;
    Findings findings;
    std::string summary; // one line, set on success
};

// Checks the pack's header against the old image, its LZMA block and stream,
// then plays it on a flash model holding the old image and compares the
// result with the new image. The images' bytes are as loadImagePair accepted
// them for this area; the old image's become the flash model. code is FOTA_OK,
// or the first failing stage's: FOTA_PACK_INVALID, FOTA_UPGRADE_FAILED for a
// chunk that cannot be applied, FOTA_NEW_MISMATCH for a result that is not the
// new image, FOTA_OUT_OF_MEMORY.
VerifyResult verifyPack(const std::vector<uint8_t> &packBytes, const CodeArea &area, std::vector<uint8_t> oldBytes,
                        const std::vector<uint8_t> &newBytes);

} // namespace quarnel::verify
