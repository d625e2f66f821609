#include "store_swaps.h"

#include <stdio.h>

enum { granule = 512 };

/* One signed call on the flash as it is, the store swapped from read swapAt on. Allowed ends: 0 with the new
   image; 22 once this call wrote; 20 before a write of an update not yet begun (a resume may give either). */
static int swappedCall(UpdateRig *rig, const ForeignPack *foreign, uint32_t swapAt, int resumed, char *failure,
                       size_t failureSize)
{
    int result = -1;
    rig->packBytes.swapTo = foreign->bytes;
    rig->packBytes.swapAtRead = swapAt;
    rig->packBytes.reads = 0;
    rigApplyUntil(rig, NOR_NO_CUT, cutBeforeCall, &result);
    rig->packBytes.swapTo = NULL;
    const uint32_t writes = rig->flash.calls;
    const int allowed = result == 0 || (writes > 0 ? result == FOTA_APPLY_PACK_CHANGED
                                                   : result == FOTA_APPLY_BAD_SIGNATURE ||
                                                         (resumed && result == FOTA_APPLY_PACK_CHANGED));
    if (rig->flash.fault[0] != '\0')
        snprintf(failure, failureSize, "flash rule broken: %s", rig->flash.fault);
    else if (rig->flash.bytes[foreign->flashAt - rig->flash.base] == foreign->value)
        snprintf(failure, failureSize, "the foreign pack's byte 0x%02x reached flash at 0x%lx", foreign->value,
                 (unsigned long)foreign->flashAt);
    else if (!allowed)
        snprintf(failure, failureSize, "returned %d (%s) after %lu erase and program calls", result,
                 FotaApplyErrorMsg(result), (unsigned long)writes);
    else if (result == 0)
        rigCheckFlash(rig, failure, failureSize);
    return result;
}

/* The swapped call, then one with the signed pack, which must finish the update. Returns 0 when both held. */
static int runSwap(UpdateRig *rig, const ForeignPack *foreign, uint32_t swapAt, uint32_t cutAt)
{
    char failure[200] = "";
    int finish = -1;
    int result = -1;
    rigResetFlash(rig);
    if (cutAt != NOR_NO_CUT && rigApplyUntil(rig, cutAt, cutInsideCall, &result) == 0)
        snprintf(failure, sizeof failure, "the update ended before call %lu", (unsigned long)cutAt);
    if (failure[0] == '\0')
        result = swappedCall(rig, foreign, swapAt, cutAt != NOR_NO_CUT, failure, sizeof failure);
    if (failure[0] == '\0') {
        rigApplyUntil(rig, NOR_NO_CUT, cutBeforeCall, &finish);
        if (finish != 0)
            snprintf(failure, sizeof failure, "the call after the swap returned %d: %s", finish,
                     FotaApplyErrorMsg(finish));
        else
            rigCheckFlash(rig, failure, sizeof failure);
    }
    if (cutAt == NOR_NO_CUT)
        printf("%s store swapped at read %lu: %d", failure[0] == '\0' ? "PASS" : "FAIL", (unsigned long)swapAt, result);
    else
        printf("%s cut inside call %lu, then the store swapped at read %lu of the resume: %d",
               failure[0] == '\0' ? "PASS" : "FAIL", (unsigned long)cutAt, (unsigned long)swapAt, result);
    printf("%s%s\n", failure[0] == '\0' ? "" : ": ", failure);
    return failure[0] == '\0' ? 0 : -1;
}

int runStoreSwaps(UpdateRig *rig, const ForeignPack *foreign, uint32_t cutAt, int *runsMade)
{
    int result = -1;
    rigResetFlash(rig);
    rig->packBytes.reads = 0;
    rigApplyUntil(rig, NOR_NO_CUT, cutBeforeCall, &result);
    const uint32_t reads = rig->packBytes.reads;
    /* The first pass reads the header, then every granule once; the cursors read after it. */
    const uint32_t firstPass = 1 + (rig->pack.size + granule - 1) / granule;
    const uint32_t fresh[] = {0, firstPass / 2, firstPass - 1, firstPass, firstPass + 1,
                              firstPass + (reads - firstPass) / 4, firstPass + (reads - firstPass) / 2, reads - 1};
    const uint32_t resumed[] = {firstPass / 2, firstPass, firstPass + 2, firstPass + (reads - firstPass) / 3};
    int failures = 0;
    if (result != 0 || reads <= firstPass) {
        printf("FAIL the signed update returned %d after %lu pack reads\n", result, (unsigned long)reads);
        return 1;
    }
    printf("the signed update reads the pack %lu times, %lu of them in its first pass\n", (unsigned long)reads,
           (unsigned long)firstPass);
    for (size_t i = 0; i < sizeof fresh / sizeof fresh[0]; i++)
        failures += runSwap(rig, foreign, fresh[i], NOR_NO_CUT) != 0;
    for (size_t i = 0; i < sizeof resumed / sizeof resumed[0]; i++)
        failures += runSwap(rig, foreign, resumed[i], cutAt) != 0;
    *runsMade += (int)(sizeof fresh / sizeof fresh[0] + sizeof resumed / sizeof resumed[0]);
    return failures;
}
