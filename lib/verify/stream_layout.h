// The structure of a patch stream: chunk entries, record entries and the two byte areas.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "verify/findings.h"

namespace quarnel::verify {

struct StreamRecord {
    uint32_t sourceOffset = 0; // from flashBase
    uint32_t diffLength = 0;
    uint32_t extraLength = 0;
};

struct StreamChunk {
    size_t entryPosition = 0;  // of its 12-byte entry in the stream
    uint32_t targetOffset = 0; // from flashBase
    uint32_t chunkCrc = 0;
    std::vector<StreamRecord> records;
    uint64_t diffBytes = 0;
    uint64_t extraBytes = 0;
    size_t diffStart = 0;  // stream position of its first difference byte
    size_t extraStart = 0; // stream position of its first literal byte

    uint64_t length() const { return diffBytes + extraBytes; }
};

// Splits the stream into chunks; every count and length must agree with the
// stream's size to its last byte. Returns FOTA_OK or FOTA_PACK_INVALID.
int parsePatchStream(const std::vector<uint8_t> &stream, std::vector<StreamChunk> &chunks, Findings &findings);

enum class Walk { none, single, forward, backward, mixed };

// The order of the chunks' targets: a planner walks strictly up or strictly down.
Walk walkOf(const std::vector<StreamChunk> &chunks);
const char *walkName(Walk walk);

// Whether any record reads bytes the chunk itself overwrites; a device must
// then buffer the old unit before erasing it.
bool readsOwnUnit(const StreamChunk &chunk);

} // namespace quarnel::verify
