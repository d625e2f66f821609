#include "pack_signature.h"

#include <string.h>

#include "crypto_names.h"

#include "bearssl_ec.h"
#include "bearssl_hash.h"

int fotaVerifyPackSignature(const FotaPackSource *pack, const FotaTrust *trust, uint8_t *io, uint32_t ioLength,
                            FotaMeter *meter)
{
    br_sha256_context sha;
    uint8_t hash[br_sha256_SIZE];
    /* BearSSL takes the point through a pointer to non-const bytes; a copy keeps the caller's key untouched. */
    uint8_t point[FOTA_PUBLIC_KEY_BYTES];
    br_ec_public_key key;
    uint32_t done = 0;
    if (trust->signatureLength == 0 || trust->signatureLength > FOTA_MAX_SIGNATURE_BYTES ||
        trust->publicKey[0] != 0x04)
        return FOTA_APPLY_BAD_SIGNATURE;
    br_sha256_init(&sha);
    while (done < pack->size) {
        const uint32_t rest = pack->size - done;
        const uint32_t piece = rest < ioLength ? rest : ioLength;
        if (pack->read(pack->context, done, io, piece) != 0)
            return FOTA_APPLY_PACK_READ_FAILED;
        br_sha256_update(&sha, io, piece);
        done += piece;
        fotaMeterAt(meter, done);
    }
    br_sha256_out(&sha, hash);
    memcpy(point, trust->publicKey, sizeof point);
    key.curve = BR_EC_secp256r1;
    key.q = point;
    key.qlen = sizeof point;
    /* BearSSL checks that the point lies on the curve; a key that does not simply verifies nothing. */
    if (br_ecdsa_i15_vrfy_asn1(&br_ec_p256_m15, hash, sizeof hash, &key, trust->signature, trust->signatureLength) != 1)
        return FOTA_APPLY_BAD_SIGNATURE;
    return FOTA_APPLY_OK;
}
