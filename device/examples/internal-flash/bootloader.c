/* A small bootloader for the example part: at every boot it calls the applier
   while an update is pending, then starts the application.

   The application downloads a pack into the download slot; it erased the
   mailbox sector before the download and, once the pack is stored whole,
   programs the mailbox's first two double words:
     0   "FOTAPEND"
     8   the pack's length (u32, little-endian), then 4 bytes of zeros
     16  the closing double word: erased while the update is pending; the
         bootloader programs it once the update is over, with the applier's
         result (u32) and its complement, so that the application can report
         how the update ended (a word torn by a cut reads as zeros, which no
         result and its complement do). */
#include <stdint.h>
#include <string.h>

#include "board.h"
#include "flash_port.h"
#include "quarnel_apply.h"

/* The applier's work memory (device/README.md, "Work memory"): a fixed buffer, no heap, the same whatever the
   pack; FotaApplyQuery takes the same. */
static uint8_t work[FOTA_APPLY_WORK_SIZE];

static const uint8_t pendingMagic[8] = {'F', 'O', 'T', 'A', 'P', 'E', 'N', 'D'};

enum { closingOffset = 16, descriptorBytes = 24 };

#define SCB_VTOR (*(volatile uint32_t *)0xE000ED08u)

/* The pending pack's length, or 0 when no update is pending. */
static uint32_t pendingPackLength(void)
{
    uint8_t descriptor[descriptorBytes];
    uint32_t length;
    int i;
    if (examplePortReadMailbox(MAILBOX_OFFSET, descriptor, sizeof descriptor) != 0 ||
        memcmp(descriptor, pendingMagic, sizeof pendingMagic) != 0)
        return 0;
    /* A closing word that a cut tore reads as zeros (flash_port.c), so it counts as programmed. */
    for (i = closingOffset; i < descriptorBytes; i++)
        if (descriptor[i] != 0xFF)
            return 0;
    length = (uint32_t)descriptor[8] | (uint32_t)descriptor[9] << 8 | (uint32_t)descriptor[10] << 16 |
             (uint32_t)descriptor[11] << 24;
    return length <= PACK_BYTES ? length : 0;
}

static void closeUpdate(int result)
{
    const uint32_t code = (uint32_t)result;
    const uint8_t closing[8] = {(uint8_t)code, (uint8_t)(code >> 8), (uint8_t)(code >> 16), (uint8_t)(code >> 24),
                                (uint8_t)~code, (uint8_t)(~code >> 8), (uint8_t)(~code >> 16), (uint8_t)(~code >> 24)};
    (void)examplePortProgramMailbox(MAILBOX_OFFSET + closingOffset, closing, sizeof closing);
}

/* The applier reports at least once per 4 KiB programmed, per erase and per 64 KiB decoded: the watchdog is fed
   here, and a product could show done / total. */
static void feedOnProgress(void *context, uint32_t done, uint32_t total)
{
    (void)context;
    (void)done;
    (void)total;
    WATCHDOG_KEY = WATCHDOG_RELOAD;
}

/* 14 to 18 and 22 come only once the update has begun. Any other failure says that this call wrote nothing,
   not that no earlier boot did: a pack damaged or replaced half way is refused as it stands, with the image
   half written, so the records decide. A query that refuses too cannot tell, and the image check decides. */
static int staysPending(int result, const FotaFlash *flash, const FotaPackSource *pack, const FotaSpareArea *spare)
{
    FotaApplyStatus status;
    if (result == FOTA_APPLY_OK)
        return 0;
    if ((result >= FOTA_APPLY_FLASH_READ_FAILED && result <= FOTA_APPLY_TARGET_MISMATCH) ||
        result == FOTA_APPLY_PACK_CHANGED)
        return 1;
    return FotaApplyQuery(flash, pack, spare, work, sizeof work, &status) == 0 &&
           status.state == FOTA_STATE_IN_PROGRESS;
}

/* Returns whether the update stays pending; *result is the applier's. */
static int applyPendingUpdate(uint32_t packLength, int *result)
{
    FotaFlash flash = examplePortFlash();
    const FotaSpareArea spare = examplePortSpareArea();
    const FotaPackSource pack = examplePortPack(packLength);
    flash.progress = feedOnProgress;
    *result = FotaApplyPack(&flash, &pack, &spare, work, sizeof work);
    return staysPending(*result, &flash, &pack, &spare);
}

/* Only a sanity check of the vector table. A product checks the image's checksum or signature here: a pack
   damaged half way through an update is refused, and leaves a half-written image behind. */
static int applicationLooksBootable(const uint32_t *vectors)
{
    const uint32_t stack = vectors[0];
    const uint32_t reset = vectors[1];
    return stack > RAM_BASE_ADDRESS && stack <= RAM_BASE_ADDRESS + RAM_BYTES && (reset & 1u) != 0 &&
           reset > FLASH_BASE_ADDRESS + APP_OFFSET && reset < FLASH_BASE_ADDRESS + APP_OFFSET + APP_BYTES;
}

static void startApplication(const uint32_t *vectors)
{
    SCB_VTOR = FLASH_BASE_ADDRESS + APP_OFFSET;
    __asm__ volatile("msr msp, %0\n\tbx %1\n" : : "r"(vectors[0]), "r"(vectors[1]) : "memory");
}

int main(void)
{
    const uint32_t *const vectors = (const uint32_t *)(FLASH_BASE_ADDRESS + APP_OFFSET);
    uint32_t packLength;
    /* Nothing may run from the flash while it is busy, so no interrupt handler either; the application
       enables interrupts again. */
    __asm__ volatile("cpsid i" : : : "memory");
    packLength = pendingPackLength();
    if (packLength != 0) {
        int result;
        /* Pending: the image may be half written. The records keep the progress and the next boot goes on from
           there, so nothing is started until the watchdog, fed nowhere here, resets the part. */
        if (applyPendingUpdate(packLength, &result)) {
            for (;;) {
            }
        }
        /* Finished, or nothing under way: the update is over either way, and its result is reported. */
        closeUpdate(result);
    }
    if (applicationLooksBootable(vectors))
        startApplication(vectors);
    for (;;) {
    }
}
