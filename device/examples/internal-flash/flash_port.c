/* The applier's flash callbacks for the example part's internal flash
   (flash_controller.h). The bootloader runs with interrupts disabled, so
   nothing but the functions marked RAM_FUNCTION runs while the flash is busy. */
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

/* The applier asks for 4, 32 or 64 KiB; a sector here is 8 KiB. */
static int portErase(void *context, uint32_t offset, uint32_t length)
{
    const uint32_t first = offset / FLASH_SECTOR_BYTES * FLASH_SECTOR_BYTES;
    const uint32_t end = (offset + length + FLASH_SECTOR_BYTES - 1u) / FLASH_SECTOR_BYTES * FLASH_SECTOR_BYTES;
    uint32_t sector;
    (void)context;
    if (inside(offset, length, APP_OFFSET, APP_BYTES)) {
        /* In the image a whole sector would take part of a neighbouring chunk with it, done or still a source. */
        if (first != offset || end != offset + length)
            return -1;
    } else if (!inside(first, end - first, SCRATCH_OFFSET, SCRATCH_BYTES) &&
               !inside(first, end - first, STATE_OFFSET, STATE_BYTES)) {
        return -1;
    }
    /* Erasing more of the scratch or the state area than asked is safe: see the porting guide. */
    /* The applier's progress callback comes after the whole call: a 64 KiB erase is eight sectors. */
    for (sector = first; sector < end; sector += FLASH_SECTOR_BYTES) {
        feedWatchdog();
        if (eraseSector(sector) != 0)
            return -1;
    }
    return 0;
}

static int portProgram(void *context, uint32_t offset, const void *data, uint32_t length)
{
    (void)context;
    if (offset % FLASH_DOUBLE_WORD != 0 || length % FLASH_DOUBLE_WORD != 0)
        return -1;
    if (!inside(offset, length, APP_OFFSET, APP_BYTES) && !inside(offset, length, SCRATCH_OFFSET, SCRATCH_BYTES) &&
        !inside(offset, length, STATE_OFFSET, STATE_BYTES))
        return -1;
    return programDoubleWords(offset, data, length);
}

int examplePortProgramMailbox(uint32_t offset, const void *data, uint32_t length)
{
    if (offset % FLASH_DOUBLE_WORD != 0 || length % FLASH_DOUBLE_WORD != 0 ||
        !inside(offset, length, MAILBOX_OFFSET, FLASH_SECTOR_BYTES))
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

int examplePortRead(void *context, uint32_t offset, void *out, uint32_t length)
{
    FlashController *const controller = FLASH_CONTROLLER;
    int result = 0;
    (void)context;
    if (!inside(offset, length, 0, FLASH_BYTES))
        return -1;
    if (inside(offset, length, STATE_OFFSET, STATE_BYTES) || inside(offset, length, MAILBOX_OFFSET, FLASH_SECTOR_BYTES))
        return readRecords(offset, out, length);
    /* Elsewhere a corrected bit is only a worn cell; an uncorrectable double word fails the call. */
    controller->status = FLASH_STATUS_ECC;
    memcpy(out, (const void *)(uintptr_t)(FLASH_BASE_ADDRESS + offset), length);
    if (controller->status & FLASH_STATUS_ECC_DETECTED)
        result = -1;
    controller->status = FLASH_STATUS_ECC;
    return result;
}

FotaFlash examplePortFlash(void)
{
    FotaFlash flash;
    /* Members this port does not set stay NULL. */
    memset(&flash, 0, sizeof flash);
    flash.read = examplePortRead;
    flash.erase = portErase;
    flash.program = portProgram;
    return flash;
}

FotaSpareArea examplePortSpareArea(void)
{
    FotaSpareArea spare;
    spare.scratchOffset = SCRATCH_OFFSET;
    spare.stateOffset = STATE_OFFSET;
    spare.stateLength = STATE_BYTES;
    spare.programUnit = programUnit;
    return spare;
}
