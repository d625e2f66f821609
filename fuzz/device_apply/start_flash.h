// The modelled flash before the first call: the pristine device, and the other starts an input can ask for.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "device_apply/fuzz_input.h"
#include "device_apply/layout.h"

namespace devicefuzz {

using Bytes = std::vector<uint8_t>;

// The boot area's own bytes, the old image at codeBase and bytes of an earlier life after it up to the
// code area's end (sources must not depend on them), the scratch and the state area erased.
Bytes pristineFlash(const Bytes &oldImage);

// The code area of a whole flash, and a flash with its code area replaced.
Bytes codeAreaOf(const Bytes &flash);
Bytes withCodeArea(Bytes flash, const Bytes &code);

// The flash the settings start from. Starts that need the replay's result fall back to the old image
// without one; a forged start changes a unit inside the code area, or is the finished one.
Bytes startFlash(const Settings &settings, const Bytes &pristine, uint32_t oldSize,
                 const std::optional<Bytes> &replayed, const std::vector<Region> &units);

// Flips the bits of delta in byte at of bytes and changes their last four so that the pack checksum of all
// length of them stays as it was: a unit that passes a CRC check without holding its chunk.
void changeKeepingCrc(uint8_t *bytes, uint32_t length, uint32_t at, uint8_t delta);

} // namespace devicefuzz
