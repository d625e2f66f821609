// Reading the loadable segments of an ELF file through libelf.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lodconvert/refusal.h"
#include "lodconvert/segments.h"

namespace lodconvert {

// The segments a flash programmer writes: every PT_LOAD program header's file bytes
// (p_filesz of them, not the zeroed rest of p_memsz) at its physical address (the LMA),
// so that initialised data lies where the start-up code copies it from. ELF32 and ELF64
// of either byte order. content is libelf's to use while reading; file names it in messages.
Failure readElfSegments(std::vector<uint8_t> &content, const std::string &file, Segments &segments);

} // namespace lodconvert
