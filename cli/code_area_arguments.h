/* Where the devices map their flash, for every front end, and how packcli and
   packcheck read the code area from their first two arguments. */
#ifndef CODE_AREA_ARGUMENTS_H
#define CODE_AREA_ARGUMENTS_H

#include <stdint.h>
#include <stdlib.h>

#include "quarnel.h"

/* Where the devices these packs are for map their flash. */
static const uint32_t deviceFlashBase = 0x08000000u;

/* Both numbers are read like strtoul with base 0 and nothing checked:
   FotaCreatePack judges the area, so every front end gets the same verdict. */
static inline CodeArea codeAreaFromArguments(const char *flashSize, const char *codeBase)
{
    CodeArea area;
    area.flashBase = deviceFlashBase;
    area.codeBase = (uint32_t)strtoul(codeBase, NULL, 0);
    area.codeSize = (uint32_t)strtoul(flashSize, NULL, 0) - area.codeBase; /* wraps when codebase > flashsize */
    return area;
}

#endif
