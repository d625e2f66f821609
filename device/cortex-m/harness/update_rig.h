/* One update under test: the flash, the pack, the spare area and the work
   memory, and the runs of the applier with power cuts and resumes. */
#ifndef UPDATE_RIG_H
#define UPDATE_RIG_H

#include <stddef.h>
#include <stdint.h>

#include "nor_flash.h"
#include "quarnel_apply.h"

typedef struct PackBytes {
    const uint8_t *bytes;
    uint32_t size;
    uint32_t bytesRead; /* by the applier since the count was last cleared */
    uint32_t reads;     /* read calls since the count was last cleared */
    /* When set, the store holds these bytes, another pack of the same size, from read call swapAtRead on. */
    const uint8_t *swapTo;
    uint32_t swapAtRead;
} PackBytes;

/* FotaApplySignedPack's type: the rig calls it through a pointer, so that it links with a library built for the
   unsigned call alone. */
typedef int (*SignedApply)(const FotaFlash *flash, const FotaPackSource *pack, const FotaTrust *trust,
                           const FotaSpareArea *spare, void *work, size_t workSize);

typedef struct UpdateRig {
    NorFlash flash; /* first: the progress callback gets the flash's context and finds the rig there */
    const uint8_t *initialFlash; /* the flash window before the update */
    const uint8_t *newImage;
    uint32_t newStart;
    uint32_t newSize;
    PackBytes packBytes;
    FotaPackSource pack;
    FotaSpareArea spare;
    uint8_t *work;
    size_t workSize;
    const FotaTrust *trust;  /* when set, every call goes through applySigned */
    SignedApply applySigned; /* FotaApplySignedPack, set by the program that takes trust */
    uint32_t random; /* seed of the garbage that fills the work memory before each call */
    uint32_t powerCuts;    /* power cuts made so far */
    uint32_t deepestStack; /* the most stack a returning applier call used, flash callbacks included */
    uint32_t deepestQueryStack; /* the same for FotaApplyQuery */
    /* The final call of the last plan that finished: pack bytes it read and its time on the host clock. */
    uint32_t finishPackBytes;
    uint32_t finishMilliseconds;
    uint32_t finishProgressCalls;
    /* Progress reports of the last applier call, and the first total any call reported. */
    uint32_t progressCalls;
    uint32_t progressDone;
    uint32_t progressTotal;
    const char *progressFault; /* the first broken promise of the reports since the last rigResetFlash */
} UpdateRig;

typedef struct CutStep {
    uint32_t call; /* index among the erase and program calls of one applier call */
    PowerCut kind;
} CutStep;

enum { maxCutSteps = 3 };

/* Power fails at each step in turn, the first in the update, each next one in the resume after it. */
typedef struct CutPlan {
    CutStep steps[maxCutSteps];
    int count;
} CutPlan;

/* The buffers a board program gives the modelled flash, capacity bytes each (unerased: a bit a byte). */
typedef struct FlashMemory {
    uint8_t *window;
    uint8_t *unerased;
    uint8_t *initial; /* the window before the update */
    uint32_t capacity;
} FlashMemory;

/* The images from codeStart on, then a 64 KiB scratch and the state area above
   them; flash below and above is not modelled. With a sector map in the rig's
   flash (runs, runCount): the whole sectors the images touch, which the update
   rebuilds, then a scratch of whole sectors as large as the largest of them
   (64 KiB at least), then the state area in whole sectors, at least
   stateLength bytes. The initial flash holds the old image and leftovers of
   earlier use elsewhere, not erased bytes, so that what a rebuilt sector
   carries over is not merely erased. newStart and newSize must be set.
   Returns -1 when it does not fit the memory or the map. */
int rigLayOutFlash(UpdateRig *rig, const FlashMemory *memory, uint32_t codeStart, const uint8_t *oldImage,
                   uint32_t oldSize, uint32_t stateLength);

/* The new image in place, and every byte the update may not touch as it was, those of the sectors it rebuilt
   outside the new image included. Returns 0, or -1 with the first difference described in failure. */
int rigCheckFlash(const UpdateRig *rig, char *failure, size_t failureSize);

/* The scratch's length as the applier takes it (0 for 65536). */
uint32_t rigScratchLength(const UpdateRig *rig);

/* The pack read from memory; the rig must stay where it is while in use. */
void rigSetPack(UpdateRig *rig, const uint8_t *bytes, uint32_t size);

/* Puts the flash back as it was before the update. */
void rigResetFlash(UpdateRig *rig);

/* One applier call on the flash as it is, which must fail without a single
   erase or program. Prints one line; returns 0 when it was so. */
int expectRefusal(UpdateRig *rig, const char *what);

/* One applier call on the flash as it is, power lost at erase or program call cutAt (NOR_NO_CUT: none);
   returns 1 when it was, else 0 with the call's result. */
int rigApplyUntil(UpdateRig *rig, uint32_t cutAt, PowerCut kind, int *result);

/* FotaApplyQuery on the flash as it is; the query may not erase or program. Returns its result. */
int rigQuery(UpdateRig *rig, FotaApplyStatus *status);

/* Runs the update from the initial flash through the plan's cuts and a final
   resume, then checks the flash and a repeated call. Prints one line and
   returns 0 when all holds. finishCalls receives the final call's erase and
   program calls. */
int runCutPlan(UpdateRig *rig, const CutPlan *plan, uint32_t *finishCalls);

#endif
