/* packcli: builds one FOTA pack from two LOD images. */
#include <stdio.h>
#include <stdlib.h>

#include "quarnel.h"

int main(int argc, char **argv)
{
    if (argc != 6) {
        printf("usage: %s flashsize codebase oldlod newlod pack\n", argv[0] ? argv[0] : "");
        return -1;
    }

    /* Converted like strtoul with base 0 and nothing checked: the library judges the result. */
    const uint32_t codeBase = (uint32_t)strtoul(argv[2], NULL, 0);
    const uint32_t flashSize = (uint32_t)strtoul(argv[1], NULL, 0);

    CodeArea area;
    area.flashBase = 0x08000000u;
    area.codeBase = codeBase;
    area.codeSize = flashSize - codeBase; /* wraps when codebase > flashsize */

    uint32_t oldStart = 0, oldSize = 0, oldCrc = 0;
    const int result = FotaCreatePack(argv[3], argv[4], argv[5], &oldStart, &oldSize, &oldCrc, area);
    if (result != 0)
        printf("%s\n", FotaErrorMsg(result));
    return result;
}
