#include "signing/signing.h"

#include <algorithm>
#include <bearssl.h>
#include <cstdio>
#include <cstring>

#include "common/open_file.h"

namespace quarnel::signing {

namespace {

struct PemObject {
    std::string name;
    Bytes der;
};

void appendBytes(void *context, const void *data, size_t size)
{
    Bytes &out = *static_cast<Bytes *>(context);
    const auto *bytes = static_cast<const uint8_t *>(data);
    out.insert(out.end(), bytes, bytes + size);
}

// Every PEM object in text, in order; false when the PEM framing is broken.
bool pemObjects(const std::string &text, std::vector<PemObject> &objects)
{
    br_pem_decoder_context pem;
    br_pem_decoder_init(&pem);
    // BearSSL needs a line end after the last line to close the last object.
    const std::string input = text + "\n";
    size_t offset = 0;
    bool inside = false;
    while (offset < input.size()) {
        offset += br_pem_decoder_push(&pem, input.data() + offset, input.size() - offset);
        switch (br_pem_decoder_event(&pem)) {
        case BR_PEM_BEGIN_OBJ:
            objects.push_back({br_pem_decoder_name(&pem), {}});
            br_pem_decoder_setdest(&pem, appendBytes, &objects.back().der);
            inside = true;
            break;
        case BR_PEM_END_OBJ:
            inside = false;
            break;
        case BR_PEM_ERROR:
            return false;
        default:
            break;
        }
    }
    return !inside;
}

// The DER prefix of a P-256 SubjectPublicKeyInfo: id-ecPublicKey, prime256v1, a bit string of 66 bytes.
const uint8_t p256PublicKeyPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01,
                                       0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};
const uint8_t ecPublicKeyOid[] = {0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01};

bool contains(const Bytes &haystack, const uint8_t *needle, size_t size)
{
    return std::search(haystack.begin(), haystack.end(), needle, needle + size) != haystack.end();
}

bool pointIsOnCurve(const PublicPoint &point)
{
    // Multiplying by one goes through BearSSL's point decoding, which refuses points off the curve.
    PublicPoint copy = point;
    const uint8_t one[] = {1};
    return br_ec_p256_m31.mul(copy.data(), copy.size(), one, sizeof one, BR_EC_secp256r1) == 1;
}

bool parsePublicKey(const Bytes &der, Key &key, std::string &error)
{
    if (der.size() == sizeof p256PublicKeyPrefix + key.point.size() &&
        std::memcmp(der.data(), p256PublicKeyPrefix, sizeof p256PublicKeyPrefix) == 0 &&
        der[sizeof p256PublicKeyPrefix] == 0x04) {
        std::memcpy(key.point.data(), der.data() + sizeof p256PublicKeyPrefix, key.point.size());
        key.hasPrivate = false;
        if (pointIsOnCurve(key.point))
            return true;
        error = "the public key is not a point of P-256";
        return false;
    }
    error = contains(der, ecPublicKeyOid, sizeof ecPublicKeyOid)
                ? "the public key is not an uncompressed P-256 (prime256v1) key"
                : "the public key is not an EC key; only ECDSA P-256 (prime256v1) is accepted";
    return false;
}

bool parsePrivateKey(const Bytes &der, Key &key, std::string &error)
{
    br_skey_decoder_context decoder;
    br_skey_decoder_init(&decoder);
    br_skey_decoder_push(&decoder, der.data(), der.size());
    if (br_skey_decoder_last_error(&decoder) != 0) {
        error = "the private key cannot be read: not an ECDSA P-256 (prime256v1) key, or damaged";
        return false;
    }
    if (br_skey_decoder_key_type(&decoder) != BR_KEYTYPE_EC) {
        error = "the private key is an RSA key; only ECDSA P-256 (prime256v1) is accepted";
        return false;
    }
    const br_ec_private_key *secret = br_skey_decoder_get_ec(&decoder);
    if (secret->curve != BR_EC_secp256r1 || secret->xlen != key.secret.size()) {
        error = "the private key is not on P-256 (prime256v1), the one curve accepted";
        return false;
    }
    std::memcpy(key.secret.data(), secret->x, key.secret.size());
    uint8_t buffer[BR_EC_KBUF_PUB_MAX_SIZE];
    br_ec_public_key pub;
    if (br_ec_compute_pub(&br_ec_p256_m31, &pub, buffer, secret) != key.point.size()) {
        error = "the private key is not a valid P-256 scalar";
        return false;
    }
    std::memcpy(key.point.data(), pub.q, key.point.size());
    key.hasPrivate = true;
    return true;
}

} // namespace

bool parseKeyPem(const std::string &text, Key &key, std::string &error)
{
    // openssl marks an encrypted key in its banner (PKCS#8) or in a header line (SEC1).
    if (text.find("ENCRYPTED") != std::string::npos) {
        error = "the key is encrypted; give it unencrypted (openssl pkey -in KEY -out PLAIN)";
        return false;
    }
    std::vector<PemObject> objects;
    if (!pemObjects(text, objects)) {
        error = "the file is not PEM text";
        return false;
    }
    for (const PemObject &object : objects) {
        if (object.name == "EC PRIVATE KEY" || object.name == "PRIVATE KEY")
            return parsePrivateKey(object.der, key, error);
        if (object.name == "PUBLIC KEY")
            return parsePublicKey(object.der, key, error);
        if (object.name == "RSA PRIVATE KEY" || object.name == "RSA PUBLIC KEY" || object.name == "DSA PRIVATE KEY") {
            error = "the key is " + object.name.substr(0, 3) + "; only ECDSA P-256 (prime256v1) is accepted";
            return false;
        }
    }
    error = "the file holds no PEM key";
    return false;
}

bool loadKeyFile(const char *path, Key &key, std::string &error)
{
    FileHandle file(openRegularFileUtf8(path));
    if (!file) {
        error = std::string(path) + ": cannot be opened";
        return false;
    }
    std::string text;
    char block[4096];
    size_t got;
    // A key is a few hundred bytes; a large file is anything but a key.
    while ((got = std::fread(block, 1, sizeof block, file.get())) > 0 && text.size() < (1u << 20))
        text.append(block, got);
    if (std::ferror(file.get())) {
        error = std::string(path) + ": cannot be read";
        return false;
    }
    if (!parseKeyPem(text, key, error)) {
        error = std::string(path) + ": " + error;
        return false;
    }
    return true;
}

bool makeKey(Key &key, std::string &error)
{
    uint8_t seed[48];
    if (!systemRandom(seed, sizeof seed)) {
        error = "the system's random source failed";
        return false;
    }
    br_hmac_drbg_context drbg;
    br_hmac_drbg_init(&drbg, &br_sha256_vtable, seed, sizeof seed);
    std::memset(seed, 0, sizeof seed);
    br_ec_private_key secret;
    uint8_t secretBuffer[BR_EC_KBUF_PRIV_MAX_SIZE];
    if (br_ec_keygen(&drbg.vtable, &br_ec_p256_m31, &secret, secretBuffer, BR_EC_secp256r1) != key.secret.size()) {
        error = "BearSSL could not make a P-256 key";
        return false;
    }
    std::memcpy(key.secret.data(), secret.x, key.secret.size());
    uint8_t publicBuffer[BR_EC_KBUF_PUB_MAX_SIZE];
    br_ec_public_key pub;
    br_ec_compute_pub(&br_ec_p256_m31, &pub, publicBuffer, &secret);
    std::memcpy(key.point.data(), pub.q, key.point.size());
    std::memset(secretBuffer, 0, sizeof secretBuffer);
    key.hasPrivate = true;
    return true;
}

std::string privateKeyPem(const Key &key)
{
    br_ec_private_key secret{BR_EC_secp256r1, const_cast<uint8_t *>(key.secret.data()), key.secret.size()};
    br_ec_public_key pub{BR_EC_secp256r1, const_cast<uint8_t *>(key.point.data()), key.point.size()};
    Bytes der(br_encode_ec_raw_der(nullptr, &secret, &pub));
    br_encode_ec_raw_der(der.data(), &secret, &pub);
    std::string pem(br_pem_encode(nullptr, der.data(), der.size(), "EC PRIVATE KEY", BR_PEM_LINE64) + 1, '\0');
    pem.resize(br_pem_encode(pem.data(), der.data(), der.size(), "EC PRIVATE KEY", BR_PEM_LINE64));
    std::fill(der.begin(), der.end(), 0);
    return pem;
}

std::string publicKeyCArray(const PublicPoint &point)
{
    std::string out = "/* P-256 public key: 0x04, X, Y */\nstatic const uint8_t packPublicKey[65] = {";
    char number[8];
    for (size_t i = 0; i < point.size(); ++i) {
        std::snprintf(number, sizeof number, "0x%02x", point[i]);
        out += (i % 12 == 0 ? "\n    " : " ") + std::string(number) + (i + 1 < point.size() ? "," : "");
    }
    return out + "\n};\n";
}

} // namespace quarnel::signing
