/* packcli: builds one FOTA pack from two LOD images. */
#include <stdio.h>

#include "code_area_arguments.h"
#include "quarnel.h"

#ifdef _WIN32
#include "utf8_arguments.h"
#endif

static int run(int argc, char **argv)
{
    if (argc != 6) {
        printf("usage: %s flashsize codebase oldlod newlod pack\n", argv[0] ? argv[0] : "");
        return -1;
    }

    const CodeArea area = codeAreaFromArguments(argv[1], argv[2]);
    uint32_t oldStart = 0, oldSize = 0, oldCrc = 0;
    const int result = FotaCreatePack(argv[3], argv[4], argv[5], &oldStart, &oldSize, &oldCrc, area);
    if (result != FOTA_OK)
        printf("%s\n", FotaErrorMsg(result));
    return result;
}

#ifdef _WIN32
/* main would receive the arguments in the ANSI code page, which cannot spell
   most paths; wmain receives them as Windows keeps them, in UTF-16. */
int wmain(int argc, wchar_t **wideArgv)
{
    char **argv = utf8Arguments(argc, wideArgv);
    if (argv == NULL) {
        printf("%s\n", FotaErrorMsg(FOTA_OUT_OF_MEMORY));
        return FOTA_OUT_OF_MEMORY;
    }
    return run(argc, argv);
}
#else
int main(int argc, char **argv)
{
    return run(argc, argv);
}
#endif
