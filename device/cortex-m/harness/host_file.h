/* Reading the test's input files from the host through semihosting. */
#ifndef HOST_FILE_H
#define HOST_FILE_H

#include <stdint.h>

/* Reads the whole file into buffer; returns 0, or -1 when it cannot be read or exceeds capacity. */
int readHostFile(const char *path, uint8_t *buffer, uint32_t capacity, uint32_t *size);

#endif
