/* The flash controller of the example part: a generic memory-mapped internal
   NOR flash controller, described here in full so that the port needs no
   vendor header. Real controllers differ in names and bit positions, rarely
   in the sequence: unlock, start, wait while busy, read the error flags, lock.

   The flash: 1 MiB at 0x08000000, erased to 0xFF, in sectors of three sizes
   (FLASH_SECTOR_RUNS): four of 16 KiB, one of 64 KiB, seven of 128 KiB. A
   sector is the smallest erase; the address register names it by its first
   byte, and an erase takes up to 2 s for 128 KiB. The flash is programmed a
   double word (8 bytes at a multiple of 8) at a time and each double word
   carries ECC: a double word may be programmed once between erases, and a
   program or erase cut by a power loss can leave a double word whose ECC no
   longer matches. One bank: while BUSY is set, a read of the
   flash, an instruction fetch included, ends in a bus fault, so the code that
   runs while the flash is busy must be in RAM. */
#ifndef FLASH_CONTROLLER_H
#define FLASH_CONTROLLER_H

#include <stdint.h>

typedef struct FlashController {
    volatile uint32_t key;     /* 0x00 write FLASH_KEY1 then FLASH_KEY2 to unlock control; reads 0 */
    volatile uint32_t status;  /* 0x04 BUSY, then flags that stay set until written with 1 */
    volatile uint32_t control; /* 0x08 PG, SER, START, LOCK; written only while unlocked */
    volatile uint32_t address; /* 0x0C byte offset from the flash base of the sector to erase */
    volatile uint32_t eccAddress; /* 0x10 offset of the double word of the last ECC event */
    volatile uint32_t cache;   /* 0x14 instruction and data cache of flash reads */
} FlashController;

#define FLASH_CONTROLLER ((FlashController *)0x40022000u)

#define FLASH_KEY1 0x45670123u
#define FLASH_KEY2 0xCDEF89ABu

/* status */
#define FLASH_STATUS_BUSY (1u << 0)      /* an erase or program is under way */
#define FLASH_STATUS_DONE (1u << 1)      /* the last operation ended */
#define FLASH_STATUS_PROG_ERROR (1u << 2) /* a program of a double word not erased */
#define FLASH_STATUS_WRITE_PROTECT (1u << 3) /* the sector is write protected */
#define FLASH_STATUS_ALIGN_ERROR (1u << 4) /* the two words were not one aligned double word */
#define FLASH_STATUS_ERASE_ERROR (1u << 5) /* the erase did not verify */
#define FLASH_STATUS_ECC_CORRECTED (1u << 6) /* a read found one bit wrong and corrected it */
#define FLASH_STATUS_ECC_DETECTED (1u << 7)  /* a read found two or more bits wrong; the data is not corrected */
#define FLASH_STATUS_ERRORS                                                                                    \
    (FLASH_STATUS_PROG_ERROR | FLASH_STATUS_WRITE_PROTECT | FLASH_STATUS_ALIGN_ERROR | FLASH_STATUS_ERASE_ERROR)
#define FLASH_STATUS_ECC (FLASH_STATUS_ECC_CORRECTED | FLASH_STATUS_ECC_DETECTED)

/* control */
#define FLASH_CONTROL_PG (1u << 0)    /* program: the next two word writes into the flash program one double word */
#define FLASH_CONTROL_SER (1u << 1)   /* sector erase of the sector at address */
#define FLASH_CONTROL_START (1u << 2) /* starts the erase */
#define FLASH_CONTROL_LOCK (1u << 31) /* locks control until the next key sequence */

/* cache: a reset empties a cache and is only taken while that cache is disabled */
#define FLASH_CACHE_INSTRUCTION_ON (1u << 0)
#define FLASH_CACHE_DATA_ON (1u << 1)
#define FLASH_CACHE_INSTRUCTION_RESET (1u << 2)
#define FLASH_CACHE_DATA_RESET (1u << 3)

/* The sector table, from the flash base on: runs of sectors of one size. */
typedef struct FlashSectorRun {
    uint32_t count;
    uint32_t bytes;
} FlashSectorRun;

#define FLASH_SECTOR_RUNS {{4u, 0x4000u}, {1u, 0x10000u}, {7u, 0x20000u}}
#define FLASH_SECTOR_RUN_COUNT 3u

#define FLASH_DOUBLE_WORD 8u

#endif
