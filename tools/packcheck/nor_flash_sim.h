// A NOR flash for the device applier, with a power cut at a chosen erase or program call.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <string>
#include <vector>

#include "quarnel_apply.h"

namespace quarnel::powercut {

struct FlashRange {
    uint32_t start = 0;
    uint32_t end = 0; // one past the last byte
};

// Where in a call the power fails: before it acts, part way through it, or after it acted but before it returns.
enum class CutMode { before, torn, after };

// Flash offsets [0, bytes.size()). Erase makes 0xFF; program clears bits. Programming a
// byte that is not erased, or one already programmed since its last erase, and any erase
// or program outside the allowed ranges or off the erase and program units, is recorded as a
// violation and not carried out.
class NorFlashSim {
public:
    NorFlashSim(std::vector<uint8_t> bytes, std::vector<FlashRange> writable, uint32_t programUnit, uint64_t seed);

    // The callbacks the applier gets; context is this object.
    FotaFlash callbacks();

    // The next erase or program call numbered `operation` (counted from 0 since this
    // call) cuts the power in the given way: the call jumps to `target` and never returns.
    void armCut(std::jmp_buf *target, uint64_t operation, CutMode mode);
    void disarm();

    const std::vector<uint8_t> &bytes() const { return bytes_; }
    // Erase and program calls since the last armCut or disarm.
    uint64_t operations() const { return operations_; }
    const std::vector<std::string> &violations() const { return violations_; }

private:
    static int read(void *context, uint32_t offset, void *out, uint32_t length);
    static int erase(void *context, uint32_t offset, uint32_t length);
    static int program(void *context, uint32_t offset, const void *data, uint32_t length);

    bool inRange(uint32_t offset, uint32_t length) const;
    bool writable(uint32_t offset, uint32_t length) const;
    void violation(const char *what, uint32_t offset, uint32_t length);
    // Whether this call is the one to cut, and in which way.
    bool cutsNow(CutMode &mode);
    uint64_t random();

    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> programmed_; // 1 where a completed program wrote since the last erase
    std::vector<FlashRange> writable_;
    uint32_t programUnit_;
    uint64_t randomState_;
    std::vector<std::string> violations_;
    std::jmp_buf *cutTarget_ = nullptr;
    uint64_t cutOperation_ = 0;
    CutMode cutMode_ = CutMode::before;
    uint64_t operations_ = 0;
};

} // namespace quarnel::powercut
