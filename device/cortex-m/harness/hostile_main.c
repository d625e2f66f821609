/* Packs made to hurt the applier, on the emulated Cortex-M: each must be
   refused by FotaApplyPack without a single erase or program, and
   FotaApplyQuery must refuse it with the same code, writing nothing either.

     apply_hostile_harness [--sectors MAP] OLD_IMAGE NEW_IMAGE PACK[:CODE]...

   The flash holds the old image that the packs' headers name, laid out as in
   apply_harness; CODE, when given, is the result the pack must be refused
   with. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "host_file.h"
#include "sector_map.h"
#include "update_rig.h"

enum {
    packCapacity = 1u << 20,
    imageCapacity = 1u << 20,
    windowCapacity = 3u << 19,
    stateLength = 16384,
    pathCapacity = 256,
};

static uint8_t packBuffer[packCapacity];
static uint8_t oldImage[imageCapacity];
static uint8_t newImage[imageCapacity];
static uint8_t flashWindow[windowCapacity];
static uint8_t initialWindow[windowCapacity];
static uint8_t flashUnerased[windowCapacity / 8];
static const FlashMemory flashMemory = {flashWindow, flashUnerased, initialWindow, windowCapacity};
static uint8_t workMemory[FOTA_APPLY_WORK_SIZE];

static UpdateRig rig;

static int fail(const char *message)
{
    printf("FAIL: %s\n", message);
    return EXIT_FAILURE;
}

/* PACK[:CODE] into path and *code (-1 when no code is given); -1 when the path does not fit. */
static int splitArgument(const char *argument, char *path, int *code)
{
    const char *colon = strrchr(argument, ':');
    const size_t length = colon != NULL ? (size_t)(colon - argument) : strlen(argument);
    if (length >= pathCapacity)
        return -1;
    memcpy(path, argument, length);
    path[length] = '\0';
    *code = colon != NULL ? atoi(colon + 1) : -1;
    return 0;
}

/* One pack: refused by the call and by the query alike, with nothing written. Returns 0 when it was so. */
static int expectRefusedByBoth(const char *path, int wanted)
{
    FotaApplyStatus status;
    uint32_t packSize;
    int result = 0;
    if (readHostFile(path, packBuffer, packCapacity, &packSize) != 0) {
        printf("FAIL cannot read %s\n", path);
        return -1;
    }
    rigSetPack(&rig, packBuffer, packSize);
    rigResetFlash(&rig);
    const clock_t started = clock();
    rigApplyUntil(&rig, NOR_NO_CUT, cutBeforeCall, &result);
    const uint32_t milliseconds = (uint32_t)((clock() - started) * 1000 / CLOCKS_PER_SEC);
    const uint32_t writes = rig.flash.calls;
    const int queried = rigQuery(&rig, &status);
    const int refused = result != 0 && writes == 0 && rig.flash.fault[0] == '\0' && queried == result &&
                        (wanted < 0 || result == wanted);
    printf("%s refusal of %s: %d (%s) after %lu erase and program calls in %lu ms; the query: %d\n",
           refused ? "PASS" : "FAIL", path, result, FotaApplyErrorMsg(result), (unsigned long)writes,
           (unsigned long)milliseconds, queried);
    return refused ? 0 : -1;
}

static uint32_t readLittleEndian(const uint8_t *bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

int main(int argc, char **argv)
{
    const char *const usage = "usage: apply_hostile_harness [--sectors MAP] OLD_IMAGE NEW_IMAGE PACK[:CODE]...";
    char path[pathCapacity];
    uint32_t oldSize, packSize;
    int code;
    int failures = 0;
    if (argc > 2 && strcmp(argv[1], "--sectors") == 0) {
        if (parseSectorMap(argv[2], rig.flash.runs, norSectorRuns, &rig.flash.runCount) != 0)
            return fail(usage);
        argc -= 2;
        argv += 2;
    }
    if (argc < 4)
        return fail(usage);
    rig.spare.programUnit = 16;
    rig.flash.programUnit = 16;
    if (readHostFile(argv[1], oldImage, imageCapacity, &oldSize) != 0 ||
        readHostFile(argv[2], newImage, imageCapacity, &rig.newSize) != 0 || rig.newSize == 0)
        return fail("cannot read the images");
    /* The first pack's header names where the old image lies; the others are made from the same. */
    if (splitArgument(argv[3], path, &code) != 0 || readHostFile(path, packBuffer, packCapacity, &packSize) != 0 ||
        packSize < 28)
        return fail("cannot read the first pack");
    rig.newStart = readLittleEndian(packBuffer + 12);
    rig.newImage = newImage;
    if (rigLayOutFlash(&rig, &flashMemory, rig.newStart, oldImage, oldSize, stateLength) != 0)
        return fail("the images, scratch and state area do not fit the flash window");
    rig.work = workMemory;
    rig.workSize = sizeof workMemory;
    rig.random = 0x510E527Fu;
    for (int i = 3; i < argc; i++) {
        if (splitArgument(argv[i], path, &code) != 0)
            return fail("a pack's path is too long");
        failures += expectRefusedByBoth(path, code) != 0;
    }
    printf("%s: %d of %d hostile packs refused with nothing written\n", failures == 0 ? "PASS" : "FAIL",
           argc - 3 - failures, argc - 3);
    return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
