/* A sector map as the board programs take it on their command line:
   runs of SIZE[*COUNT], comma-separated, from flash offset 0 on, sizes in
   bytes or with K for KiB, for example 16K*4,64K,128K*7. */
#ifndef SECTOR_MAP_H
#define SECTOR_MAP_H

#include <stdint.h>

#include "nor_flash.h"

/* Fills runs and *runCount; returns -1 on text that is no map of at most capacity runs. */
int parseSectorMap(const char *text, NorSectorRun *runs, uint32_t capacity, uint32_t *runCount);

#endif
