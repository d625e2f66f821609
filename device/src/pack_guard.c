#include "pack_guard.h"

#include <string.h>

#include "bearssl_ec.h"

#include "work_layout.h"

static void digestOf(const uint8_t *bytes, uint32_t length, uint8_t *digest)
{
    br_sha256_context sha;
    uint8_t full[br_sha256_SIZE];
    br_sha256_init(&sha);
    br_sha256_update(&sha, bytes, length);
    br_sha256_out(&sha, full);
    memcpy(digest, full, FOTA_DIGEST_BYTES);
}

/* The block's digest from the digests of its granules, fed to sha; sha starts again. */
static void closeBlock(br_sha256_context *sha, uint8_t *digest)
{
    uint8_t full[br_sha256_SIZE];
    br_sha256_out(sha, full);
    memcpy(digest, full, FOTA_DIGEST_BYTES);
    br_sha256_init(sha);
}

static int isLastOfBlock(const FotaSignedGuard *guard, uint32_t granule)
{
    return ((granule + 1u) & ((1u << guard->blockShift) - 1u)) == 0 || granule + 1u == guard->granules;
}

static void take(FotaPackGuard *base, uint32_t granule, const uint8_t *bytes, uint32_t length)
{
    FotaSignedGuard *guard = (FotaSignedGuard *)base;
    uint8_t digest[FOTA_DIGEST_BYTES];
    br_sha256_update(&guard->whole, bytes, length);
    guard->taken += 1;
    digestOf(bytes, length, digest);
    if (guard->blockShift == 0) {
        memcpy(guard->digests + granule * FOTA_DIGEST_BYTES, digest, FOTA_DIGEST_BYTES);
        return;
    }
    br_sha256_update(&guard->block, digest, FOTA_DIGEST_BYTES);
    if (isLastOfBlock(guard, granule))
        closeBlock(&guard->block, guard->digests + (granule >> guard->blockShift) * FOTA_DIGEST_BYTES);
}

static int finish(FotaPackGuard *base)
{
    FotaSignedGuard *guard = (FotaSignedGuard *)base;
    uint8_t hash[br_sha256_SIZE];
    /* BearSSL takes the point through a pointer to non-const bytes; a copy keeps the caller's key untouched. */
    uint8_t point[FOTA_PUBLIC_KEY_BYTES];
    br_ec_public_key key;
    if (guard->taken != guard->granules)
        return FOTA_APPLY_BAD_SIGNATURE;
    br_sha256_out(&guard->whole, hash);
    memcpy(point, guard->trust->publicKey, sizeof point);
    key.curve = BR_EC_secp256r1;
    key.q = point;
    key.qlen = sizeof point;
    /* BearSSL checks that the point lies on the curve; a key that does not simply verifies nothing. */
    if (br_ecdsa_i15_vrfy_asn1(&br_ec_p256_m15, hash, sizeof hash, &key, guard->trust->signature,
                               guard->trust->signatureLength) != 1)
        return FOTA_APPLY_BAD_SIGNATURE;
    return FOTA_APPLY_OK;
}

static int readGranule(const FotaPackSource *source, uint32_t granule, uint8_t *out, uint32_t length)
{
    return source->read(source->context, granule * FOTA_GRANULE_BYTES, out, length) == 0
               ? FOTA_APPLY_OK
               : FOTA_APPLY_PACK_READ_FAILED;
}

/* Reads every granule of the block through out, keeping their digests in the cache, and checks the block's. */
static int loadBlock(const FotaSignedGuard *guard, FotaGranuleCache *cache, const FotaPackSource *source,
                     uint32_t block, uint8_t *out)
{
    br_sha256_context sha;
    uint8_t digest[FOTA_DIGEST_BYTES];
    const uint32_t first = block << guard->blockShift;
    uint32_t granule;
    cache->block = 0;
    br_sha256_init(&sha);
    for (granule = first; granule < guard->granules && granule - first < (1u << guard->blockShift); ++granule) {
        const uint64_t start = (uint64_t)granule * FOTA_GRANULE_BYTES;
        const uint32_t rest = (uint32_t)(source->size - start);
        const uint32_t length = rest < FOTA_GRANULE_BYTES ? rest : FOTA_GRANULE_BYTES;
        uint8_t *kept = cache->digests + (granule - first) * FOTA_DIGEST_BYTES;
        const int result = readGranule(source, granule, out, length);
        if (result != FOTA_APPLY_OK)
            return result;
        digestOf(out, length, kept);
        br_sha256_update(&sha, kept, FOTA_DIGEST_BYTES);
    }
    closeBlock(&sha, digest);
    if (memcmp(digest, guard->digests + block * FOTA_DIGEST_BYTES, FOTA_DIGEST_BYTES) != 0)
        return FOTA_APPLY_BAD_SIGNATURE;
    cache->block = block + 1u;
    return FOTA_APPLY_OK;
}

static int read(FotaPackGuard *base, FotaGranuleCache *cache, const FotaPackSource *source, uint32_t granule,
                uint8_t *out, uint32_t length)
{
    const FotaSignedGuard *guard = (const FotaSignedGuard *)base;
    const uint32_t block = granule >> guard->blockShift;
    const uint8_t *expected = guard->digests + granule * FOTA_DIGEST_BYTES;
    uint8_t digest[FOTA_DIGEST_BYTES];
    int result;
    if (guard->blockShift != 0) {
        if (cache->block != block + 1u && (result = loadBlock(guard, cache, source, block, out)) != FOTA_APPLY_OK)
            return result;
        expected = cache->digests + (granule - (block << guard->blockShift)) * FOTA_DIGEST_BYTES;
    }
    if ((result = readGranule(source, granule, out, length)) != FOTA_APPLY_OK)
        return result;
    digestOf(out, length, digest);
    return memcmp(digest, expected, FOTA_DIGEST_BYTES) == 0 ? FOTA_APPLY_OK : FOTA_APPLY_BAD_SIGNATURE;
}

int fotaOpenSignedGuard(FotaSignedGuard *guard, const FotaTrust *trust, uint32_t packSize, uint8_t *digests)
{
    if (trust->signatureLength == 0 || trust->signatureLength > FOTA_MAX_SIGNATURE_BYTES ||
        trust->publicKey[0] != 0x04)
        return FOTA_APPLY_BAD_SIGNATURE;
    guard->base.take = take;
    guard->base.finish = finish;
    guard->base.read = read;
    guard->trust = trust;
    guard->digests = digests;
    guard->granules = (uint32_t)(((uint64_t)packSize + FOTA_GRANULE_BYTES - 1u) / FOTA_GRANULE_BYTES);
    guard->taken = 0;
    guard->blockShift = 0;
    while (((uint64_t)guard->granules + (1u << guard->blockShift) - 1u) >> guard->blockShift > FOTA_GUARD_BLOCKS)
        guard->blockShift += 1;
    if ((1u << guard->blockShift) > FOTA_GUARD_CACHE_GRANULES)
        return FOTA_APPLY_WORK_TOO_SMALL;
    br_sha256_init(&guard->whole);
    br_sha256_init(&guard->block);
    return FOTA_APPLY_OK;
}
