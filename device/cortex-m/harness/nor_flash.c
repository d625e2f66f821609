#include "nor_flash.h"

#include <stdio.h>
#include <string.h>

#include "test_random.h"

static int breakRule(NorFlash *flash, const char *rule, uint32_t offset, uint32_t length)
{
    if (flash->fault[0] == '\0')
        snprintf(flash->fault, sizeof flash->fault, "%s (call %lu at 0x%lx, %lu bytes)", rule,
                 (unsigned long)flash->calls, (unsigned long)offset, (unsigned long)length);
    return -1;
}

static int insideWindow(const NorFlash *flash, uint32_t offset, uint32_t length)
{
    return offset >= flash->base && offset - flash->base <= flash->size &&
           length <= flash->size - (offset - flash->base);
}

static int insideWritable(const NorFlash *flash, uint32_t offset, uint32_t length)
{
    for (int i = 0; i < norWritableRanges; i++) {
        const FlashRange *range = &flash->writable[i];
        if (offset >= range->offset && offset - range->offset <= range->length &&
            length <= range->length - (offset - range->offset))
            return 1;
    }
    return 0;
}

/* Counts the call and reports whether it is the one that loses power. */
static int losesPower(NorFlash *flash, const char *what, uint32_t offset, uint32_t length)
{
    const int cut = flash->calls == flash->cutAt;
    if (cut)
        snprintf(flash->cutCall, sizeof flash->cutCall, "%s 0x%lx+%lu", what, (unsigned long)offset,
                 (unsigned long)length);
    flash->calls++;
    return cut;
}

static int readFlash(void *context, uint32_t offset, void *out, uint32_t length)
{
    NorFlash *flash = context;
    if (!insideWindow(flash, offset, length))
        return breakRule(flash, "read outside the images, scratch and state area", offset, length);
    memcpy(out, flash->bytes + (offset - flash->base), length);
    return 0;
}

/* A partial erase: some leading bytes erased, the rest anything. */
static void eraseTorn(NorFlash *flash, uint8_t *unit, uint32_t length)
{
    const uint32_t erased = nextRandom(&flash->random) % length;
    memset(unit, 0xFF, erased);
    fillRandom(unit + erased, length - erased, &flash->random);
}

static int eraseFlash(void *context, uint32_t offset, uint32_t length)
{
    NorFlash *flash = context;
    if (length != 4096 && length != 32768 && length != 65536)
        return breakRule(flash, "erase of a length that is no erase unit", offset, length);
    if (offset % length != 0)
        return breakRule(flash, "erase not aligned to its unit", offset, length);
    if (!insideWritable(flash, offset, length))
        return breakRule(flash, "erase outside the new image, scratch and state area", offset, length);
    uint8_t *unit = flash->bytes + (offset - flash->base);
    if (!losesPower(flash, "erase", offset, length)) {
        memset(unit, 0xFF, length);
        return 0;
    }
    if (flash->cutKind == cutInsideCall)
        eraseTorn(flash, unit, length);
    else if (flash->cutKind == cutAfterCall)
        memset(unit, 0xFF, length);
    longjmp(*flash->powerLost, 1);
}

/* A torn program: a leading part written, then some of the bits it was clearing. */
static void programTorn(NorFlash *flash, uint8_t *target, const uint8_t *data, uint32_t length)
{
    const uint32_t done = nextRandom(&flash->random) % length;
    for (uint32_t i = 0; i < length; i++)
        target[i] &= i < done ? data[i] : (uint8_t)(data[i] | nextRandom(&flash->random));
}

static int programFlash(void *context, uint32_t offset, const void *data, uint32_t length)
{
    NorFlash *flash = context;
    if (length == 0 || offset % flash->programUnit != 0 || length % flash->programUnit != 0)
        return breakRule(flash, "program not in whole program units", offset, length);
    if (!insideWritable(flash, offset, length))
        return breakRule(flash, "program outside the new image, scratch and state area", offset, length);
    uint8_t *target = flash->bytes + (offset - flash->base);
    for (uint32_t i = 0; i < length; i++)
        if (target[i] != 0xFF)
            return breakRule(flash, "program over a byte that is not erased", offset + i, length - i);
    if (!losesPower(flash, "program", offset, length)) {
        memcpy(target, data, length);
        return 0;
    }
    if (flash->cutKind == cutInsideCall)
        programTorn(flash, target, data, length);
    else if (flash->cutKind == cutAfterCall)
        memcpy(target, data, length);
    longjmp(*flash->powerLost, 1);
}

FotaFlash norFlashInterface(NorFlash *flash)
{
    FotaFlash callbacks;
    callbacks.context = flash;
    callbacks.read = readFlash;
    callbacks.erase = eraseFlash;
    callbacks.program = programFlash;
    return callbacks;
}

const char *powerCutName(PowerCut kind)
{
    switch (kind) {
    case cutBeforeCall:
        return "before";
    case cutInsideCall:
        return "inside";
    case cutAfterCall:
        return "after";
    }
    return "?";
}
