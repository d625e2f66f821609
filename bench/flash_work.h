// The erase and program work of applier calls on a flash, counted by where it falls.
#pragma once

#include <cstdint>
#include <vector>

#include "packcheck/nor_flash_sim.h"
#include "quarnel_apply.h"

namespace quarnel::bench {

struct AreaWork {
    uint32_t erases = 0;
    uint64_t erased = 0;
    uint64_t programmed = 0;
};

// Wraps another flash's callbacks; everything outside the scratch and the state area counts as the image.
class CountingFlash {
public:
    CountingFlash(const FotaFlash &inner, const FotaSpareArea &spare);
    CountingFlash(const CountingFlash &) = delete;
    CountingFlash &operator=(const CountingFlash &) = delete;

    // Callbacks that count, then call the inner flash's; valid while this object lives.
    FotaFlash callbacks();

    AreaWork image;
    AreaWork scratch;
    AreaWork state;
    std::vector<powercut::FlashRange> imageErases; // in the order they came

private:
    AreaWork &areaOf(uint32_t offset);
    static int read(void *context, uint32_t offset, void *out, uint32_t length);
    static int erase(void *context, uint32_t offset, uint32_t length);
    static int program(void *context, uint32_t offset, const void *data, uint32_t length);
    static int sectorAt(void *context, uint32_t offset, uint32_t *start, uint32_t *length);

    FotaFlash inner_;
    powercut::FlashRange scratchArea_;
    powercut::FlashRange stateArea_;
};

} // namespace quarnel::bench
