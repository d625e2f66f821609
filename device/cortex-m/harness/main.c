/* Applies a pack to a flash held in RAM on the emulated Cortex-M, once
   without a cut and then with power cuts at chosen erase and program calls,
   each followed by resumes, and checks that every run ends with the new
   image. The exit status reaches the host through semihosting.

     apply_harness [--sectors MAP] PACK OLD_IMAGE NEW_IMAGE [PROGRAM_UNIT [STATE_LENGTH]]

   The images are raw bytes as the device holds them, boot marker included.
   MAP is the flash's sector map (sector_map.h), for example 16K*4,64K,128K*7:
   the applier then gets sectorAt and a spare area of whole sectors, and
   rebuilds each sector the new image touches through a scratch as large as
   the largest of them. Without it the flash erases 4, 32 and 64 KiB units. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "checksum.h"
#include "host_file.h"
#include "sector_map.h"
#include "update_rig.h"

/* Room for a 2 MiB pair: its images, the flash window with scratch and state, and its copy. */
enum {
    packCapacity = 1u << 20,
    imageCapacity = 0x240000,
    windowCapacity = 0x260000,
    packHeaderLength = 28,
};

static uint8_t packBuffer[packCapacity];
static uint8_t oldImage[imageCapacity];
static uint8_t newImage[imageCapacity];
static uint8_t flashWindow[windowCapacity];
static uint8_t initialWindow[windowCapacity];
static uint8_t flashUnerased[windowCapacity / 8];
static const FlashMemory flashMemory = {flashWindow, flashUnerased, initialWindow, windowCapacity};
/* The applier's whole work memory, reserved at build time as firmware would. */
static uint8_t workMemory[FOTA_APPLY_WORK_SIZE];

static UpdateRig rig;

static uint32_t readLittleEndian(const uint8_t *bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 | (uint32_t)bytes[3] << 24;
}

static int fail(const char *message)
{
    printf("FAIL: %s\n", message);
    return EXIT_FAILURE;
}

/* Cases the applier must turn down before its first erase or program.
   Returns the number of cases it did not. */
static int runRefusals(uint32_t oldSize, int *runsMade)
{
    const size_t workSize = rig.workSize;
    uint8_t *const packEnd = packBuffer + rig.packBytes.size - 1;
    int failures = 0;

    rigResetFlash(&rig);
    flashWindow[oldSize / 2] ^= 0x01;
    failures += expectRefusal(&rig, "a flash holding another old image") != 0;

    rigResetFlash(&rig);
    rig.workSize = workSize - 1;
    failures += expectRefusal(&rig, "work memory one byte short") != 0;
    rig.workSize = workSize;

    *packEnd ^= 0x80;
    failures += expectRefusal(&rig, "a pack with a bit flipped in its last byte") != 0;
    *packEnd ^= 0x80;

    *runsMade += 3;
    return failures;
}

/* FotaApplyQuery before the update, half way through it, after it and after its records are erased; no
   query may erase or program. Returns the number of answers that were wrong. */
static int runQueries(uint32_t calls, int *runsMade)
{
    FotaApplyStatus status;
    int result = 0;
    int failures = 0;
    rigResetFlash(&rig);
    result = rigQuery(&rig, &status);
    failures += result != 0 || status.state != FOTA_STATE_NOT_STARTED || status.chunksDone != 0;
    printf("query before the update: %d, state %d, %lu of %lu chunks\n", result, status.state,
           (unsigned long)status.chunksDone, (unsigned long)status.chunkCount);
    rigApplyUntil(&rig, calls / 2, cutInsideCall, &result);
    result = rigQuery(&rig, &status);
    failures += result != 0 || status.state != FOTA_STATE_IN_PROGRESS || status.chunksDone >= status.chunkCount;
    printf("query after a cut half way: %d, state %d, %lu of %lu chunks\n", result, status.state,
           (unsigned long)status.chunksDone, (unsigned long)status.chunkCount);
    rigApplyUntil(&rig, NOR_NO_CUT, cutBeforeCall, &result);
    failures += result != 0;
    result = rigQuery(&rig, &status);
    failures += result != 0 || status.state != FOTA_STATE_DONE || status.chunksDone != status.chunkCount;
    printf("query after the update: %d, state %d, %lu of %lu chunks, %lu progress reports\n", result,
           status.state, (unsigned long)status.chunksDone, (unsigned long)status.chunkCount,
           (unsigned long)rig.progressCalls);
    /* Records erased after the update: only this pack's records speak for the flash, and the chunk checksums
       that still hold are the pack's own claims, so neither the query nor the call may call it finished. */
    memset(rig.flash.bytes + (rig.spare.stateOffset - rig.flash.base), 0xFF, rig.spare.stateLength);
    result = rigQuery(&rig, &status);
    failures += result != 0 || status.state != FOTA_STATE_NOT_APPLICABLE;
    printf("query after the records were erased: %d, state %d\n", result, status.state);
    failures += expectRefusal(&rig, "a finished update whose records were erased") != 0;
    printf("%s FotaApplyQuery: not started, in progress, done, not applicable once the records are gone\n",
           failures == 0 ? "PASS" : "FAIL");
    ++*runsMade;
    return failures != 0;
}

/* Single cuts of each kind spread over the update, then chains of cuts that
   fail the resumes too. Returns the number of failed plans. */
static int runCutPlans(uint32_t calls, int *runsMade)
{
    const uint32_t spread[] = {0, 1, 2, calls / 8, calls / 4, calls / 2, 3 * calls / 4, calls - 2, calls - 1};
    const PowerCut kinds[] = {cutBeforeCall, cutInsideCall, cutAfterCall};
    const CutPlan chains[] = {
        {{{calls / 3, cutInsideCall}, {1, cutInsideCall}, {calls / 3, cutAfterCall}}, 3},
        {{{calls / 2, cutAfterCall}, {0, cutBeforeCall}, {0, cutInsideCall}}, 3},
        {{{calls / 2, cutInsideCall}, {calls / 4, cutInsideCall}, {calls / 8, cutInsideCall}}, 3},
    };
    int failures = 0;
    uint32_t finishCalls;
    for (size_t i = 0; i < sizeof spread / sizeof spread[0]; i++) {
        if (spread[i] >= calls || (i > 0 && spread[i] <= spread[i - 1]))
            continue;
        for (size_t k = 0; k < sizeof kinds / sizeof kinds[0]; k++) {
            const CutPlan plan = {{{spread[i], kinds[k]}}, 1};
            failures += runCutPlan(&rig, &plan, &finishCalls) != 0;
            ++*runsMade;
        }
    }
    for (size_t i = 0; i < sizeof chains / sizeof chains[0]; i++) {
        failures += runCutPlan(&rig, &chains[i], &finishCalls) != 0;
        ++*runsMade;
    }
    return failures;
}

int main(int argc, char **argv)
{
    const char *const usage = "usage: apply_harness [--sectors MAP] PACK OLD_IMAGE NEW_IMAGE [PROGRAM_UNIT [STATE_LENGTH]]";
    if (argc > 2 && strcmp(argv[1], "--sectors") == 0) {
        if (parseSectorMap(argv[2], rig.flash.runs, norSectorRuns, &rig.flash.runCount) != 0)
            return fail(usage);
        argc -= 2;
        argv += 2;
    }
    if (argc < 4 || argc > 6)
        return fail(usage);
    rig.spare.programUnit = argc > 4 ? (uint32_t)strtoul(argv[4], NULL, 0) : 16;
    rig.flash.programUnit = rig.spare.programUnit;
    const uint32_t stateLength = argc > 5 ? (uint32_t)strtoul(argv[5], NULL, 0) : 16384;

    uint32_t packSize, oldSize;
    if (readHostFile(argv[1], packBuffer, packCapacity, &packSize) != 0 || packSize < packHeaderLength)
        return fail("cannot read the pack");
    if (readHostFile(argv[2], oldImage, imageCapacity, &oldSize) != 0)
        return fail("cannot read the old image");
    if (readHostFile(argv[3], newImage, imageCapacity, &rig.newSize) != 0 || rig.newSize == 0)
        return fail("cannot read the new image");

    /* The old image must be the one the pack was made from, or every run would only test a refusal. */
    const uint32_t codeStart = readLittleEndian(packBuffer + 12);
    if (readLittleEndian(packBuffer + 16) != oldSize || readLittleEndian(packBuffer + 8) != packChecksum(oldImage, oldSize))
        return fail("the old image is not the one the pack applies to");
    rig.newStart = codeStart;
    rig.newImage = newImage;
    if (rigLayOutFlash(&rig, &flashMemory, codeStart, oldImage, oldSize, stateLength) != 0)
        return fail("the images, scratch and state area do not fit the flash window");
    rigSetPack(&rig, packBuffer, packSize);

    rig.workSize = sizeof workMemory;
    rig.work = workMemory;
    rig.random = 0x6A09E667u;
    if (FotaApplyWorkSize(&rig.pack) != sizeof workMemory)
        return fail("the pack asks for other work memory than FOTA_APPLY_WORK_SIZE");
    printf("pack %lu bytes, old image %lu, new image %lu, program unit %lu\n", (unsigned long)packSize,
           (unsigned long)oldSize, (unsigned long)rig.newSize, (unsigned long)rig.spare.programUnit);
    printf("work memory: a static buffer of FOTA_APPLY_WORK_SIZE = %lu bytes\n", (unsigned long)sizeof workMemory);
    printf("flash 0x%lx-0x%lx%s: scratch at 0x%lx+%lu, state area at 0x%lx+%lu\n", (unsigned long)rig.flash.base,
           (unsigned long)(rig.flash.base + rig.flash.size), rig.flash.runCount > 0 ? " in the sectors given" : "",
           (unsigned long)rig.spare.scratchOffset, (unsigned long)rigScratchLength(&rig),
           (unsigned long)rig.spare.stateOffset, (unsigned long)rig.spare.stateLength);

    uint32_t calls = 0;
    const CutPlan noCut = {{{0, cutBeforeCall}}, 0};
    if (runCutPlan(&rig, &noCut, &calls) != 0)
        return fail("the update without a power cut");
    if (calls < 2)
        return fail("the update made fewer than two erase and program calls");
    printf("the update makes %lu erase and program calls and %lu progress reports\n", (unsigned long)calls,
           (unsigned long)rig.finishProgressCalls);
    /* The stream is decoded twice per update: once by the checking pass, once by the three cursors together. */
    const uint32_t streamLength = readLittleEndian(packBuffer + packHeaderLength + 5);
    printf("decoding: the update call decodes 2 x %lu stream bytes, reads %lu pack bytes, takes %lu ms of host time\n",
           (unsigned long)streamLength, (unsigned long)rig.finishPackBytes, (unsigned long)rig.finishMilliseconds);

    int runsMade = 1;
    const int failures = runRefusals(oldSize, &runsMade) + runCutPlans(calls, &runsMade) + runQueries(calls, &runsMade);
    printf("deepest stack, flash and progress callbacks included: FotaApplyPack %lu bytes, FotaApplyQuery %lu bytes\n",
           (unsigned long)rig.deepestStack, (unsigned long)rig.deepestQueryStack);
    printf("%s: %d of %d runs as expected, %lu power cuts made\n", failures == 0 ? "PASS" : "FAIL",
           runsMade - failures, runsMade, (unsigned long)rig.powerCuts);
    return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
