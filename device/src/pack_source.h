/* The pack as one call reads it: a copy of the caller's source, so that its size cannot change under the
   call, read a granule at a time. The first pass reads every granule once, in order, and takes the data
   checksum over it (and, in the signed call, the signature's hash and a digest per block); every later
   read in the signed call is checked against those digests, so that no byte reaches the flash that the
   signature did not cover in this very call, whatever the pack's storage does meanwhile. */
#ifndef FOTA_PACK_SOURCE_H
#define FOTA_PACK_SOURCE_H

#include <stdint.h>

#include "internal.h"
#include "meter.h"
#include "quarnel_apply.h"

/* The pack is read in granules of this many bytes at multiples of it: a decoder's whole input block. */
#define FOTA_GRANULE_BYTES 512u

/* A reader's own copy of the digests of the block it reads in (the signed call's; unused otherwise). */
typedef struct FotaGranuleCache {
    uint8_t *digests; /* FOTA_GUARD_CACHE_GRANULES digests */
    uint32_t block;   /* the block they belong to, plus one; 0 while none */
} FotaGranuleCache;

/* The signed call's checks on the pack's bytes, behind pointers so that an unsigned build links no crypto. */
typedef struct FotaPackGuard FotaPackGuard;
struct FotaPackGuard {
    /* Each granule of the first pass, in order from the pack's first byte. */
    void (*take)(FotaPackGuard *guard, uint32_t granule, const uint8_t *bytes, uint32_t length);
    /* After the first pass took the last granule: FOTA_APPLY_OK when what it took is signed. */
    int (*finish)(FotaPackGuard *guard);
    /* A later read of granule into out (length bytes), checked against the first pass's digests through the
       reader's cache: FOTA_APPLY_BAD_SIGNATURE when the bytes are not the ones the first pass took. */
    int (*read)(FotaPackGuard *guard, FotaGranuleCache *cache, const FotaPackSource *source, uint32_t granule,
                uint8_t *out, uint32_t length);
};

typedef struct FotaPack {
    FotaPackSource source;
    FotaPackGuard *guard; /* 0 in the unsigned call */
    uint32_t taken;       /* granules the first pass has taken */
    uint32_t dataCrc;     /* the checksum of the data section's bytes taken so far */
} FotaPack;

FOTA_INTERNAL void fotaPackOpen(FotaPack *pack, const FotaPackSource *source, FotaPackGuard *guard);

FOTA_INTERNAL uint32_t fotaGranuleCount(const FotaPack *pack);
FOTA_INTERNAL uint32_t fotaGranuleLength(const FotaPack *pack, uint32_t granule);

/* The first pass: the next granule into out (FOTA_GRANULE_BYTES), its length in *length, taken. */
FOTA_INTERNAL int fotaPackTakeNext(FotaPack *pack, uint8_t *out, uint32_t *length);

/* The first pass's rest, for its checksums alone: every granule not taken yet, through buffer
   (FOTA_GRANULE_BYTES), reported to meter every 64 KiB. */
FOTA_INTERNAL int fotaPackTakeRest(FotaPack *pack, uint8_t *buffer, FotaMeter *meter);

/* A read after the first pass: granule into out, checked in the signed call. */
FOTA_INTERNAL int fotaPackRead(FotaPack *pack, FotaGranuleCache *cache, uint32_t granule, uint8_t *out,
                               uint32_t *length);

#endif
