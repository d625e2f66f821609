/* The NOR flash that every power-cut suite runs the applier on: packcheck
   --power-cuts, the host tests and the emulated board. It is held in memory
   behind the applier's flash callbacks, enforces the flash rules, counts
   erase and program calls and loses power at a chosen call, leaving that call
   undone, torn or done.

   Rules, each broken one refused (nothing carried out, -1 returned) and the
   first recorded in fault:
   - reads stay inside the modelled window; erases and programs inside the
     writable areas;
   - an erase is of 4096, 32768 or 65536 bytes at a multiple of its length, or,
     on flash given a sector map, of whole sectors: from a sector's start to a
     sector's end;
   - a program is of whole program units at a multiple of the unit, and only
     of bytes that a complete erase left erased and that nothing programmed
     since, so no byte is programmed twice between erases.

   Torn calls, drawn from the seed so that a failure reproduces:
   - a torn erase leaves the unit neither erased nor intact (bits on their way
     to 1, a leading part erased and the rest on its way, or the unit
     pre-programmed and partly erased), and nothing in it may be programmed
     before the unit is erased again, whatever its bytes read;
   - a torn program leaves a leading part of the write programmed, some of the
     bits that the program unit in progress was clearing cleared (or none),
     and the bytes after that unit as they were. A byte of the torn unit that
     still reads 0xFF may be programmed again, as nothing tells it apart from
     a byte never programmed. */
#ifndef NOR_FLASH_H
#define NOR_FLASH_H

#include <setjmp.h>
#include <stdint.h>

#include "quarnel_apply.h"

#ifdef __cplusplus
extern "C" {
#endif

#define NOR_NO_CUT UINT32_MAX

typedef enum PowerCut {
    cutBeforeCall, /* the call never acts */
    cutInsideCall, /* a torn erase or a torn program */
    cutAfterCall,  /* the call acted but never returned */
} PowerCut;

typedef struct NorFlashArea {
    uint32_t offset;
    uint32_t length; /* 0: unused */
} NorFlashArea;

enum { norWritableAreas = 3, norSectorRuns = 8 };

/* count sectors of size bytes each, one after another. */
typedef struct NorSectorRun {
    uint32_t count;
    uint32_t size;
} NorSectorRun;

typedef struct NorFlash {
    uint8_t *bytes;    /* the flash from offset base on; nothing else of it is modelled */
    uint8_t *unerased; /* a bit per byte of bytes, (size + 7) / 8 bytes: set while the byte may not be programmed */
    uint32_t base;
    uint32_t size;
    NorFlashArea writable[norWritableAreas]; /* where erase and program may act */
    uint32_t programUnit;
    /* The sector map, runs from offset 0 of the flash on; with none (runCount 0) the flash erases 4, 32 and
       64 KiB units, and the applier is given no sectorAt. */
    NorSectorRun runs[norSectorRuns];
    uint32_t runCount;
    uint32_t calls;     /* erase and program calls since the caller last cleared it */
    uint32_t cutAt;     /* the call index that loses power, or NOR_NO_CUT */
    PowerCut cutKind;
    jmp_buf *powerLost; /* where a power cut jumps to, out of the callback */
    uint32_t random;    /* state of the torn bytes' generator; any value */
    uint32_t faults;    /* broken rules since the last norFlashLoad */
    char cutCall[48];   /* the call that lost power, for the report */
    char fault[160];    /* the first broken rule; empty while none */
} NorFlash;

/* What the loaded bytes have been through. */
typedef enum NorPast {
    norPastUnknown,      /* every byte must be erased before it is programmed */
    norPastErasedAsRead, /* a byte reading 0xFF was erased and not programmed since, as a copy of an earlier model's flash */
} NorPast;

/* Fills the window with size bytes of content and clears the faults; bytes, unerased, base and size must be set. */
void norFlashLoad(NorFlash *flash, const uint8_t *content, NorPast past);

/* The applier's callbacks on this flash, sectorAt among them when it has a sector map; members the model
   does not know are NULL. */
FotaFlash norFlashInterface(NorFlash *flash);

/* The sector of the map that holds offset; -1 when none does. */
int norSectorAt(const NorFlash *flash, uint32_t offset, uint32_t *start, uint32_t *length);

const char *powerCutName(PowerCut kind);

#ifdef __cplusplus
}
#endif

#endif
