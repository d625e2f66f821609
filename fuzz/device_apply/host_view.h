// The pack as the host's own reader and in-place player see it, independent of the device applier.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "device_apply/layout.h"
#include "verify/pack_reader.h"

namespace devicefuzz {

struct HostView {
    // The host reader takes the header, the LZMA block and the stream, with the device's rules for
    // the LZMA header (the properties byte only) and the longest stream the modelled flash can need.
    bool readable = false;
    quarnel::verify::PackContents contents;
    std::vector<Region> units; // every chunk's [target, target + length)
    uint64_t records = 0;
    bool emptyRecord = false; // a record whose two lengths are both 0
};

HostView viewPack(const std::vector<uint8_t> &pack);

// Why the device must refuse a pack the host reads, whatever the flash holds; nullptr when it need not.
const char *mustRefuse(const HostView &view);

// The code area after the host's player has played the pack in place on codeBytes (the code area
// before the update, sources anywhere in it), or nothing when the player stops at a chunk.
std::optional<std::vector<uint8_t>> replayPack(const HostView &view, const std::vector<uint8_t> &codeBytes);

} // namespace devicefuzz
