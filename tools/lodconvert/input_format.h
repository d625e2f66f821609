// Telling the input's format and reading its segments in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lodconvert/options.h"
#include "lodconvert/segments.h"

namespace lodconvert {

// ELF by its magic, Intel HEX by a first line that starts with ':', S-record by one that
// starts with S0 to S9; anything else is no format lodconvert can tell from content.
InputFormat formatOfContent(const std::vector<uint8_t> &content);

// How the messages name a format: "ELF", "Intel HEX", "S-record", "raw binary".
const char *formatName(InputFormat format);

// Reads the segments of the input in the given format, or in the one its content shows.
// A --base without --format takes the input as a raw binary, unless its content shows
// another format, which is refused: a mistaken --base would silently make code of headers.
Failure readSegments(std::vector<uint8_t> &content, const ConvertOptions &options, InputFormat &format,
                     Segments &segments, std::vector<std::string> &notes);

} // namespace lodconvert
