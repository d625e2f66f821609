// packcheck --power-cuts: a pack through the device applier with a power cut at every flash call.
#pragma once

#include <cstdint>

#include "quarnel.h"

namespace quarnel::powercut {

// Loads the images as packcli does, places the old one in a simulated flash with a scratch
// and a state area after the code, and sweeps every cut. Prints the count of cut points and
// the outcome. Returns FOTA_OK when every cut ended with the new image, FOTA_UPGRADE_FAILED
// when the uncut run fails, FOTA_NEW_MISMATCH when a cut does, or the result code of
// loading the images or the pack.
int powerCutCommand(const CodeArea &area, const char *oldPath, const char *newPath, const char *packPath,
                    uint32_t programUnit);

} // namespace quarnel::powercut
