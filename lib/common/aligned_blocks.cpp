#include "common/aligned_blocks.h"

#include <cstdint>
#include <cstdlib>

#ifdef _WIN32
#include <malloc.h>
#endif

namespace quarnel {

void *allocateAligned(size_t alignment, size_t bytes)
{
    if (bytes > SIZE_MAX - alignment)
        return nullptr;
    // aligned_alloc wants a whole number of alignments, and never zero bytes.
    const size_t rounded = bytes == 0 ? alignment : (bytes + alignment - 1) / alignment * alignment;
#ifdef _WIN32
    // The Windows C runtime has no aligned_alloc; its blocks must go back through _aligned_free.
    return _aligned_malloc(rounded, alignment);
#else
    return std::aligned_alloc(alignment, rounded);
#endif
}

void freeAligned(void *block)
{
#ifdef _WIN32
    _aligned_free(block);
#else
    std::free(block);
#endif
}

} // namespace quarnel
