// packcheck --power-cuts: a pack through the device applier with a power cut at every flash call.
#pragma once

#include <cstdint>
#include <vector>

#include "nor_flash.h"
#include "quarnel.h"

namespace quarnel::powercut {

// The simulated flash the pack is proven on.
struct SimulatedFlash {
    uint32_t programUnit = 16;
    std::vector<NorSectorRun> sectors; // from offset 0; empty for flash that erases 4, 32 and 64 KiB units
    uint32_t scratchLength = 0;        // with sectors, the least scratch; 0 for the largest image sector, 64 KiB at least
};

// The exit status of arguments that cannot be used, a sector map that does not fit the images among them.
constexpr int badArguments = -1;

// Loads the images as packcli does, places the old one in a simulated flash with a scratch
// and a state area after the code, and sweeps every cut. Prints the spare area, the count of
// cut points and the outcome. Returns FOTA_OK when every cut ended with the new image,
// FOTA_UPGRADE_FAILED when the uncut run fails, FOTA_NEW_MISMATCH when a cut does,
// badArguments when the sector map ends before the images or the spare area, or the result
// code of loading the images or the pack.
int powerCutCommand(const CodeArea &area, const char *oldPath, const char *newPath, const char *packPath,
                    const SimulatedFlash &flash);

} // namespace quarnel::powercut
