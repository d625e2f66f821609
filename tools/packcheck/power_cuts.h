// Running a pack through the device applier with the power cut at chosen flash calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packcheck/nor_flash_sim.h"
#include "quarnel_apply.h"

namespace quarnel::powercut {

// One update: the flash before it, the image it must leave, and where.
struct UpdateCase {
    std::vector<uint8_t> pack;
    std::vector<uint8_t> flash;    // the whole simulated flash, offsets from the flash base
    std::vector<uint8_t> newImage; // must be at newStart when the update is done
    uint32_t newStart = 0;
    FotaSpareArea spare{};
    // The flash's sector map from offset 0; empty for flash that erases 4, 32 and 64 KiB units.
    std::vector<NorSectorRun> sectors;
    // When signature is not empty, every call goes through FotaApplySignedPack with these.
    std::vector<uint8_t> publicKey;
    std::vector<uint8_t> signature;
    uint32_t imageOffset = 0;
    uint32_t imageLength = 0;
};

// A cut: the erase or program call numbered `operation` within one applier call.
struct Cut {
    uint64_t operation = 0;
    CutMode mode = CutMode::before;
};

// What one sequence of calls left.
struct CutOutcome {
    bool ok = false;
    std::string failure; // why not, when not ok
};

// The applier's view of a pack held in memory; the bytes must outlive the source.
FotaPackSource packSourceOf(const std::vector<uint8_t> &pack);

// Places the scratch and the state area after areaEnd, the end of the flash the images
// use (growing the flash to hold them), the state area sized for chunkCount chunks. With a
// sector map both are whole sectors after the last sector the images touch, the scratch
// scratchLength bytes (0: as long as the largest of those sectors, and 64 KiB at least).
// Throws std::invalid_argument when the map ends before them.
UpdateCase placeSpareArea(std::vector<uint8_t> pack, std::vector<uint8_t> flash, std::vector<uint8_t> newImage,
                          uint32_t newStart, uint32_t areaEnd, uint32_t chunkCount, uint32_t programUnit,
                          const std::vector<NorSectorRun> &sectors = {}, uint32_t scratchLength = 0);

// The sector of the map that holds offset, or {offset, 0} when none does.
FlashRange sectorOf(const std::vector<NorSectorRun> &sectors, uint32_t offset);

class PowerCutRunner {
public:
    explicit PowerCutRunner(const UpdateCase &update);

    // The erase and program calls of one uncut run from the old image; 0 with failure set if it fails.
    uint64_t countOperations(std::string &failure);

    // One applier call per cut, in order, each cut where given, then one uncut call to
    // finish; every call starts with garbage in the work memory. A call that returns
    // before its cut must return 0 and ends the sequence. The flash must then hold the
    // new image, every byte outside it, the scratch and the state area as it was, and no
    // call may have broken the flash rules.
    CutOutcome run(const std::vector<Cut> &cuts, uint64_t seed);

private:
    const UpdateCase &update_;
    std::vector<FlashRange> writable_;
    std::vector<uint8_t> work_;
};

const char *cutModeName(CutMode mode);

} // namespace quarnel::powercut

namespace quarnel::powercut {

struct SweepResult {
    uint64_t operations = 0; // erase and program calls of the uncut run
    uint64_t cutPoints = 0;
    std::vector<std::string> failures; // one line per cut point that did not end with the new image
};

// Cuts the power before, inside and after every stride-th erase and program call of an
// uncut run, each time followed by one uncut call. A failing uncut run is the one failure.
SweepResult sweepEveryCut(const UpdateCase &update, uint64_t stride);

} // namespace quarnel::powercut
