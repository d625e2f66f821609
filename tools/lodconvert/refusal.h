// Why lodconvert stops: an exit status from one table and the line that explains it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "verify/findings.h"

namespace lodconvert {

// Exit statuses; lodconvert(1) lists them, and scripts may rely on them.
enum ExitStatus : int {
    exitDone = 0,
    exitInputUnreadable = 1,   // the input cannot be opened or read, or is empty
    exitFormatUnknown = 2,     // the content is no known format, or the options do not fit it
    exitMalformed = 3,         // no record, an odd-length or short record, no end record, a broken ELF file
    exitBadChecksum = 4,       // a record whose checksum does not match its bytes
    exitOverlap = 5,           // two segments share an address
    exitGapTooWide = 6,        // a gap between two segments is not inside one erase sector
    exitBelowFlashBase = 7,    // data below the flash base
    exitBeyond4GiB = 8,        // data at or past 4 GiB, where LOD addresses end
    exitBootSectorOutside = 9, // --boot-sector names no word of the image
    exitLodRefused = 10,       // --to-bin: packcli would refuse the LOD file
    exitNotWritten = 11,       // the output would replace the input, or cannot be written
    exitOutOfMemory = 12,
    exitUsage = 255,
};

struct Refusal {
    ExitStatus status;
    std::string message; // one line, without the program's name and without a line end
};

// Empty when a step succeeded.
using Failure = std::optional<Refusal>;

// What a command ends with: its exit status and the lines for standard error.
struct Report {
    ExitStatus status = exitDone;
    std::vector<std::string> lines;
};

using quarnel::verify::textOf;

// An address as every message shows it: 0x and eight hexadecimal digits, more above 4 GiB.
inline std::string hexAddress(uint64_t address)
{
    return textOf("0x%08llX", static_cast<unsigned long long>(address));
}

} // namespace lodconvert
