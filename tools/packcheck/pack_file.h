// Reading a pack file whole, without trusting its size.
#pragma once

#include <cstdint>
#include <vector>

#include "verify/findings.h"

namespace quarnel::verify {

// Largest file that can be a pack: the header and a data length that fits in 32 bits.
constexpr uint64_t maxPackFileSize = 28 + uint64_t{UINT32_MAX};

// Reads the file at a UTF-8 path into bytes. Returns FOTA_OK;
// FOTA_PACK_READ_FAILED when it cannot be opened or read; FOTA_PACK_INVALID
// when it is larger than any pack can be.
int readPackFile(const char *path, std::vector<uint8_t> &bytes, Findings &findings);

} // namespace quarnel::verify
