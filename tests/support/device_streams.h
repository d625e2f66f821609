// Patch streams of device packs, read and doctored by the tests of the device applier.
#pragma once

#include "support/device_updates.h"

namespace testsupport {

// The patch stream of a pack, decoded independently of the applier.
Bytes decodedStream(const Bytes &pack);

// A pack of stream, compressed as the library compresses, whose header describes the pair's old image:
// a pack whose stream alone was made wrong.
Bytes packOfStream(const DevicePair &pair, const Bytes &stream);

} // namespace testsupport
