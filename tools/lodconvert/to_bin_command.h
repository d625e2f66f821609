// lodconvert --to-bin IMAGE.lod OUT.bin: the flash a device must hold for the next pack.
#pragma once

#include "lodconvert/options.h"

namespace lodconvert {

// Loads the LOD file by packcli's own rule, boot marker included, and writes its image
// bytes, which a device's flash holds from the image's address on once an update to it
// is done. The code area is the one packcli's flashsize gives, or without --flash-size
// the largest packcli takes.
Report toBinCommand(const ToBinOptions &options);

} // namespace lodconvert
