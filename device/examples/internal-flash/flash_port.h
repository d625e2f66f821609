/* The applier's flash callbacks, spare area and pack source on the example part. */
#ifndef FLASH_PORT_H
#define FLASH_PORT_H

#include <stdint.h>

#include "quarnel_apply.h"

/* Read, erase, program and sectorAt reach the application's code area, the scratch and the state area only. */
FotaFlash examplePortFlash(void);

FotaSpareArea examplePortSpareArea(void);

/* The pack stored in the download slot, size bytes of it; size must not exceed the slot. */
FotaPackSource examplePortPack(uint32_t size);

/* Reads the mailbox sector; a double word with an ECC event reads as zeros, never as erased. */
int examplePortReadMailbox(uint32_t offset, void *out, uint32_t length);

/* Programs whole double words of the mailbox sector, from erased. */
int examplePortProgramMailbox(uint32_t offset, const void *data, uint32_t length);

#endif
