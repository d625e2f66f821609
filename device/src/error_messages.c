#include "quarnel_apply.h"

const char *FotaApplyErrorMsg(int code)
{
    switch (code) {
    case FOTA_APPLY_OK:
        return "success";
    case FOTA_APPLY_BAD_ARGUMENT:
        return "a required pointer or callback is missing";
    case FOTA_APPLY_PACK_READ_FAILED:
        return "failed to read the pack";
    case FOTA_APPLY_BAD_PACK_HEADER:
        return "invalid pack header";
    case FOTA_APPLY_BAD_DATA_CRC:
        return "pack data checksum mismatch";
    case FOTA_APPLY_BAD_LZMA_HEADER:
        return "invalid LZMA header";
    case FOTA_APPLY_WORK_TOO_SMALL:
        return "work memory too small for this pack";
    case FOTA_APPLY_BAD_LZMA_DATA:
        return "LZMA data does not decode to its stated length within the device's 8 KiB window";
    case FOTA_APPLY_BAD_STREAM:
        return "invalid patch stream";
    case FOTA_APPLY_BAD_CHUNK:
        return "chunk is not an aligned erase unit of its own";
    case FOTA_APPLY_BAD_SOURCE:
        return "record reads outside the images";
    case FOTA_APPLY_BAD_SPARE_AREA:
        return "invalid spare area";
    case FOTA_APPLY_STATE_TOO_SMALL:
        return "state area too small for this pack";
    case FOTA_APPLY_OLD_IMAGE_MISMATCH:
        return "flash does not hold the old image";
    case FOTA_APPLY_FLASH_READ_FAILED:
        return "flash read failed";
    case FOTA_APPLY_FLASH_ERASE_FAILED:
        return "flash erase failed";
    case FOTA_APPLY_FLASH_PROGRAM_FAILED:
        return "flash program failed";
    case FOTA_APPLY_CHUNK_CRC_MISMATCH:
        return "chunk built in scratch does not match its checksum";
    case FOTA_APPLY_TARGET_MISMATCH:
        return "unit in flash does not hold its chunk";
    case FOTA_APPLY_TOO_MANY_CHUNKS:
        return "pack has more chunks than the applier can track";
    case FOTA_APPLY_BAD_SIGNATURE:
        return "pack signature does not verify with the trusted key";
    case FOTA_APPLY_OUTSIDE_IMAGE_AREA:
        return "pack writes outside the trusted image area";
    case FOTA_APPLY_PACK_CHANGED:
        return "pack changed or became unreadable during the update";
    case FOTA_APPLY_BAD_GEOMETRY:
        return "flash sectors do not fit the update";
    default:
        return "unknown error";
    }
}
