#include "update_rig.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

#include "checksum.h"
#include "stack_depth.h"
#include "test_random.h"

static int readPack(void *context, uint32_t offset, void *out, uint32_t length)
{
    PackBytes *pack = context;
    const uint8_t *bytes = pack->swapTo != NULL && pack->reads >= pack->swapAtRead ? pack->swapTo : pack->bytes;
    pack->reads++;
    if (offset > pack->size || length > pack->size - offset)
        return -1;
    memcpy(out, bytes + offset, length);
    pack->bytesRead += length;
    return 0;
}

/* The end of the map's whole sectors from start (a sector's start) that hold at least length bytes; 0 when the
   map ends before. */
static uint32_t sectorsCovering(const NorFlash *flash, uint32_t start, uint32_t length)
{
    uint32_t end = start;
    while (end - start < length) {
        uint32_t sectorStart;
        uint32_t sectorLength;
        if (norSectorAt(flash, end, &sectorStart, &sectorLength) != 0)
            return 0;
        end = sectorStart + sectorLength;
    }
    return end;
}

/* The flash the update rebuilds, a scratch as large as its largest sector and the state area, all in whole
   sectors of the map from the images' first sector on. Returns -1 when the map does not reach that far. */
static int placeOnSectors(UpdateRig *rig, uint32_t codeStart, uint32_t imagesEnd, uint32_t stateLength,
                          NorFlashArea *rebuilt)
{
    const NorFlash *flash = &rig->flash;
    uint32_t first, last, length;
    uint32_t largest = 65536;
    if (norSectorAt(flash, codeStart, &first, &length) != 0 || norSectorAt(flash, imagesEnd - 1, &last, &length) != 0)
        return -1;
    const uint32_t rebuiltEnd = last + length;
    for (uint32_t at = first; at < rebuiltEnd; at += length) {
        (void)norSectorAt(flash, at, &at, &length);
        largest = length > largest ? length : largest;
    }
    rebuilt->offset = first;
    rebuilt->length = rebuiltEnd - first;
    const uint32_t scratchEnd = sectorsCovering(flash, rebuiltEnd, largest);
    const uint32_t stateEnd = scratchEnd == 0 ? 0 : sectorsCovering(flash, scratchEnd, stateLength);
    if (stateEnd == 0)
        return -1;
    rig->spare.scratchOffset = rebuilt->offset + rebuilt->length;
    rig->spare.scratchLength = scratchEnd - rig->spare.scratchOffset;
    rig->spare.stateOffset = scratchEnd;
    rig->spare.stateLength = stateEnd - scratchEnd;
    return 0;
}

int rigLayOutFlash(UpdateRig *rig, const FlashMemory *memory, uint32_t codeStart, const uint8_t *oldImage,
                   uint32_t oldSize, uint32_t stateLength)
{
    const uint32_t imagesEnd = codeStart + (oldSize > rig->newSize ? oldSize : rig->newSize);
    NorFlash *flash = &rig->flash;
    NorFlashArea rebuilt = {rig->newStart, rig->newSize};
    uint32_t seed = 0x9E3779B9u;
    if (flash->runCount > 0) {
        if (placeOnSectors(rig, codeStart, imagesEnd, stateLength, &rebuilt) != 0)
            return -1;
    } else {
        rig->spare.scratchOffset = (imagesEnd + 65535u) / 65536u * 65536u;
        rig->spare.scratchLength = 0;
        rig->spare.stateOffset = rig->spare.scratchOffset + 65536u;
        rig->spare.stateLength = stateLength;
    }
    const uint32_t base = rebuilt.offset < codeStart ? rebuilt.offset : codeStart;
    const uint32_t end = rig->spare.stateOffset + rig->spare.stateLength;
    if (end - base > memory->capacity)
        return -1;
    flash->bytes = memory->window;
    flash->unerased = memory->unerased;
    flash->base = base;
    flash->size = end - base;
    flash->writable[0] = rebuilt;
    flash->writable[1].offset = rig->spare.scratchOffset;
    flash->writable[1].length = rigScratchLength(rig);
    flash->writable[2].offset = rig->spare.stateOffset;
    flash->writable[2].length = rig->spare.stateLength;
    flash->random = 0x2545F491u;
    fillRandom(memory->initial, flash->size, &seed);
    memcpy(memory->initial + (codeStart - base), oldImage, oldSize);
    rig->initialFlash = memory->initial;
    return 0;
}

uint32_t rigScratchLength(const UpdateRig *rig)
{
    return rig->spare.scratchLength != 0 ? rig->spare.scratchLength : 65536u;
}

void rigSetPack(UpdateRig *rig, const uint8_t *bytes, uint32_t size)
{
    rig->packBytes.bytes = bytes;
    rig->packBytes.size = size;
    rig->pack.context = &rig->packBytes;
    rig->pack.size = size;
    rig->pack.read = readPack;
    rig->progressTotal = 0;
}

/* Done never falls within a call, never passes total, and total is the pack's in every call. */
static void noteProgress(void *context, uint32_t done, uint32_t total)
{
    UpdateRig *rig = context;
    if (rig->progressTotal == 0)
        rig->progressTotal = total;
    if (rig->progressFault == NULL && (done < rig->progressDone || done > total || total != rig->progressTotal))
        rig->progressFault = "progress went back, past its total, or changed its total";
    rig->progressDone = done;
    rig->progressCalls++;
}

static void noteStackUsed(UpdateRig *rig, uintptr_t top)
{
    const uint32_t used = stackUsedBelow(top);
    if (used > rig->deepestStack)
        rig->deepestStack = used;
}

/* One applier call on fresh garbage work memory; returns 1 when power failed inside it. */
static int applyUntilPowerLoss(UpdateRig *rig, uint32_t cutAt, PowerCut kind, int *result)
{
    jmp_buf powerLost;
    FotaFlash callbacks = norFlashInterface(&rig->flash);
    callbacks.progress = noteProgress;
    rig->progressCalls = 0;
    rig->progressDone = 0;
    rig->flash.calls = 0;
    rig->flash.cutAt = cutAt;
    rig->flash.cutKind = kind;
    rig->flash.powerLost = &powerLost;
    fillRandom(rig->work, (uint32_t)rig->workSize, &rig->random);
    const uintptr_t top = stackTop();
    paintFreeStack();
    /* Only calls that return count: the cut itself formats a report on the stack. */
    if (setjmp(powerLost) != 0) {
        rig->powerCuts++;
        return 1;
    }
    *result = rig->trust != NULL
                  ? rig->applySigned(&callbacks, &rig->pack, rig->trust, &rig->spare, rig->work, rig->workSize)
                  : FotaApplyPack(&callbacks, &rig->pack, &rig->spare, rig->work, rig->workSize);
    noteStackUsed(rig, top);
    return 0;
}

static int insideRange(uint32_t offset, uint32_t start, uint32_t length)
{
    return offset >= start && offset - start < length;
}

int rigCheckFlash(const UpdateRig *rig, char *failure, size_t failureSize)
{
    const NorFlash *flash = &rig->flash;
    const uint8_t *image = flash->bytes + (rig->newStart - flash->base);
    const uint32_t found = packChecksum(image, rig->newSize);
    const uint32_t wanted = packChecksum(rig->newImage, rig->newSize);
    if (found != wanted) {
        uint32_t at = 0;
        while (image[at] == rig->newImage[at])
            at++;
        snprintf(failure, failureSize, "image checksum 0x%08lx, new image's 0x%08lx; first difference at 0x%lx",
                 (unsigned long)found, (unsigned long)wanted, (unsigned long)(rig->newStart + at));
        return -1;
    }
    for (uint32_t i = 0; i < flash->size; i++) {
        const uint32_t offset = flash->base + i;
        if (insideRange(offset, rig->newStart, rig->newSize) ||
            insideRange(offset, rig->spare.scratchOffset, rigScratchLength(rig)) ||
            insideRange(offset, rig->spare.stateOffset, rig->spare.stateLength))
            continue;
        if (flash->bytes[i] != rig->initialFlash[i]) {
            snprintf(failure, failureSize, "byte 0x%lx outside the update's areas changed", (unsigned long)offset);
            return -1;
        }
    }
    return 0;
}

static void describePlan(const UpdateRig *rig, const CutPlan *plan, int reached, char *text, size_t size)
{
    size_t used = (size_t)snprintf(text, size, plan->count == 0 ? "no cut" : "cut");
    for (int i = 0; i < plan->count && used < size; i++) {
        const CutStep *step = &plan->steps[i];
        used += (size_t)snprintf(text + used, size - used, "%s %s call %lu%s", i == 0 ? "" : ",",
                                 powerCutName(step->kind), (unsigned long)step->call,
                                 i < reached ? "" : " (not reached)");
    }
    if (reached > 0 && used < size)
        snprintf(text + used, size - used, "; last cut at %s", rig->flash.cutCall);
}

void rigResetFlash(UpdateRig *rig)
{
    /* Leftovers of earlier use: the update must erase whatever it programs. */
    norFlashLoad(&rig->flash, rig->initialFlash, norPastUnknown);
    rig->progressFault = NULL;
}

int rigApplyUntil(UpdateRig *rig, uint32_t cutAt, PowerCut kind, int *result)
{
    return applyUntilPowerLoss(rig, cutAt, kind, result);
}

int rigQuery(UpdateRig *rig, FotaApplyStatus *status)
{
    FotaFlash callbacks = norFlashInterface(&rig->flash);
    callbacks.progress = noteProgress;
    rig->progressCalls = 0;
    rig->progressDone = 0;
    rig->flash.calls = 0;
    rig->flash.cutAt = NOR_NO_CUT;
    const uintptr_t top = stackTop();
    paintFreeStack();
    const int result = FotaApplyQuery(&callbacks, &rig->pack, &rig->spare, rig->work, rig->workSize, status);
    const uint32_t used = stackUsedBelow(top);
    if (used > rig->deepestQueryStack)
        rig->deepestQueryStack = used;
    return rig->flash.calls == 0 ? result : -1;
}

int expectRefusal(UpdateRig *rig, const char *what)
{
    int result = 0;
    applyUntilPowerLoss(rig, NOR_NO_CUT, cutBeforeCall, &result);
    const int refused = result != 0 && rig->flash.calls == 0 && rig->flash.fault[0] == '\0';
    printf("%s refusal of %s: %s", refused ? "PASS" : "FAIL", what,
           result != 0 ? FotaApplyErrorMsg(result) : "returned 0");
    printf(rig->flash.calls != 0 ? ", after %lu erase and program calls\n" : "\n", (unsigned long)rig->flash.calls);
    return refused ? 0 : -1;
}

int runCutPlan(UpdateRig *rig, const CutPlan *plan, uint32_t *finishCalls)
{
    NorFlash *flash = &rig->flash;
    char failure[200] = "";
    int result = 0;
    int reached = 0;
    rigResetFlash(rig);

    for (; reached < plan->count; reached++) {
        const CutStep *step = &plan->steps[reached];
        if (!applyUntilPowerLoss(rig, step->call, step->kind, &result))
            break;
    }
    /* When a cut was not reached, the call that ran past it was the final one. */
    if (reached == plan->count) {
        /* Semihosting's clock counts the host's time in hundredths of a second. */
        const clock_t started = clock();
        rig->packBytes.bytesRead = 0;
        applyUntilPowerLoss(rig, NOR_NO_CUT, cutBeforeCall, &result);
        rig->finishPackBytes = rig->packBytes.bytesRead;
        rig->finishProgressCalls = rig->progressCalls;
        rig->finishMilliseconds = (uint32_t)((clock() - started) * 1000 / CLOCKS_PER_SEC);
    }
    *finishCalls = flash->calls;

    if (flash->fault[0] != '\0')
        snprintf(failure, sizeof failure, "flash rule broken: %s", flash->fault);
    else if (rig->progressFault != NULL)
        snprintf(failure, sizeof failure, "%s", rig->progressFault);
    else if (result != 0)
        snprintf(failure, sizeof failure, "the resume returned %d: %s", result, FotaApplyErrorMsg(result));
    else if (rigCheckFlash(rig, failure, sizeof failure) == 0) {
        /* A finished update found again must succeed without a single write. */
        applyUntilPowerLoss(rig, NOR_NO_CUT, cutBeforeCall, &result);
        if (result != 0 || flash->calls != 0)
            snprintf(failure, sizeof failure, "a call after the finish returned %d with %lu writes", result,
                     (unsigned long)flash->calls);
    }

    char description[200];
    describePlan(rig, plan, reached, description, sizeof description);
    printf("%s %s%s%s\n", failure[0] == '\0' ? "PASS" : "FAIL", description, failure[0] == '\0' ? "" : ": ",
           failure);
    return failure[0] == '\0' ? 0 : -1;
}
