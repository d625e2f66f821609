// The differ as a whole: suffix sort by prefix doubling, then the scan.
#pragma once

#include "diff/patch.h"

namespace quarnel {

// Expresses newData as records against oldData; offsets are relative to the
// two buffers. An empty new buffer gives an empty list. Sorts oldData's
// suffixes afresh on every call.
PatchList diffBuffers(const uint8_t *oldData, int32_t oldSize, const uint8_t *newData, uint32_t newSize);

} // namespace quarnel
