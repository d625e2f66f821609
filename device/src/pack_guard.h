/* The signed call's guard over the pack: SHA-256 of every byte for the signature, and 64 bits of SHA-256
   per block, taken in the same first pass, against which every later read is checked. A block's digest is
   that of its granules' digests, so that a reader entering a block reads it once to learn them and then
   checks each granule as it reads it again. */
#ifndef FOTA_PACK_GUARD_H
#define FOTA_PACK_GUARD_H

#include <stdint.h>

#include "crypto_names.h"

#include "bearssl_hash.h"

#include "internal.h"
#include "pack_source.h"
#include "quarnel_apply.h"

/* Longest DER signature of P-256: a sequence of two integers of up to 33 bytes each. */
#define FOTA_MAX_SIGNATURE_BYTES 72u
#define FOTA_PUBLIC_KEY_BYTES 65u

typedef struct FotaSignedGuard {
    FotaPackGuard base; /* first: the applier calls it through base */
    const FotaTrust *trust;
    br_sha256_context whole; /* every byte of the pack, for the signature */
    br_sha256_context block; /* the granule digests of the block being taken */
    uint8_t *digests;        /* FOTA_GUARD_BLOCKS of them, one per block */
    uint32_t blockShift;     /* a block is 1 << blockShift granules */
    uint32_t granules;       /* in the pack */
    uint32_t taken;          /* granules of the first pass so far */
} FotaSignedGuard;

/* A guard for a pack of packSize bytes, its digests in digests (FOTA_GUARD_BLOCKS of them):
   FOTA_APPLY_BAD_SIGNATURE for a key or signature that cannot verify anything, FOTA_APPLY_WORK_TOO_SMALL
   for a pack of more blocks than the digests hold. */
FOTA_INTERNAL int fotaOpenSignedGuard(FotaSignedGuard *guard, const FotaTrust *trust, uint32_t packSize,
                                      uint8_t *digests);

#endif
