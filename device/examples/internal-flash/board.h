/* The example part's memory map and how the bootloader divides its flash.
   Offsets count from the flash base, as the applier's do. */
#ifndef BOARD_H
#define BOARD_H

#include <stdint.h>

#define FLASH_BASE_ADDRESS 0x08000000u
#define FLASH_BYTES 0x100000u
#define RAM_BASE_ADDRESS 0x20000000u
#define RAM_BYTES 0x60000u

/* 0x00000 the bootloader, which the update never writes */
#define APP_OFFSET 0x10000u /* the application's code area: packs are made with codebase 0x10000 */
#define APP_BYTES 0xA0000u  /* 640 KiB; images are padded to a multiple of 32 KiB (see flash_port.c) */
#define PACK_OFFSET 0xB0000u /* the download slot: the application stores the pack here */
#define PACK_BYTES 0x2C000u
#define MAILBOX_OFFSET 0xDC000u /* one sector: the pending update's descriptor, see bootloader.c */
#define STATE_OFFSET 0xDE000u   /* the applier's state area: one 8 KiB sector */
#define STATE_BYTES 0x2000u
#define SCRATCH_OFFSET 0xE0000u /* the applier's scratch: 64 KiB at a multiple of 64 KiB */
#define SCRATCH_BYTES 0x10000u
/* 0xF0000 to the end: the application's own data, which the update never writes */

/* The independent watchdog: writing the reload key restarts its count (a few seconds). */
#define WATCHDOG_KEY (*(volatile uint32_t *)0x40003000u)
#define WATCHDOG_RELOAD 0x0000AAAAu

#endif
