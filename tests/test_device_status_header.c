/* FotaApplyQuery as firmware sees it: compiled as C against quarnel_apply.h alone, on a flash of its own
   in RAM that counts every erase and program and can lose power before any of them. */
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quarnel_apply.h"

typedef struct RamFlash {
    uint8_t *bytes;
    uint32_t size;
    unsigned long writes; /* erase and program calls */
    unsigned long cutAt;  /* the write call that never happens: power fails before it; ULONG_MAX for none */
    jmp_buf powerLost;
} RamFlash;

typedef struct Scenario {
    const FotaPackSource *pack;
    const FotaSpareArea *spare;
    void *work;
    size_t workSize;
    int failures;
    char *failure;
    size_t failureSize;
} Scenario;

static int ramRead(void *context, uint32_t offset, void *out, uint32_t length)
{
    RamFlash *flash = (RamFlash *)context;
    if (offset > flash->size || length > flash->size - offset)
        return -1;
    memcpy(out, flash->bytes + offset, length);
    return 0;
}

static void countWrite(RamFlash *flash)
{
    if (flash->writes == flash->cutAt)
        longjmp(flash->powerLost, 1);
    flash->writes++;
}

static int ramErase(void *context, uint32_t offset, uint32_t length)
{
    RamFlash *flash = (RamFlash *)context;
    if (offset > flash->size || length > flash->size - offset)
        return -1;
    countWrite(flash);
    memset(flash->bytes + offset, 0xFF, length);
    return 0;
}

static int ramProgram(void *context, uint32_t offset, const void *data, uint32_t length)
{
    RamFlash *flash = (RamFlash *)context;
    const uint8_t *in = (const uint8_t *)data;
    uint32_t i;
    if (offset > flash->size || length > flash->size - offset)
        return -1;
    countWrite(flash);
    for (i = 0; i < length; i++)
        flash->bytes[offset + i] &= in[i];
    return 0;
}

static void check(Scenario *scenario, int holds, const char *what, long detail)
{
    if (holds)
        return;
    if (scenario->failures++ == 0)
        snprintf(scenario->failure, scenario->failureSize, "%s (%ld)", what, detail);
}

static const char *stateName(int state)
{
    switch (state) {
    case FOTA_STATE_NOT_STARTED:
        return "not started";
    case FOTA_STATE_IN_PROGRESS:
        return "in progress";
    case FOTA_STATE_DONE:
        return "done";
    case FOTA_STATE_NOT_APPLICABLE:
        return "not applicable";
    default:
        return "no state";
    }
}

/* One query, which must return 0 with no erase or program; the state it found. */
static FotaApplyStatus query(Scenario *scenario, RamFlash *ram, const char *when)
{
    FotaFlash flash = {0, ramRead, ramErase, ramProgram, 0, 0};
    FotaApplyStatus status = {-1, 0, 0};
    int result;
    flash.context = ram;
    ram->writes = 0;
    ram->cutAt = (unsigned long)-1;
    result = FotaApplyQuery(&flash, scenario->pack, scenario->spare, scenario->work, scenario->workSize, &status);
    check(scenario, result == FOTA_APPLY_OK, when, result);
    check(scenario, ram->writes == 0, "the query wrote", (long)ram->writes);
    check(scenario, status.chunksDone <= status.chunkCount, "more chunks done than the pack has",
          (long)status.chunksDone);
    return status;
}

/* One applier call, power lost before write call cutAt; returns 1 when the power failed. */
static int applyUntil(Scenario *scenario, RamFlash *ram, unsigned long cutAt, int *result)
{
    FotaFlash flash = {0, ramRead, ramErase, ramProgram, 0, 0};
    flash.context = ram;
    ram->writes = 0;
    ram->cutAt = cutAt;
    if (setjmp(ram->powerLost) != 0)
        return 1;
    *result = FotaApplyPack(&flash, scenario->pack, scenario->spare, scenario->work, scenario->workSize);
    return 0;
}

static void expectState(Scenario *scenario, const FotaApplyStatus *status, int state, const char *when)
{
    char text[160];
    snprintf(text, sizeof text, "%s: found %s, expected %s", when, stateName(status->state), stateName(state));
    check(scenario, status->state == state, text, (long)status->chunksDone);
}

static void eraseStateArea(RamFlash *ram, const FotaSpareArea *spare)
{
    memset(ram->bytes + spare->stateOffset, 0xFF, spare->stateLength);
}

/* Power lost before each of a spread of write calls, queried after each, then finished. */
static void queryAfterCuts(Scenario *scenario, RamFlash *ram, const uint8_t *oldFlash, unsigned long writes)
{
    /* The state area's sectors, then the identity: until it is written the update has not started. */
    const unsigned long opening = scenario->spare->stateLength / 4096u + 1u;
    uint32_t lastDone = 0;
    int recordsErased = 0;
    unsigned long cutAt;
    int result = 0;
    for (cutAt = 0; cutAt < writes; cutAt += cutAt < opening + 2 ? 1 : writes / 23 + 1) {
        FotaApplyStatus status;
        char when[80];
        memcpy(ram->bytes, oldFlash, ram->size);
        check(scenario, applyUntil(scenario, ram, cutAt, &result) == 1, "the update ended before its cut",
              (long)cutAt);
        snprintf(when, sizeof when, "power lost before write %lu of %lu", cutAt, writes);
        status = query(scenario, ram, when);
        expectState(scenario, &status, cutAt < opening ? FOTA_STATE_NOT_STARTED : FOTA_STATE_IN_PROGRESS, when);
        check(scenario, status.chunksDone >= lastDone, "chunks done went back after a later cut", (long)cutAt);
        lastDone = status.chunksDone;
        /* The records name the progress; without them a half-done update is neither image. */
        if (!recordsErased && cutAt >= writes / 2) {
            recordsErased = 1;
            uint8_t *saved = (uint8_t *)malloc(scenario->spare->stateLength);
            memcpy(saved, ram->bytes + scenario->spare->stateOffset, scenario->spare->stateLength);
            eraseStateArea(ram, scenario->spare);
            status = query(scenario, ram, "half done, state area erased");
            expectState(scenario, &status, FOTA_STATE_NOT_APPLICABLE, "half done, state area erased");
            memcpy(ram->bytes + scenario->spare->stateOffset, saved, scenario->spare->stateLength);
            free(saved);
        }
        applyUntil(scenario, ram, (unsigned long)-1, &result);
        check(scenario, result == FOTA_APPLY_OK, "the resume after a cut failed", result);
    }
    /* The last write is the last chunk's "done" record. */
    memcpy(ram->bytes, oldFlash, ram->size);
    applyUntil(scenario, ram, writes - 1, &result);
    {
        const FotaApplyStatus status = query(scenario, ram, "all but the last record");
        expectState(scenario, &status, FOTA_STATE_IN_PROGRESS, "all but the last record");
        check(scenario, status.chunksDone + 1 == status.chunkCount, "chunks done before the last record",
              (long)status.chunksDone);
    }
}

typedef struct HeldPack {
    FotaPackSource source; /* first: the read callback's context is the whole struct */
    const uint8_t *bytes;
} HeldPack;

static int readHeld(void *context, uint32_t offset, void *out, uint32_t length)
{
    const HeldPack *pack = (const HeldPack *)context;
    if (offset > pack->source.size || length > pack->source.size - offset)
        return -1;
    memcpy(out, pack->bytes + offset, length);
    return 0;
}

/* The pack applies to the old image in flashBytes, which it leaves updated; the spare area lies inside
   flashBytes. Returns the number of failed checks, the first described in failure. */
int deviceQueryFromHeaderAlone(const uint8_t *packBytes, uint32_t packSize, uint8_t *flashBytes, uint32_t flashSize,
                               const FotaSpareArea *spare, const uint8_t *newImage, uint32_t newStart,
                               uint32_t newSize, char *failure, size_t failureSize)
{
    HeldPack held;
    Scenario scenario;
    RamFlash ram;
    FotaApplyStatus status;
    /* Too large for some platforms' stacks, and the tests run one at a time. */
    static uint8_t work[FOTA_APPLY_WORK_SIZE];
    uint8_t *oldFlash = (uint8_t *)malloc(flashSize);
    unsigned long writes;
    int result = -1;
    held.source.context = &held;
    held.source.size = packSize;
    held.source.read = readHeld;
    held.bytes = packBytes;
    scenario.pack = &held.source;
    scenario.spare = spare;
    scenario.work = work;
    scenario.workSize = sizeof work;
    scenario.failures = 0;
    scenario.failure = failure;
    scenario.failureSize = failureSize;
    failure[0] = '\0';
    ram.bytes = flashBytes;
    ram.size = flashSize;
    memcpy(oldFlash, flashBytes, flashSize);

    status = query(&scenario, &ram, "before the update");
    expectState(&scenario, &status, FOTA_STATE_NOT_STARTED, "before the update");
    check(&scenario, status.chunkCount > 1 && status.chunksDone == 0, "chunks before the update",
          (long)status.chunkCount);

    flashBytes[newStart + 0x123] ^= 0x40;
    status = query(&scenario, &ram, "another old image");
    expectState(&scenario, &status, FOTA_STATE_NOT_APPLICABLE, "another old image");
    flashBytes[newStart + 0x123] ^= 0x40;

    check(&scenario, applyUntil(&scenario, &ram, (unsigned long)-1, &result) == 0 && result == FOTA_APPLY_OK,
          "the update without a cut failed", result);
    writes = ram.writes;
    check(&scenario, memcmp(flashBytes + newStart, newImage, newSize) == 0, "the update left another image", 0);
    status = query(&scenario, &ram, "after the update");
    expectState(&scenario, &status, FOTA_STATE_DONE, "after the update");
    check(&scenario, status.chunksDone == status.chunkCount, "chunks done after the update", (long)status.chunksDone);

    /* A factory reset, or another tool, erased the records: nothing the pack states can stand in for them,
       so the update is not taken for finished, and nothing is written. */
    {
        uint8_t *saved = (uint8_t *)malloc(spare->stateLength);
        memcpy(saved, flashBytes + spare->stateOffset, spare->stateLength);
        eraseStateArea(&ram, spare);
        status = query(&scenario, &ram, "after the update, state area erased");
        expectState(&scenario, &status, FOTA_STATE_NOT_APPLICABLE, "after the update, state area erased");
        check(&scenario, applyUntil(&scenario, &ram, (unsigned long)-1, &result) == 0 &&
                             result == FOTA_APPLY_OLD_IMAGE_MISMATCH,
              "the update without its records was not refused", result);
        check(&scenario, ram.writes == 0, "the update without its records wrote", (long)ram.writes);
        memcpy(flashBytes + spare->stateOffset, saved, spare->stateLength);
        free(saved);
    }

    /* A query needs no erase or program callback at all. */
    {
        FotaFlash readOnly = {0, ramRead, 0, 0, 0, 0};
        readOnly.context = &ram;
        result = FotaApplyQuery(&readOnly, &held.source, spare, work, sizeof work, &status);
        check(&scenario, result == FOTA_APPLY_OK && status.state == FOTA_STATE_DONE, "a read-only query", result);
        check(&scenario, FotaApplyQuery(&readOnly, &held.source, spare, work, sizeof work - 1, &status) ==
                             FOTA_APPLY_WORK_TOO_SMALL,
              "a query with too little work memory", 0);
        check(&scenario, FotaApplyQuery(&readOnly, &held.source, spare, work, sizeof work, 0) ==
                             FOTA_APPLY_BAD_ARGUMENT,
              "a query with nowhere to answer", 0);
    }

    queryAfterCuts(&scenario, &ram, oldFlash, writes);
    free(oldFlash);
    return scenario.failures;
}
