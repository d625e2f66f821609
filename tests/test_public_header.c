/* Compiled as C: the public header, its result names included, must stay valid C. */
#include "quarnel.h"

int publicHeaderCallsFromC(void)
{
    CodeArea area = {0x08000000u, 0x1001u, 0x10000u};
    const int result = FotaCreatePack(0, 0, 0, 0, 0, 0, area);
    const char *text = FotaErrorMsg(result);
    /* a misaligned code base, whose message reads "unknown error" */
    return result == FOTA_CODE_BASE_MISALIGNED && text[0] == 'u' ? result : -1;
}
