// Image pairs, their packs and the simulated flash that the device applier's tests run them on.
#pragma once

#include <cstdint>
#include <vector>

#include "packcheck/power_cuts.h"
#include "verify/stream_layout.h"

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// Two images at codeBase (from the flash base) and the pack the library makes from them.
struct DevicePair {
    Bytes oldImage;
    Bytes newImage;
    uint32_t codeBase = 0x10000;
    Bytes pack;
    uint32_t chunkCount = 0;
    quarnel::verify::Walk walk = quarnel::verify::Walk::none;
};

DevicePair makeDevicePair(Bytes oldImage, Bytes newImage, uint32_t codeBase);

// examples/old.lod and new.lod, code base 0x10000, flash size 0x400000, made once.
const DevicePair &sampleDevicePair();

// Firmware-like pairs of 256 KiB as the benchmarks use, where a block is inserted
// (content moves up, walked backward) or removed (moves down, walked forward), with edits.
const DevicePair &benchDevicePair(bool contentMovesUp);

// 2 MiB of firmware-like bytes with blocks inserted and removed and scattered edits, made once.
const DevicePair &twoMiBDevicePair();

// 16 MiB the same way, the largest image the applier's fixed work memory is made for, made once.
const DevicePair &sixteenMiBDevicePair();

// The flash holding the pair's old image, erased elsewhere, with the spare area after the images.
quarnel::powercut::UpdateCase deviceUpdateCase(const DevicePair &pair, uint32_t programUnit);

// The same on flash of the given sector map, the spare area whole sectors after the images' last one, and
// every byte but the old image's holding leftovers of earlier use, so that what the update must carry over
// in the sectors it rebuilds is not merely erased flash.
quarnel::powercut::UpdateCase deviceUpdateCase(const DevicePair &pair, uint32_t programUnit,
                                               const std::vector<NorSectorRun> &sectors, uint32_t scratchLength = 0);

// The pack as the applier reads it.
using quarnel::powercut::packSourceOf;

} // namespace testsupport
