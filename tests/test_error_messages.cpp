#include <gtest/gtest.h>

#include <string>

#include "quarnel.h"

extern "C" int publicHeaderCallsFromC(void);

// The numbers are the interface (packcli's exit status, the manual pages): each name keeps its own.
TEST(ErrorMessages, WholeTable)
{
    const struct {
        int name;
        int number;
        const char *message;
    } table[] = {
        {FOTA_OK, 0, "no error"},
        {FOTA_INVALID_SECTOR_SIZE, 1, "invalid sector size"},
        {FOTA_CODE_BASE_MISALIGNED, 2, "unknown error"},
        {FOTA_CODE_SIZE_MISALIGNED, 3, "unknown error"},
        {FOTA_END_NOT_BLOCK_ALIGNED, 4, "fota end address not block aligned"},
        {FOTA_START_NOT_SECTOR_ALIGNED, 5, "fota start address not sector aligned"},
        {FOTA_AREA_OUTSIDE_FLASH, 6, "fota area outside flash"},
        {FOTA_OLD_LOD_UNREADABLE, 7, "failed to read old lod"},
        {FOTA_NEW_LOD_UNREADABLE, 8, "failed to read new lod"},
        {FOTA_OLD_NOT_CONTIGUOUS, 9, "old lod is not contiguous"},
        {FOTA_OLD_SIZE_MISALIGNED, 10, "old size not sector aligned"},
        {FOTA_OLD_ADDRESS_MISMATCH, 11, "old address does not match code flash base"},
        {FOTA_OLD_TOO_LARGE, 12, "old size larger than code flash size"},
        {FOTA_NEW_NOT_CONTIGUOUS, 13, "new lod is not contiguous"},
        {FOTA_NEW_SIZE_MISALIGNED, 14, "new size not sector aligned"},
        {FOTA_NEW_ADDRESS_MISMATCH, 15, "new address does not match code flash base"},
        {FOTA_NEW_TOO_LARGE, 16, "new size larger than code flash size"},
        {FOTA_PACK_WRITE_FAILED, 17, "failed to write pack"},
        {FOTA_PACK_READ_FAILED, 18, "failed to read pack"},
        {FOTA_PACK_INVALID, 19, "invalid pack at verify"},
        {FOTA_UPGRADE_FAILED, 20, "failed to upgrade at verify"},
        {FOTA_CLEAN_FAILED, 21, "failed to clean after upgrade"},
        {FOTA_NEW_MISMATCH, 22, "failed to match new lod after upgrade"},
        {23, 23, "unknown error"}, // reserved, without a name
        {FOTA_OUT_OF_MEMORY, 24, "out of memory"},
        {FOTA_COMPRESS_FAILED, 25, "failed to compress pack"},
    };
    int number = 0;
    for (const auto &row : table) {
        EXPECT_EQ(row.name, number) << row.message;
        EXPECT_EQ(row.number, number) << row.message;
        EXPECT_STREQ(FotaErrorMsg(row.name), row.message) << "code " << row.number;
        ++number;
    }
}

TEST(ErrorMessages, OutOfTableIsUnknown)
{
    for (int code : {-1, -2147483647 - 1, 26, 100, 2147483647})
        EXPECT_STREQ(FotaErrorMsg(code), "unknown error") << "code " << code;
}

TEST(ErrorMessages, HeaderIsValidC)
{
    EXPECT_EQ(publicHeaderCallsFromC(), FOTA_CODE_BASE_MISALIGNED);
}
