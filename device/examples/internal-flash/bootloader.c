/* A small bootloader for the example part: at every boot it calls the applier
   while an update is pending, then starts the application.

   The application downloads a pack into the download slot; it erased the
   mailbox sector before the download and, once the pack is stored whole,
   programs the mailbox's first two double words:
     0   "FOTAPEND"
     8   the pack's length (u32, little-endian), then 4 bytes of zeros
     16  the closing double word: erased while the update is pending; the
         bootloader programs it once the update is over. */
#include <stdint.h>
#include <string.h>

#include "board.h"
#include "flash_port.h"
#include "quarnel_apply.h"

/* The applier's work memory (device/README.md, "Work memory"): a fixed buffer, no heap. */
static uint8_t work[320u * 1024u];

static const uint8_t pendingMagic[8] = {'F', 'O', 'T', 'A', 'P', 'E', 'N', 'D'};

enum { closingOffset = 16, descriptorBytes = 24 };

#define SCB_VTOR (*(volatile uint32_t *)0xE000ED08u)

static int readPack(void *context, uint32_t offset, void *out, uint32_t length)
{
    (void)context;
    if (offset > PACK_BYTES || length > PACK_BYTES - offset)
        return -1;
    return examplePortRead(0, PACK_OFFSET + offset, out, length);
}

/* The pending pack's length, or 0 when no update is pending. */
static uint32_t pendingPackLength(void)
{
    uint8_t descriptor[descriptorBytes];
    uint32_t length;
    int i;
    if (examplePortRead(0, MAILBOX_OFFSET, descriptor, sizeof descriptor) != 0 ||
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

static void closeUpdate(void)
{
    static const uint8_t zeros[8] = {0};
    (void)examplePortProgramMailbox(MAILBOX_OFFSET + closingOffset, zeros, sizeof zeros);
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

static int applyPendingUpdate(uint32_t packLength)
{
    FotaFlash flash = examplePortFlash();
    const FotaSpareArea spare = examplePortSpareArea();
    FotaPackSource pack;
    pack.context = 0;
    pack.size = packLength;
    pack.read = readPack;
    flash.progress = feedOnProgress;
    return FotaApplyPack(&flash, &pack, &spare, work, sizeof work);
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
        const int result = applyPendingUpdate(packLength);
        /* 14 to 18: a flash fault part way; the records keep the progress and the next boot goes on from there,
           so nothing is started until the watchdog resets the part. */
        if (result >= FOTA_APPLY_FLASH_READ_FAILED && result <= FOTA_APPLY_TARGET_MISMATCH) {
            for (;;) {
            }
        }
        /* 0: the new image is in flash. Any other code: refused before a single erase or program, so this call changed
           nothing and the pack as it is will never apply. Either way the update is over. */
        closeUpdate();
    }
    if (applicationLooksBootable(vectors))
        startApplication(vectors);
    for (;;) {
    }
}
