#include <gtest/gtest.h>

#include <string>

#include "quarnel.h"

extern "C" int publicHeaderCallsFromC(void);

TEST(ErrorMessages, WholeTable)
{
    const char *expected[] = {
        "no error", "invalid sector size", "unknown error", "unknown error",
        "fota end address not block aligned", "fota start address not sector aligned",
        "fota area outside flash", "failed to read old lod", "failed to read new lod",
        "old lod is not contiguous", "old size not sector aligned",
        "old address does not match code flash base", "old size larger than code flash size",
        "new lod is not contiguous", "new size not sector aligned",
        "new address does not match code flash base", "new size larger than code flash size",
        "failed to write pack", "failed to read pack", "invalid pack at verify",
        "failed to upgrade at verify", "failed to clean after upgrade",
        "failed to match new lod after upgrade", "unknown error", "out of memory",
        "failed to compress pack"};
    for (int code = 0; code < int(sizeof expected / sizeof expected[0]); ++code)
        EXPECT_STREQ(FotaErrorMsg(code), expected[code]) << "code " << code;
}

TEST(ErrorMessages, OutOfTableIsUnknown)
{
    for (int code : {-1, -2147483647 - 1, 26, 100, 2147483647})
        EXPECT_STREQ(FotaErrorMsg(code), "unknown error") << "code " << code;
}

TEST(ErrorMessages, HeaderIsValidC)
{
    EXPECT_EQ(publicHeaderCallsFromC(), 2);
}
