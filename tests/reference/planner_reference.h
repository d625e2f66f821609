// The planner made the straightforward way, as the oracle of the fast one.
#pragma once

#include "pack/planner.h"

namespace quarnel {

// The plan planUpdate makes, with the working image's suffixes sorted afresh
// for every diff instead of kept up to date.
UpdatePlan planUpdateReference(uint8_t *workingImage, uint32_t oldSize, const uint8_t *newImage, uint32_t newSize,
                               uint32_t newStart);

} // namespace quarnel
