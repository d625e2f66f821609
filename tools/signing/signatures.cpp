#include "signing/signing.h"

#include <bearssl.h>

namespace quarnel::signing {

Sha256 sha256(const uint8_t *bytes, size_t size)
{
    br_sha256_context context;
    br_sha256_init(&context);
    br_sha256_update(&context, bytes, size);
    Sha256 hash;
    br_sha256_out(&context, hash.data());
    return hash;
}

Bytes signHash(const Key &key, const Sha256 &hash)
{
    if (!key.hasPrivate)
        return {};
    br_ec_private_key secret{BR_EC_secp256r1, const_cast<uint8_t *>(key.secret.data()), key.secret.size()};
    Bytes signature(maxSignatureSize);
    signature.resize(br_ecdsa_i31_sign_asn1(&br_ec_p256_m31, &br_sha256_vtable, hash.data(), &secret,
                                            signature.data()));
    return signature;
}

bool verifyHash(const PublicPoint &point, const Sha256 &hash, const Bytes &signature)
{
    if (signature.empty() || signature.size() > maxSignatureSize)
        return false;
    PublicPoint copy = point;
    br_ec_public_key key{BR_EC_secp256r1, copy.data(), copy.size()};
    return br_ecdsa_i31_vrfy_asn1(&br_ec_p256_m31, hash.data(), hash.size(), &key, signature.data(),
                                  signature.size()) == 1;
}

std::string signaturePath(const std::string &packPath)
{
    return packPath + ".sig";
}

} // namespace quarnel::signing
