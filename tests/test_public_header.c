/* Compiled as C: the public header must stay valid C. */
#include "quarnel.h"

int publicHeaderCallsFromC(void)
{
    CodeArea area = {0x08000000u, 0x1001u, 0x10000u};
    const char *text = FotaErrorMsg(FotaCreatePack(0, 0, 0, 0, 0, 0, area));
    return text[0] == 'u' ? 2 : -1; /* a misaligned code base gives 2, "unknown error" */
}
