/* Declared for elfutils' shared header; libelf itself never calls it. */
void error(int status, int errnum, const char *format, ...);
