/* Builds one pack through the installed library: make_pack oldlod newlod pack */
#include <quarnel.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    const CodeArea area = {0x08000000u, 0x10000u, 0x3F0000u};
    uint32_t start = 0, size = 0, crc = 0;
    const int result = argc == 4 ? FotaCreatePack(argv[1], argv[2], argv[3], &start, &size, &crc, area) : -1;
    printf("%d %s: %u %u %u\n", result, FotaErrorMsg(result), start, size, crc);
    return result;
}
