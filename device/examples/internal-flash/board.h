/* The example part's memory map and how the bootloader divides its flash.
   Offsets count from the flash base, as the applier's do; the sectors are
   flash_controller.h's: 16 KiB x 4, 64 KiB, 128 KiB x 7.

     0x00000  16K x 2   the bootloader
     0x08000  16K       the mailbox
     0x0C000  16K       the applier's state area
     0x10000  64K, 128K x 4   the application's code area
     0xA0000  128K x 2  the download slot
     0xE0000  128K      the applier's scratch */
#ifndef BOARD_H
#define BOARD_H

#include <stdint.h>

#define FLASH_BASE_ADDRESS 0x08000000u
#define FLASH_BYTES 0x100000u
#define RAM_BASE_ADDRESS 0x20000000u
#define RAM_BYTES 0x60000u

/* The core boots from the first sector. The port refuses every erase and program here, and its sectorAt names
   no sector here, so no pack can reach it. Two small sectors are enough for the bootloader and the applier. */
#define BOOTLOADER_OFFSET 0x0u
#define BOOTLOADER_BYTES 0x8000u
/* The pending update's descriptor (bootloader.c). A sector of its own: the application erases it before every
   download, and the applier erases the state area at the start of every update; sharing a sector, either would
   wipe the other's record, and a lost descriptor would let the bootloader start a half-written image. */
#define MAILBOX_OFFSET 0x8000u
#define MAILBOX_BYTES 0x4000u
/* The applier's records: 48 + 2 x 8 bytes per chunk, at most 2352 for the code area in 4 KiB chunks. It is
   erased whole at the start of each update, so it must be whole sectors apart from anything else; a small one
   costs the least time. */
#define STATE_OFFSET 0xC000u
#define STATE_BYTES 0x4000u
/* Packs are made with codebase 0x10000, the first sector past the small ones. A group of chunks in one sector is
   rebuilt whole through the scratch, the sector's bytes outside the new image carried over, so images of any
   multiple of 4 KiB fit without padding. */
#define APP_OFFSET 0x10000u
#define APP_BYTES 0x90000u
/* The application stores the pack here; the applier reads it through its own callback only, so it is outside
   the flash the update may touch, which a pack naming it cannot change. */
#define PACK_OFFSET 0xA0000u
#define PACK_BYTES 0x40000u
/* A group is rebuilt here before its sectors are erased, so the scratch must be as large as the largest of them,
   128 KiB, and whole sectors of its own: only the 128 KiB sectors can hold it. It is erased once per group that
   changes, at most five times per update (the 64 KiB sector and four of 128 KiB). */
#define SCRATCH_OFFSET 0xE0000u
#define SCRATCH_BYTES 0x20000u

/* The independent watchdog: writing the reload key restarts its count (a few seconds). */
#define WATCHDOG_KEY (*(volatile uint32_t *)0x40003000u)
#define WATCHDOG_RELOAD 0x0000AAAAu

#endif
