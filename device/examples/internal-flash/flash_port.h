/* The applier's flash callbacks and spare area on the example part. */
#ifndef FLASH_PORT_H
#define FLASH_PORT_H

#include <stdint.h>

#include "quarnel_apply.h"

/* Erase and program reach the application's code area, the scratch and the state area only. */
FotaFlash examplePortFlash(void);

FotaSpareArea examplePortSpareArea(void);

/* The read callback, for the bootloader's own reads too: in the state area and the mailbox, a
   double word with an ECC event reads as zeros, never as erased. */
int examplePortRead(void *context, uint32_t offset, void *out, uint32_t length);

/* Programs whole double words of the mailbox sector, from erased. */
int examplePortProgramMailbox(uint32_t offset, const void *data, uint32_t length);

#endif
