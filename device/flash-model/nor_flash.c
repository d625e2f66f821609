#include "nor_flash.h"

#include <stdio.h>
#include <string.h>

/* A counter through a 32-bit finaliser: any seed works, 0 included. */
static uint32_t nextRandom(NorFlash *flash)
{
    uint32_t z = (flash->random += 0x9E3779B9u);
    z = (z ^ (z >> 16)) * 0x85EBCA6Bu;
    z = (z ^ (z >> 13)) * 0xC2B2AE35u;
    return z ^ (z >> 16);
}

static int isUnerased(const NorFlash *flash, uint32_t index)
{
    return (flash->unerased[index >> 3] >> (index & 7u)) & 1u;
}

static void markUnerased(NorFlash *flash, uint32_t index, int unerased)
{
    const uint8_t bit = (uint8_t)(1u << (index & 7u));
    if (unerased)
        flash->unerased[index >> 3] |= bit;
    else
        flash->unerased[index >> 3] &= (uint8_t)~bit;
}

static void markRange(NorFlash *flash, uint32_t index, uint32_t length, int unerased)
{
    for (uint32_t i = 0; i < length; i++)
        markUnerased(flash, index + i, unerased);
}

static int breakRule(NorFlash *flash, const char *rule, uint32_t offset, uint32_t length)
{
    if (flash->fault[0] == '\0')
        snprintf(flash->fault, sizeof flash->fault, "%s (call %lu at 0x%lx, %lu bytes)", rule,
                 (unsigned long)flash->calls, (unsigned long)offset, (unsigned long)length);
    flash->faults++;
    return -1;
}

static int insideWindow(const NorFlash *flash, uint32_t offset, uint32_t length)
{
    return offset >= flash->base && offset - flash->base <= flash->size &&
           length <= flash->size - (offset - flash->base);
}

static int insideWritable(const NorFlash *flash, uint32_t offset, uint32_t length)
{
    if (!insideWindow(flash, offset, length))
        return 0;
    for (int i = 0; i < norWritableAreas; i++) {
        const NorFlashArea *area = &flash->writable[i];
        if (area->length != 0 && offset >= area->offset && offset - area->offset <= area->length &&
            length <= area->length - (offset - area->offset))
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

void norFlashLoad(NorFlash *flash, const uint8_t *content, NorPast past)
{
    if (content != flash->bytes)
        memcpy(flash->bytes, content, flash->size);
    memset(flash->unerased, 0xFF, (flash->size + 7u) / 8u);
    if (past == norPastErasedAsRead)
        for (uint32_t i = 0; i < flash->size; i++)
            markUnerased(flash, i, flash->bytes[i] != 0xFF);
    flash->faults = 0;
    flash->fault[0] = '\0';
}

static int readFlash(void *context, uint32_t offset, void *out, uint32_t length)
{
    NorFlash *flash = context;
    if (!insideWindow(flash, offset, length))
        return breakRule(flash, "read outside the modelled flash", offset, length);
    memcpy(out, flash->bytes + (offset - flash->base), length);
    return 0;
}

/* Neither erased nor intact: one byte (keep) holds a cleared bit, another (change) differs from before. */
static void eraseTorn(NorFlash *flash, uint8_t *unit, uint32_t length)
{
    const uint32_t keep = nextRandom(flash) % length;
    const uint32_t change = (keep + 1u + nextRandom(flash) % (length - 1u)) % length;
    const uint8_t before = unit[change];
    const uint32_t shape = nextRandom(flash) % 3u;
    if (shape == 0) {
        /* The erase pulses under way: every byte has some of its cleared bits set again. */
        for (uint32_t i = 0; i < length; i++)
            unit[i] |= (uint8_t)nextRandom(flash);
    } else if (shape == 1) {
        /* Erased from the start up to some byte, the rest on its way. */
        const uint32_t erased = nextRandom(flash) % length;
        memset(unit, 0xFF, erased);
        for (uint32_t i = erased; i < length; i++)
            unit[i] |= (uint8_t)nextRandom(flash);
    } else {
        /* Pre-programmed, then cut during the erase: any bytes at all. */
        for (uint32_t i = 0; i < length; i++)
            unit[i] = (uint8_t)nextRandom(flash);
    }
    if (unit[keep] == 0xFF)
        unit[keep] &= (uint8_t)~(1u << (nextRandom(flash) % 8u));
    if (unit[change] == before)
        unit[change] ^= (uint8_t)(1u << (nextRandom(flash) % 8u));
}

int norSectorAt(const NorFlash *flash, uint32_t offset, uint32_t *start, uint32_t *length)
{
    uint64_t at = 0;
    for (uint32_t r = 0; r < flash->runCount; r++) {
        const uint64_t runEnd = at + (uint64_t)flash->runs[r].count * flash->runs[r].size;
        if (offset < runEnd) {
            *start = (uint32_t)(at + (offset - at) / flash->runs[r].size * flash->runs[r].size);
            *length = flash->runs[r].size;
            return 0;
        }
        at = runEnd;
    }
    return -1;
}

static int sectorAtCallback(void *context, uint32_t offset, uint32_t *start, uint32_t *length)
{
    return norSectorAt(context, offset, start, length);
}

/* Whether [offset, offset + length) is whole sectors of the map. */
static int wholeSectors(const NorFlash *flash, uint32_t offset, uint32_t length)
{
    uint32_t start;
    uint32_t size;
    if (length == 0 || norSectorAt(flash, offset, &start, &size) != 0 || start != offset)
        return 0;
    if (norSectorAt(flash, offset + length - 1u, &start, &size) != 0)
        return 0;
    return (uint64_t)start + size == (uint64_t)offset + length;
}

static int eraseFlash(void *context, uint32_t offset, uint32_t length)
{
    NorFlash *flash = context;
    if (flash->runCount > 0) {
        if (!wholeSectors(flash, offset, length))
            return breakRule(flash, "erase of part of a sector", offset, length);
    } else if (length != 4096 && length != 32768 && length != 65536) {
        return breakRule(flash, "erase of a length that is no erase unit", offset, length);
    } else if (offset % length != 0) {
        return breakRule(flash, "erase not aligned to its unit", offset, length);
    }
    if (!insideWritable(flash, offset, length))
        return breakRule(flash, "erase outside the writable areas", offset, length);
    const uint32_t index = offset - flash->base;
    uint8_t *unit = flash->bytes + index;
    if (!losesPower(flash, "erase", offset, length)) {
        memset(unit, 0xFF, length);
        markRange(flash, index, length, 0);
        return 0;
    }
    if (flash->cutKind == cutInsideCall) {
        eraseTorn(flash, unit, length);
        markRange(flash, index, length, 1);
    } else if (flash->cutKind == cutAfterCall) {
        memset(unit, 0xFF, length);
        markRange(flash, index, length, 0);
    }
    longjmp(*flash->powerLost, 1);
}

/* Programmed up to some byte; the rest of the program unit in progress has some of its bits cleared, or none. */
static void programTorn(NorFlash *flash, uint32_t index, const uint8_t *data, uint32_t length)
{
    uint8_t *target = flash->bytes + index;
    const uint32_t units = length / flash->programUnit;
    /* A quarter of the tears fall between units, so a record slot is often left as it was. */
    const uint32_t done = nextRandom(flash) % 4u == 0 ? nextRandom(flash) % units * flash->programUnit
                                                      : nextRandom(flash) % length;
    const uint32_t unitEnd = (done / flash->programUnit + 1u) * flash->programUnit;
    const int weak = nextRandom(flash) % 4u != 0;
    memcpy(target, data, done);
    markRange(flash, index, done, 1);
    for (uint32_t i = done; i < unitEnd && weak; i++) {
        target[i] &= (uint8_t)(data[i] | nextRandom(flash));
        markUnerased(flash, index + i, target[i] != 0xFF);
    }
}

static int programFlash(void *context, uint32_t offset, const void *data, uint32_t length)
{
    NorFlash *flash = context;
    if (length == 0 || offset % flash->programUnit != 0 || length % flash->programUnit != 0)
        return breakRule(flash, "program not in whole program units", offset, length);
    if (!insideWritable(flash, offset, length))
        return breakRule(flash, "program outside the writable areas", offset, length);
    const uint32_t index = offset - flash->base;
    for (uint32_t i = 0; i < length; i++) {
        if (flash->bytes[index + i] != 0xFF)
            return breakRule(flash, "program over a byte that is not erased", offset + i, length - i);
        if (isUnerased(flash, index + i))
            return breakRule(flash, "program of a byte not erased since it was programmed or its erase was cut",
                             offset + i, length - i);
    }
    if (!losesPower(flash, "program", offset, length)) {
        memcpy(flash->bytes + index, data, length);
        markRange(flash, index, length, 1);
        return 0;
    }
    if (flash->cutKind == cutInsideCall)
        programTorn(flash, index, data, length);
    else if (flash->cutKind == cutAfterCall) {
        memcpy(flash->bytes + index, data, length);
        markRange(flash, index, length, 1);
    }
    longjmp(*flash->powerLost, 1);
}

FotaFlash norFlashInterface(NorFlash *flash)
{
    FotaFlash callbacks;
    memset(&callbacks, 0, sizeof callbacks);
    callbacks.context = flash;
    callbacks.read = readFlash;
    callbacks.erase = eraseFlash;
    callbacks.program = programFlash;
    if (flash->runCount > 0)
        callbacks.sectorAt = sectorAtCallback;
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
