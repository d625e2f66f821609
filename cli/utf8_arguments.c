#include "utf8_arguments.h"

#include <stdlib.h>
#include <windows.h>

static char *utf8Of(const wchar_t *wide)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, NULL, 0, NULL, NULL);
    if (length <= 0)
        return NULL;
    char *text = malloc((size_t)length);
    if (text != NULL && WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, length, NULL, NULL) != length) {
        free(text);
        text = NULL;
    }
    return text;
}

char **utf8Arguments(int argc, wchar_t **wideArgv)
{
    char **argv = calloc((size_t)argc + 1, sizeof *argv);
    if (argv == NULL)
        return NULL;
    for (int i = 0; i < argc; ++i) {
        argv[i] = utf8Of(wideArgv[i]);
        if (argv[i] == NULL) {
            while (i > 0)
                free(argv[--i]);
            free(argv);
            return NULL;
        }
    }
    return argv;
}
