// Aligned blocks from the C runtime, on every platform.
#pragma once

#include <cstddef>

namespace quarnel {

// A block of at least bytes bytes at a multiple of alignment (a power of two
// no smaller than a pointer); null when there is no memory. Free it with freeAligned.
void *allocateAligned(size_t alignment, size_t bytes);

// Releases a block of allocateAligned; null is allowed.
void freeAligned(void *block);

} // namespace quarnel
