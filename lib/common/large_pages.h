// Large-page advice for buffers of megabytes (suffix arrays, the LZMA encoder's tables).
#pragma once

#include <cstddef>

namespace quarnel {

constexpr size_t largePageSize = size_t{1} << 21;

// Asks the system to back [address, address + bytes) with large pages where it can;
// touching such memory for the first time costs a fraction of what small pages cost.
void adviseLargePages(void *address, size_t bytes);

} // namespace quarnel
