// The device's NOR flash model (device/flash-model, in C) with its memory, for C++ callers.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <string>
#include <vector>

#include "nor_flash.h"
#include "quarnel_apply.h"

namespace quarnel::powercut {

struct FlashRange {
    uint32_t start = 0;
    uint32_t end = 0; // one past the last byte
};

// Where in a call the power fails: before it acts, part way through it, or after it acted but before it returns.
enum class CutMode { before, torn, after };

// Flash offsets [0, bytes.size()), with the rules and torn calls of nor_flash.h. A broken rule is
// recorded as a violation and not carried out.
class NorFlashSim {
public:
    // past: whether the bytes' history is unknown (all must be erased before programmed) or they are a
    // copy of an earlier model's flash, where a byte reading 0xFF may be programmed. sectors: the sector
    // map from offset 0, or none for flash that erases 4, 32 and 64 KiB units.
    NorFlashSim(std::vector<uint8_t> bytes, const std::vector<FlashRange> &writable, uint32_t programUnit,
                uint64_t seed, NorPast past = norPastUnknown, const std::vector<NorSectorRun> &sectors = {});
    NorFlashSim(const NorFlashSim &) = delete;
    NorFlashSim &operator=(const NorFlashSim &) = delete;

    // The callbacks the applier gets.
    FotaFlash callbacks() { return norFlashInterface(&model_); }

    // The next erase or program call numbered `operation` (counted from 0 since this
    // call) cuts the power in the given way: the call jumps to `target` and never returns.
    void armCut(std::jmp_buf *target, uint64_t operation, CutMode mode);
    void disarm();

    const std::vector<uint8_t> &bytes() const { return bytes_; }
    // Erase and program calls since the last armCut or disarm.
    uint64_t operations() const { return model_.calls; }
    // The first broken rule and how many followed it; empty while none.
    std::vector<std::string> violations() const;

private:
    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> unerased_;
    NorFlash model_{};
};

} // namespace quarnel::powercut
