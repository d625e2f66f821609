/* A device-side program outside this project, built against the installed static applier through
   pkg-config --static: prints the work memory a pack needs, and what the applier says with too little. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <quarnel_apply.h>

typedef struct Bytes {
    unsigned char *data;
    long size;
} Bytes;

static int readBytes(void *context, uint32_t offset, void *out, uint32_t length)
{
    const Bytes *bytes = (const Bytes *)context;
    if ((long)offset + (long)length > bytes->size)
        return -1;
    memcpy(out, bytes->data + offset, length);
    return 0;
}

static int noFlash(void *context, uint32_t offset, void *out, uint32_t length)
{
    (void)context, (void)offset, (void)out, (void)length;
    return -1;
}

static int noErase(void *context, uint32_t offset, uint32_t length)
{
    (void)context, (void)offset, (void)length;
    return -1;
}

static int noProgram(void *context, uint32_t offset, const void *data, uint32_t length)
{
    (void)context, (void)offset, (void)data, (void)length;
    return -1;
}

int main(int argc, char **argv)
{
    Bytes bytes = {0, 0};
    FILE *file = argc == 2 ? fopen(argv[1], "rb") : 0;
    if (file == 0 || fseek(file, 0, SEEK_END) != 0 || (bytes.size = ftell(file)) < 0 || fseek(file, 0, SEEK_SET) != 0)
        return 2;
    bytes.data = malloc((size_t)bytes.size + 1);
    if (bytes.data == 0 || fread(bytes.data, 1, (size_t)bytes.size, file) != (size_t)bytes.size)
        return 2;
    fclose(file);
    {
        FotaPackSource pack = {0, 0, readBytes};
        FotaFlash flash = {0, noFlash, noErase, noProgram};
        FotaSpareArea spare = {0x3E0000, 0x3F0000, 0x10000, 16, 0};
        unsigned char work[16];
        size_t need;
        pack.context = &bytes;
        pack.size = (uint32_t)bytes.size;
        need = FotaApplyWorkSize(&pack);
        printf("%lu %s\n", (unsigned long)need, FotaApplyErrorMsg(FotaApplyPack(&flash, &pack, &spare, work, sizeof work)));
    }
    free(bytes.data);
    return 0;
}
