// The packs an input stands for: its body with the header checksums made to hold, or its patch
// stream encoded again, and the fuzz key's signature over them.
#pragma once

#include <cstdint>
#include <vector>

#include "signing/signing.h"

namespace devicefuzz {

using Bytes = std::vector<uint8_t>;

// The old image the packs are for, in the flash as it stands before any update.
struct OldImage {
    const Bytes &flash; // the whole modelled flash
    uint32_t start = 0;
    uint32_t size = 0;
};

// dataLength and dataCrc for the pack's size, and oldCrc over the flash its header names when the
// modelled flash holds that range, so that mutations reach past the first checks.
void fixHeader(Bytes &pack, const OldImage &old);

// A stream body encoded with the library's own LZMA adapter and wrapped for the old image;
// empty when the encoder fails.
Bytes packOfStream(const Bytes &stream, const OldImage &old);

// The second pack of a changing store has the first one's size: cut short or padded with zeros,
// then its header fixed again unless the input keeps it.
Bytes resized(Bytes pack, size_t size, bool keepHeader, const OldImage &old);

// The fixed key every signed input is signed with; the device trusts its point.
const quarnel::signing::Key &fuzzKey();
Bytes signatureOf(const Bytes &pack);

} // namespace devicefuzz
