/* Applies a signed pack on the emulated Cortex-M through FotaApplySignedPack:
   once without a cut, with power cuts spread over the update, and refusals
   that must come without a single erase or program: a changed pack byte, a
   signature of another key, a truncated signature, an image area that leaves
   out a chunk; and a pack store that swaps to a foreign pack part way
   (store_swaps.h). Prints the time and stack of one verification.

     apply_signed_harness PACK OLD_IMAGE NEW_IMAGE PUBLIC_KEY SIGNATURE OTHER_SIGNATURE FOREIGN_PACK FOREIGN_SITE
                          [PROGRAM_UNIT]

   PUBLIC_KEY holds the 65 bytes 0x04, X, Y; the signatures are DER files as openssl writes them. FOREIGN_PACK
   is a valid pack of PACK's size that writes one byte otherwise, FOREIGN_SITE that byte's flash offset and
   value as text ("0x55954 0x34"). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "checksum.h"
#include "host_file.h"
#include "store_swaps.h"
#include "update_rig.h"

enum {
    packCapacity = 1u << 20,
    imageCapacity = 1u << 20,
    windowCapacity = 3u << 19,
    stateLength = 16384,
    signatureCapacity = 128,
};

static uint8_t packBuffer[packCapacity];
static uint8_t foreignBuffer[packCapacity];
static uint8_t oldImage[imageCapacity];
static uint8_t newImage[imageCapacity];
static uint8_t flashWindow[windowCapacity];
static uint8_t initialWindow[windowCapacity];
static uint8_t flashUnerased[windowCapacity / 8];
static const FlashMemory flashMemory = {flashWindow, flashUnerased, initialWindow, windowCapacity};
/* The signed call's whole work memory, reserved at build time as firmware would. */
static uint8_t workMemory[FOTA_APPLY_SIGNED_WORK_SIZE];
static uint8_t publicKey[80];
static uint8_t signature[signatureCapacity];
static uint8_t otherSignature[signatureCapacity];

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

enum { timedVerifications = 20 };

/* Refused calls that hash and verify and do nothing else: their mean time (semihosting's clock counts
   hundredths of a second, so several are timed) and how deep one reached into the stack. */
static int timeOneVerification(void)
{
    FotaTrust changed = *rig.trust;
    uint8_t lastByte[signatureCapacity];
    const uint32_t deepestBefore = rig.deepestStack;
    clock_t started;
    clock_t spent;
    uint32_t depth;
    int i;
    /* A changed last signature byte fails only after the whole pack is hashed and the signature checked. */
    memcpy(lastByte, changed.signature, changed.signatureLength);
    lastByte[changed.signatureLength - 1] ^= 0x01;
    changed.signature = lastByte;
    rig.trust = &changed;
    rigResetFlash(&rig);
    rig.deepestStack = 0;
    started = clock();
    if (expectRefusal(&rig, "a signature with its last byte changed") != 0)
        return -1;
    depth = rig.deepestStack;
    for (i = 1; i < timedVerifications; i++)
        if (expectRefusal(&rig, "the same signature again") != 0)
            return -1;
    spent = clock() - started;
    rig.deepestStack = depth > deepestBefore ? depth : deepestBefore;
    printf("one verification of the %lu-byte pack: %lu ms on the emulated board, %lu bytes of stack"
           " (flash and pack callbacks included)\n",
           (unsigned long)rig.pack.size, (unsigned long)((uint64_t)spent * 1000u / CLOCKS_PER_SEC / timedVerifications),
           (unsigned long)depth);
    return 0;
}

/* Refusals without a write. Returns the number of cases that were not refused. */
static int runRefusals(const FotaTrust *trust, uint32_t otherLength, int *runsMade)
{
    FotaTrust changed = *trust;
    uint8_t *const middle = packBuffer + rig.pack.size / 2;
    int failures = 0;

    rigResetFlash(&rig);
    *middle ^= 0x01;
    failures += expectRefusal(&rig, "a pack with one byte changed") != 0;
    *middle ^= 0x01;

    rig.trust = &changed;
    changed.signature = otherSignature;
    changed.signatureLength = otherLength;
    failures += expectRefusal(&rig, "a signature made with another key") != 0;

    changed = *trust;
    changed.signatureLength = trust->signatureLength - 1;
    failures += expectRefusal(&rig, "a signature one byte short") != 0;
    changed.signatureLength = trust->signatureLength / 2;
    failures += expectRefusal(&rig, "a signature cut in half") != 0;

    changed = *trust;
    changed.imageLength = rig.newSize - 4096;
    failures += expectRefusal(&rig, "a pack whose last chunk lies outside the image area") != 0;
    changed.imageOffset = trust->imageOffset + 4096;
    changed.imageLength = trust->imageLength - 4096;
    failures += expectRefusal(&rig, "a pack whose old image starts outside the image area") != 0;

    rig.trust = trust;
    *runsMade += 6;
    return failures;
}

/* The foreign pack and the byte it writes otherwise, from its two files. */
static int readForeignPack(const char *packPath, const char *sitePath, ForeignPack *foreign)
{
    char site[40];
    uint32_t size, siteSize;
    char *after;
    if (readHostFile(packPath, foreignBuffer, packCapacity, &size) != 0 || size != rig.pack.size ||
        readHostFile(sitePath, (uint8_t *)site, sizeof site - 1, &siteSize) != 0)
        return -1;
    site[siteSize] = '\0';
    foreign->bytes = foreignBuffer;
    foreign->flashAt = (uint32_t)strtoul(site, &after, 0);
    foreign->value = (uint8_t)strtoul(after, NULL, 0);
    return foreign->flashAt >= rig.newStart && foreign->flashAt - rig.newStart < rig.newSize &&
                   newImage[foreign->flashAt - rig.newStart] != foreign->value
               ? 0
               : -1;
}

static int runCutPlans(uint32_t calls, int *runsMade)
{
    const uint32_t spread[] = {0, calls / 4, calls / 2, calls - 1};
    const PowerCut kinds[] = {cutBeforeCall, cutInsideCall, cutAfterCall};
    const CutPlan chain = {{{calls / 3, cutInsideCall}, {1, cutInsideCall}, {calls / 3, cutAfterCall}}, 3};
    int failures = 0;
    uint32_t finishCalls;
    size_t i, k;
    for (i = 0; i < sizeof spread / sizeof spread[0]; i++)
        for (k = 0; k < sizeof kinds / sizeof kinds[0]; k++) {
            const CutPlan plan = {{{spread[i], kinds[k]}}, 1};
            failures += runCutPlan(&rig, &plan, &finishCalls) != 0;
            ++*runsMade;
        }
    failures += runCutPlan(&rig, &chain, &finishCalls) != 0;
    ++*runsMade;
    return failures;
}

int main(int argc, char **argv)
{
    uint32_t packSize, oldSize, keySize, signatureSize, otherSize;
    uint32_t codeStart, calls = 0;
    FotaTrust trust;
    ForeignPack foreign;
    const CutPlan noCut = {{{0, cutBeforeCall}}, 0};
    int runsMade = 1;
    int failures;
    if (argc < 9 || argc > 10)
        return fail("usage: apply_signed_harness PACK OLD_IMAGE NEW_IMAGE PUBLIC_KEY SIGNATURE OTHER_SIGNATURE"
                    " FOREIGN_PACK FOREIGN_SITE [PROGRAM_UNIT]");
    rig.spare.programUnit = argc > 9 ? (uint32_t)strtoul(argv[9], NULL, 0) : 16;
    rig.flash.programUnit = rig.spare.programUnit;
    if (readHostFile(argv[1], packBuffer, packCapacity, &packSize) != 0 || packSize < 28)
        return fail("cannot read the pack");
    if (readHostFile(argv[2], oldImage, imageCapacity, &oldSize) != 0)
        return fail("cannot read the old image");
    if (readHostFile(argv[3], newImage, imageCapacity, &rig.newSize) != 0 || rig.newSize <= 4096)
        return fail("cannot read the new image");
    if (readHostFile(argv[4], publicKey, sizeof publicKey, &keySize) != 0 || keySize != 65)
        return fail("the public key is not 65 bytes");
    if (readHostFile(argv[5], signature, signatureCapacity, &signatureSize) != 0 || signatureSize < 8 ||
        readHostFile(argv[6], otherSignature, signatureCapacity, &otherSize) != 0 || otherSize < 8)
        return fail("cannot read the signatures");

    codeStart = readLittleEndian(packBuffer + 12);
    if (readLittleEndian(packBuffer + 16) != oldSize || readLittleEndian(packBuffer + 8) != packChecksum(oldImage, oldSize))
        return fail("the old image is not the one the pack applies to");
    rig.newStart = codeStart;
    rig.newImage = newImage;
    if (rigLayOutFlash(&rig, &flashMemory, codeStart, oldImage, oldSize, stateLength) != 0)
        return fail("the images, scratch and state area do not fit the flash window");
    rigSetPack(&rig, packBuffer, packSize);
    if (FotaApplyWorkSize(&rig.pack) == 0)
        return fail("the pack is unreadable");
    if (readForeignPack(argv[7], argv[8], &foreign) != 0)
        return fail("the foreign pack is not of the pack's size, or its site is no byte of the new image it changes");
    rig.workSize = sizeof workMemory;
    rig.work = workMemory;
    rig.random = 0x6A09E667u;

    /* The image area: exactly the flash the images take, which the sample's chunks fill. */
    trust.publicKey = publicKey;
    trust.signature = signature;
    trust.signatureLength = signatureSize;
    trust.imageOffset = codeStart;
    trust.imageLength = oldSize > rig.newSize ? oldSize : rig.newSize;
    rig.trust = &trust;
    rig.applySigned = FotaApplySignedPack;

    if (runCutPlan(&rig, &noCut, &calls) != 0)
        return fail("the signed update without a power cut");
    printf("the signed update makes %lu erase and program calls\n", (unsigned long)calls);
    if (timeOneVerification() != 0)
        return fail("a changed signature was not refused");
    rig.trust = &trust;
    failures = runRefusals(&trust, otherSize, &runsMade) + runCutPlans(calls, &runsMade) +
               runStoreSwaps(&rig, &foreign, calls / 3, &runsMade);
    printf("deepest stack of FotaApplySignedPack, flash, pack and progress callbacks included: %lu bytes\n",
           (unsigned long)rig.deepestStack);
    printf("%s: %d of %d signed runs as expected, %lu power cuts made\n", failures == 0 ? "PASS" : "FAIL",
           runsMade - failures, runsMade, (unsigned long)rig.powerCuts);
    return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
