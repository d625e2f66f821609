/* Command-line arguments as UTF-8 on Windows, shared by packcli and packcheck. */
#ifndef UTF8_ARGUMENTS_H
#define UTF8_ARGUMENTS_H

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Converts the UTF-16 arguments that wmain receives to UTF-8, once for the
 * whole run: argc strings and a closing null, kept until the program ends.
 * Null when memory runs out. A lone surrogate, which no file name in UTF-8
 * can hold, becomes U+FFFD.
 */
char **utf8Arguments(int argc, wchar_t **wideArgv);

#ifdef __cplusplus
}
#endif

#endif /* UTF8_ARGUMENTS_H */
