#include "common/large_pages.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quarnel {

void adviseLargePages(void *address, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only advice: where large pages are off or scarce, small ones serve as before.
    madvise(address, bytes, MADV_HUGEPAGE);
#else
    (void)address;
    (void)bytes;
#endif
}

} // namespace quarnel
