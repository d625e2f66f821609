/* A NOR flash held in RAM behind the applier's flash callbacks: it enforces
   the flash rules, counts erase and program calls and loses power at a
   chosen call, leaving that call undone, torn or done. */
#ifndef NOR_FLASH_H
#define NOR_FLASH_H

#include <setjmp.h>
#include <stdint.h>

#include "quarnel_apply.h"

#define NOR_NO_CUT UINT32_MAX

typedef enum PowerCut {
    cutBeforeCall, /* the call never acts */
    cutInsideCall, /* a partial erase or a torn program */
    cutAfterCall,  /* the call acted but never returned */
} PowerCut;

typedef struct FlashRange {
    uint32_t offset;
    uint32_t length;
} FlashRange;

enum { norWritableRanges = 3 };

typedef struct NorFlash {
    uint8_t *bytes; /* the flash from offset base on; nothing else of it is modelled */
    uint32_t base;
    uint32_t size;
    FlashRange writable[norWritableRanges]; /* where erase and program may act */
    uint32_t programUnit;
    uint32_t calls;  /* erase and program calls since the caller last cleared it */
    uint32_t cutAt;  /* the call index that loses power, or NOR_NO_CUT */
    PowerCut cutKind;
    jmp_buf *powerLost; /* where a power cut jumps to, out of the callback */
    uint32_t random;    /* seed of torn bytes; never 0 */
    char cutCall[48];   /* the call that lost power, for the report */
    char fault[160];    /* the first broken rule; empty while none */
} NorFlash;

FotaFlash norFlashInterface(NorFlash *flash);

const char *powerCutName(PowerCut kind);

#endif
