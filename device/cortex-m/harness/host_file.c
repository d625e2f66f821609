#include "host_file.h"

#include <stdio.h>

int readHostFile(const char *path, uint8_t *buffer, uint32_t capacity, uint32_t *size)
{
    FILE *file = fopen(path, "rb");
    if (file == NULL)
        return -1;
    const size_t length = fread(buffer, 1, capacity, file);
    /* A file that fills the buffer may be longer than it: one more byte tells. */
    const int truncated = length == capacity && fgetc(file) != EOF;
    const int failed = ferror(file);
    fclose(file);
    if (truncated || failed)
        return -1;
    *size = (uint32_t)length;
    return 0;
}
