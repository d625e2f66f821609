#include "quarnel.h"

namespace {

const char *const unknownError = "unknown error";

// Indexed by result code; codes without a text of their own point to unknownError.
const char *const messages[] = {
    "no error",                                    // 0
    "invalid sector size",                         // 1
    unknownError,                                  // 2: code base misaligned
    unknownError,                                  // 3: code size misaligned
    "fota end address not block aligned",          // 4
    "fota start address not sector aligned",       // 5
    "fota area outside flash",                     // 6
    "failed to read old lod",                      // 7
    "failed to read new lod",                      // 8
    "old lod is not contiguous",                   // 9
    "old size not sector aligned",                 // 10
    "old address does not match code flash base",  // 11
    "old size larger than code flash size",        // 12
    "new lod is not contiguous",                   // 13
    "new size not sector aligned",                 // 14
    "new address does not match code flash base",  // 15
    "new size larger than code flash size",        // 16
    "failed to write pack",                        // 17
    "failed to read pack",                         // 18
    "invalid pack at verify",                      // 19
    "failed to upgrade at verify",                 // 20
    "failed to clean after upgrade",               // 21
    "failed to match new lod after upgrade",       // 22
    unknownError,                                  // 23: reserved
    "out of memory",                               // 24
    "failed to compress pack",                     // 25
};

} // namespace

extern "C" QUARNEL_API const char *FotaErrorMsg(int code)
{
    // Compared as unsigned so that negative codes fall outside the table.
    const unsigned index = static_cast<unsigned>(code);
    if (index >= sizeof messages / sizeof messages[0])
        return unknownError;
    return messages[index];
}
