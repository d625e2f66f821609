// lodconvert INPUT OUTPUT.lod: an image from a toolchain's output, as a LOD file.
#pragma once

#include "lodconvert/options.h"

namespace lodconvert {

// Reads the input, joins its segments into one image and writes it as LOD text in
// place of the output, which is never the input; nothing is written on a refusal.
Report convertCommand(ConvertOptions options);

} // namespace lodconvert
