#include "sector_map.h"

#include <stdlib.h>

/* A number with an optional K, *end past it; 0 when there is none or it exceeds 32 bits. */
static uint32_t readSize(const char *text, const char **end)
{
    char *after;
    unsigned long value = strtoul(text, &after, 10);
    if (after == text || value > UINT32_MAX)
        return 0;
    if (*after == 'K') {
        if (value > UINT32_MAX / 1024u)
            return 0;
        value *= 1024u;
        after++;
    }
    *end = after;
    return (uint32_t)value;
}

int parseSectorMap(const char *text, NorSectorRun *runs, uint32_t capacity, uint32_t *runCount)
{
    uint32_t count = 0;
    const char *at = text;
    for (;;) {
        const char *end = at;
        NorSectorRun run = {1, readSize(at, &end)};
        if (run.size == 0 || count == capacity)
            return -1;
        if (*end == '*') {
            char *after;
            run.count = (uint32_t)strtoul(end + 1, &after, 10);
            if (after == end + 1 || run.count == 0)
                return -1;
            end = after;
        }
        runs[count++] = run;
        if (*end == '\0')
            break;
        if (*end != ',')
            return -1;
        at = end + 1;
    }
    *runCount = count;
    return 0;
}
