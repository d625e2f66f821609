/* The progress callback's figures: done and total in bytes of work.

   total = stream length (the first pass, which reads, checks and decodes the whole pack) + oldSize (the
   old image's checksum) + 4 x stream length (applying: four passes over each chunk's bytes, building,
   checking the scratch, copying, checking the unit, scaled from the chunks' bytes to that share), all from
   the pack's headers, so that every call for a pack reports the same total; halved until it fits 32 bits.
   A step a call skips (the old image on a resume, a chunk found done) moves done past its share at once. */
#ifndef FOTA_METER_H
#define FOTA_METER_H

#include <stdint.h>

#include "internal.h"
#include "quarnel_apply.h"

/* The parts of total, in order. */
enum FotaMeterPhase { FOTA_PHASE_CHECK, FOTA_PHASE_OLD_IMAGE, FOTA_PHASE_APPLY };

typedef struct FotaMeter {
    const FotaFlash *flash; /* its progress callback, which may be NULL, and context */
    uint64_t parts[FOTA_PHASE_APPLY + 1];
    uint64_t total;
    unsigned shift; /* total >> shift fits in 32 bits */
    uint64_t done;
    uint64_t phaseStart;
    uint64_t phaseLength;
    uint64_t phaseWork; /* bytes of work the phase stands for; its length when 0 */
    uint64_t position;  /* bytes of work of the phase done so far */
    int followsDecoder; /* the checking pass: done moves with the decoded stream */
} FotaMeter;

/* The total from the pack's headers as they are (a pack too short for them counts its size alone); reports
   done 0. Never fails: a pack that cannot be read is refused by the steps that read it. */
FOTA_INTERNAL void fotaMeterOpen(FotaMeter *meter, const FotaFlash *flash, const FotaPackSource *pack);

/* Moves done to the phase's start and reports; work is what the phase stands for (0: its own share). */
FOTA_INTERNAL void fotaMeterPhase(FotaMeter *meter, enum FotaMeterPhase phase, uint64_t work);

/* position bytes of the phase's work done (never backwards), and reports. */
FOTA_INTERNAL void fotaMeterAt(FotaMeter *meter, uint64_t position);
FOTA_INTERNAL void fotaMeterAdvance(FotaMeter *meter, uint64_t bytes);

/* Reports done as it stands: after an erase, a record, or some stream decoded. */
FOTA_INTERNAL void fotaMeterTick(FotaMeter *meter);

/* A decoder reached decoded stream bytes. */
FOTA_INTERNAL void fotaMeterDecoded(FotaMeter *meter, uint32_t decoded);

/* The call ends with the new image in flash. */
FOTA_INTERNAL void fotaMeterFinish(FotaMeter *meter);

#endif
