#include "quarnel.h"

// A code added to FotaResult without a message here stops the build.
#pragma GCC diagnostic error "-Wswitch"

namespace {

const char *const unknownError = "unknown error";

// A switch without default, so that the compiler checks every code has its text.
const char *messageFor(FotaResult code)
{
    switch (code) {
    case FOTA_OK: return "no error";
    case FOTA_INVALID_SECTOR_SIZE: return "invalid sector size";
    case FOTA_CODE_BASE_MISALIGNED: return unknownError;
    case FOTA_CODE_SIZE_MISALIGNED: return unknownError;
    case FOTA_END_NOT_BLOCK_ALIGNED: return "fota end address not block aligned";
    case FOTA_START_NOT_SECTOR_ALIGNED: return "fota start address not sector aligned";
    case FOTA_AREA_OUTSIDE_FLASH: return "fota area outside flash";
    case FOTA_OLD_LOD_UNREADABLE: return "failed to read old lod";
    case FOTA_NEW_LOD_UNREADABLE: return "failed to read new lod";
    case FOTA_OLD_NOT_CONTIGUOUS: return "old lod is not contiguous";
    case FOTA_OLD_SIZE_MISALIGNED: return "old size not sector aligned";
    case FOTA_OLD_ADDRESS_MISMATCH: return "old address does not match code flash base";
    case FOTA_OLD_TOO_LARGE: return "old size larger than code flash size";
    case FOTA_NEW_NOT_CONTIGUOUS: return "new lod is not contiguous";
    case FOTA_NEW_SIZE_MISALIGNED: return "new size not sector aligned";
    case FOTA_NEW_ADDRESS_MISMATCH: return "new address does not match code flash base";
    case FOTA_NEW_TOO_LARGE: return "new size larger than code flash size";
    case FOTA_PACK_WRITE_FAILED: return "failed to write pack";
    case FOTA_PACK_READ_FAILED: return "failed to read pack";
    case FOTA_PACK_INVALID: return "invalid pack at verify";
    case FOTA_UPGRADE_FAILED: return "failed to upgrade at verify";
    case FOTA_CLEAN_FAILED: return "failed to clean after upgrade";
    case FOTA_NEW_MISMATCH: return "failed to match new lod after upgrade";
    case FOTA_OUT_OF_MEMORY: return "out of memory";
    case FOTA_COMPRESS_FAILED: return "failed to compress pack";
    }
    // 23 is reserved.
    return unknownError;
}

} // namespace

extern "C" QUARNEL_API const char *FotaErrorMsg(int code)
{
    // The enum's values end at its largest name, and a cast outside them would be undefined.
    if (code < FOTA_OK || code > FOTA_COMPRESS_FAILED)
        return unknownError;
    return messageFor(static_cast<FotaResult>(code));
}
