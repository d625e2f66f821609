/* The applier's flash callbacks for the example part's internal flash
   (flash_controller.h). The bootloader runs with interrupts disabled, so
   nothing but the functions marked RAM_FUNCTION runs while the flash is busy.

   FotaApplyPack takes the pack's word for where to erase, program and read:
   an unsigned pack may name the bootloader's own sectors, or offsets near
   2^32. These callbacks are therefore the boundary: read, erase, program and
   sectorAt refuse every offset outside the flash the update may touch, the
   code area, the scratch and the state area (board.h), and the applier turns
   such a pack down. The pack itself is read through its own callback, from
   the download slot only. */
#include "flash_port.h"

#include <string.h>

#include "board.h"
#include "flash_controller.h"

/* Copied to RAM at reset (example_device.ld, startup.c); long_call, as RAM lies beyond a branch's reach from flash. */
#define RAM_FUNCTION __attribute__((section(".ramfunc"), long_call, noinline))

/* The program unit the applier is given: the ECC word, so that no two records ever share a double word. */
enum { programUnit = FLASH_DOUBLE_WORD };

static int inside(uint32_t offset, uint32_t length, uint32_t areaOffset, uint32_t areaLength)
{
    return offset >= areaOffset && offset - areaOffset <= areaLength && length <= areaLength - (offset - areaOffset);
}

static const FlashSectorRun sectorRuns[FLASH_SECTOR_RUN_COUNT] = FLASH_SECTOR_RUNS;

/* The flash the update may touch: a request must lie wholly inside one of its areas. */
static int insideUpdateAreas(uint32_t offset, uint32_t length)
{
    return inside(offset, length, APP_OFFSET, APP_BYTES) || inside(offset, length, SCRATCH_OFFSET, SCRATCH_BYTES) ||
           inside(offset, length, STATE_OFFSET, STATE_BYTES);
}

/* The controller's sector that holds offset; -1 past the end of the flash. */
static int sectorHolding(uint32_t offset, uint32_t *start, uint32_t *length)
{
    uint32_t runStart = 0;
    uint32_t run;
    for (run = 0; run < FLASH_SECTOR_RUN_COUNT; run++) {
        const uint32_t runBytes = sectorRuns[run].count * sectorRuns[run].bytes;
        /* Past the runs before, so offset - runStart does not wrap. */
        if (offset - runStart < runBytes) {
            *start = runStart + (offset - runStart) / sectorRuns[run].bytes * sectorRuns[run].bytes;
            *length = sectorRuns[run].bytes;
            return 0;
        }
        runStart += runBytes;
    }
    return -1;
}

static void feedWatchdog(void)
{
    WATCHDOG_KEY = WATCHDOG_RELOAD;
}

/* Empties both flash caches, or the read-back after an erase or program could be served old bytes. */
static RAM_FUNCTION void resetFlashCaches(FlashController *controller)
{
    const uint32_t enabled = controller->cache & (FLASH_CACHE_INSTRUCTION_ON | FLASH_CACHE_DATA_ON);
    controller->cache = 0;
    controller->cache = FLASH_CACHE_INSTRUCTION_RESET | FLASH_CACHE_DATA_RESET;
    controller->cache = 0;
    controller->cache = enabled;
}

/* Waits for the operation to end, clears its flags and locks the controller again; -1 on any error flag. */
static RAM_FUNCTION int finishOperation(FlashController *controller)
{
    uint32_t errors;
    while (controller->status & FLASH_STATUS_BUSY) {
    }
    errors = controller->status & FLASH_STATUS_ERRORS;
    controller->status = errors | FLASH_STATUS_DONE;
    controller->control = FLASH_CONTROL_LOCK;
    resetFlashCaches(controller);
    return errors == 0 ? 0 : -1;
}

static RAM_FUNCTION void unlock(FlashController *controller)
{
    controller->key = FLASH_KEY1;
    controller->key = FLASH_KEY2;
    controller->status = FLASH_STATUS_ERRORS | FLASH_STATUS_DONE;
}

static RAM_FUNCTION int eraseSector(uint32_t offset)
{
    FlashController *const controller = FLASH_CONTROLLER;
    unlock(controller);
    controller->address = offset;
    controller->control = FLASH_CONTROL_SER;
    controller->control = FLASH_CONTROL_SER | FLASH_CONTROL_START;
    return finishOperation(controller);
}

/* Whole double words; the two word writes of each start its program, which ends before the next begins. */
static RAM_FUNCTION int programDoubleWords(uint32_t offset, const uint8_t *data, uint32_t length)
{
    FlashController *const controller = FLASH_CONTROLLER;
    volatile uint32_t *target = (volatile uint32_t *)(FLASH_BASE_ADDRESS + offset);
    uint32_t done;
    int result = 0;
    for (done = 0; done < length && result == 0; done += FLASH_DOUBLE_WORD, data += FLASH_DOUBLE_WORD) {
        /* Assembled here, not by memcpy: nothing in flash may be called while it is busy. */
        const uint32_t low = (uint32_t)data[0] | (uint32_t)data[1] << 8 | (uint32_t)data[2] << 16 |
                             (uint32_t)data[3] << 24;
        const uint32_t high = (uint32_t)data[4] | (uint32_t)data[5] << 8 | (uint32_t)data[6] << 16 |
                              (uint32_t)data[7] << 24;
        unlock(controller);
        controller->control = FLASH_CONTROL_PG;
        target[0] = low;
        target[1] = high;
        result = finishOperation(controller);
        target += 2;
    }
    return result;
}

/* The sectors the update may erase: none of the bootloader's, the mailbox's or the download slot's, so that a
   pack naming them is refused before the first write (23). */
static int portSectorAt(void *context, uint32_t offset, uint32_t *start, uint32_t *length)
{
    (void)context;
    if (sectorHolding(offset, start, length) != 0 || !insideUpdateAreas(*start, *length))
        return -1;
    return 0;
}

/* Whole sectors from offset to offset + length, one or more, as the applier asks once it has sectorAt; anything
   else is refused before a single sector is erased. */
static int portErase(void *context, uint32_t offset, uint32_t length)
{
    uint32_t at;
    uint32_t start;
    uint32_t bytes = 0;
    (void)context;
    if (length == 0 || !insideUpdateAreas(offset, length))
        return -1;
    for (at = offset; at - offset < length; at += bytes)
        if (sectorHolding(at, &start, &bytes) != 0 || start != at || bytes > length - (at - offset))
            return -1;
    for (at = offset; at - offset < length; at += bytes) {
        (void)sectorHolding(at, &start, &bytes);
        /* A 128 KiB sector takes up to 2 s, and one request may hold several: the watchdog is fed before each. */
        feedWatchdog();
        if (eraseSector(at) != 0)
            return -1;
    }
    return 0;
}

static int portProgram(void *context, uint32_t offset, const void *data, uint32_t length)
{
    (void)context;
    if (offset % FLASH_DOUBLE_WORD != 0 || length % FLASH_DOUBLE_WORD != 0 || !insideUpdateAreas(offset, length))
        return -1;
    return programDoubleWords(offset, data, length);
}

int examplePortProgramMailbox(uint32_t offset, const void *data, uint32_t length)
{
    if (offset % FLASH_DOUBLE_WORD != 0 || length % FLASH_DOUBLE_WORD != 0 ||
        !inside(offset, length, MAILBOX_OFFSET, MAILBOX_BYTES))
        return -1;
    return programDoubleWords(offset, data, length);
}

/* A double word that a cut left half programmed may read as erased, or fail its ECC; either way it was started. */
static int readRecords(uint32_t offset, uint8_t *out, uint32_t length)
{
    FlashController *const controller = FLASH_CONTROLLER;
    while (length > 0) {
        const uint32_t word = offset / FLASH_DOUBLE_WORD * FLASH_DOUBLE_WORD;
        const uint32_t skip = offset - word;
        const uint32_t piece = length < FLASH_DOUBLE_WORD - skip ? length : FLASH_DOUBLE_WORD - skip;
        controller->status = FLASH_STATUS_ECC;
        memcpy(out, (const void *)(uintptr_t)(FLASH_BASE_ADDRESS + offset), piece);
        if (controller->status & FLASH_STATUS_ECC) {
            controller->status = FLASH_STATUS_ECC;
            memset(out, 0, piece);
        }
        offset += piece;
        out += piece;
        length -= piece;
    }
    return 0;
}

/* Elsewhere the bytes read were written whole: a corrected bit is only a worn cell, an uncorrectable double word
   fails the call. */
static int readWritten(uint32_t offset, void *out, uint32_t length)
{
    FlashController *const controller = FLASH_CONTROLLER;
    int result = 0;
    controller->status = FLASH_STATUS_ECC;
    memcpy(out, (const void *)(uintptr_t)(FLASH_BASE_ADDRESS + offset), length);
    if (controller->status & FLASH_STATUS_ECC_DETECTED)
        result = -1;
    controller->status = FLASH_STATUS_ECC;
    return result;
}

static int portRead(void *context, uint32_t offset, void *out, uint32_t length)
{
    (void)context;
    if (!insideUpdateAreas(offset, length))
        return -1;
    if (inside(offset, length, STATE_OFFSET, STATE_BYTES))
        return readRecords(offset, out, length);
    return readWritten(offset, out, length);
}

int examplePortReadMailbox(uint32_t offset, void *out, uint32_t length)
{
    if (!inside(offset, length, MAILBOX_OFFSET, MAILBOX_BYTES))
        return -1;
    return readRecords(offset, out, length);
}

static int readPack(void *context, uint32_t offset, void *out, uint32_t length)
{
    (void)context;
    if (offset > PACK_BYTES || length > PACK_BYTES - offset)
        return -1;
    return readWritten(PACK_OFFSET + offset, out, length);
}

FotaFlash examplePortFlash(void)
{
    FotaFlash flash;
    /* Members this port does not set stay NULL. */
    memset(&flash, 0, sizeof flash);
    flash.read = portRead;
    flash.erase = portErase;
    flash.program = portProgram;
    flash.sectorAt = portSectorAt;
    return flash;
}

FotaSpareArea examplePortSpareArea(void)
{
    FotaSpareArea spare;
    spare.scratchOffset = SCRATCH_OFFSET;
    spare.stateOffset = STATE_OFFSET;
    spare.stateLength = STATE_BYTES;
    spare.programUnit = programUnit;
    spare.scratchLength = SCRATCH_BYTES;
    return spare;
}

FotaPackSource examplePortPack(uint32_t size)
{
    FotaPackSource pack;
    pack.context = 0;
    pack.size = size;
    pack.read = readPack;
    return pack;
}
