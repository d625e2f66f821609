#include "common/result_codes.h"
#include "quarnel.h"

// A code added to Result without a message here stops the build.
#pragma GCC diagnostic error "-Wswitch"

namespace {

using namespace quarnel;

const char *const unknownError = "unknown error";

// A switch without default, so that the compiler checks every code has its text.
const char *messageFor(Result code)
{
    switch (code) {
    case resultOk: return "no error";
    case resultInvalidSectorSize: return "invalid sector size";
    case resultCodeBaseMisaligned: return unknownError;
    case resultCodeSizeMisaligned: return unknownError;
    case resultEndNotBlockAligned: return "fota end address not block aligned";
    case resultStartNotSectorAligned: return "fota start address not sector aligned";
    case resultAreaOutsideFlash: return "fota area outside flash";
    case resultOldLodUnreadable: return "failed to read old lod";
    case resultNewLodUnreadable: return "failed to read new lod";
    case resultOldNotContiguous: return "old lod is not contiguous";
    case resultOldSizeMisaligned: return "old size not sector aligned";
    case resultOldAddressMismatch: return "old address does not match code flash base";
    case resultOldTooLarge: return "old size larger than code flash size";
    case resultNewNotContiguous: return "new lod is not contiguous";
    case resultNewSizeMisaligned: return "new size not sector aligned";
    case resultNewAddressMismatch: return "new address does not match code flash base";
    case resultNewTooLarge: return "new size larger than code flash size";
    case resultPackWriteFailed: return "failed to write pack";
    case resultPackReadFailed: return "failed to read pack";
    case resultPackInvalid: return "invalid pack at verify";
    case resultUpgradeFailed: return "failed to upgrade at verify";
    case resultCleanFailed: return "failed to clean after upgrade";
    case resultNewMismatch: return "failed to match new lod after upgrade";
    case resultOutOfMemory: return "out of memory";
    case resultCompressFailed: return "failed to compress pack";
    }
    // 23 is reserved, and any other value is no code at all.
    return unknownError;
}

} // namespace

extern "C" QUARNEL_API const char *FotaErrorMsg(int code)
{
    // Result is based on int, so every int is a value of it.
    return messageFor(static_cast<Result>(code));
}
