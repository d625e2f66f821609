// Applying a pack's chunks to the flash model the way a device does.
#pragma once

#include <cstdint>

#include "quarnel.h"
#include "verify/findings.h"
#include "verify/flash_model.h"
#include "verify/pack_reader.h"

namespace quarnel::verify {

// In stream order, each chunk is checked to be one aligned erase unit inside
// the code area whose records read only the old image's area
// [codeBase, codeBase + oldSize), then built in RAM from the flash as it
// stands, checked against its CRC and written. Stops at the first chunk that
// fails, as a device would. Returns FOTA_OK or FOTA_UPGRADE_FAILED.
int playChunks(const PackContents &contents, const CodeArea &area, uint32_t oldSize, FlashModel &flash,
               Findings &findings);

} // namespace quarnel::verify
