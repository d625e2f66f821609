/* The pack's signature: SHA-256 over the whole pack, ECDSA P-256 with the trusted key. */
#ifndef FOTA_PACK_SIGNATURE_H
#define FOTA_PACK_SIGNATURE_H

#include <stdint.h>

#include "internal.h"
#include "meter.h"
#include "quarnel_apply.h"

/* Longest DER signature of P-256: a sequence of two integers of up to 33 bytes each. */
#define FOTA_MAX_SIGNATURE_BYTES 72u
#define FOTA_PUBLIC_KEY_BYTES 65u

/* Hashes the whole pack through its read callback, io (ioLength bytes, at least 1) holding each
   piece, in the meter's phase, and checks trust's signature of that hash with trust's key. FOTA_APPLY_OK when
   it holds. */
FOTA_INTERNAL int fotaVerifyPackSignature(const FotaPackSource *pack, const FotaTrust *trust, uint8_t *io,
                                          uint32_t ioLength, FotaMeter *meter);

#endif
