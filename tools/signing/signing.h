// ECDSA P-256 signatures over whole pack files, and the keys that make them,
// for packsign and packcheck. Keys are PEM: SEC1 ("EC PRIVATE KEY", as
// openssl's ecparam -genkey writes), PKCS#8 ("PRIVATE KEY") or, for checking
// only, SubjectPublicKeyInfo ("PUBLIC KEY"). A signature is the DER sequence
// of r and s over the SHA-256 of the whole file, as openssl dgst -sha256 -sign writes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quarnel::signing {

using Bytes = std::vector<uint8_t>;
using Sha256 = std::array<uint8_t, 32>;
// 0x04, X, Y: the uncompressed point, as devices take it.
using PublicPoint = std::array<uint8_t, 65>;

struct Key {
    bool hasPrivate = false;
    std::array<uint8_t, 32> secret{}; // the private scalar, big-endian, when hasPrivate
    PublicPoint point{};
};

// Reads a P-256 key from PEM text. False with a reason in error (one line,
// without the file's name) for text without a key, an encrypted key, a key
// of another type or curve, or a damaged one.
bool parseKeyPem(const std::string &text, Key &key, std::string &error);

// Reads the key file at a UTF-8 path; the error names the file.
bool loadKeyFile(const char *path, Key &key, std::string &error);

// A new key from the system's random source; false when that source fails.
bool makeKey(Key &key, std::string &error);

// The key as "EC PRIVATE KEY" PEM (SEC1 with the curve and the public point), which openssl reads.
std::string privateKeyPem(const Key &key);

// The public point as a C array of 65 bytes, for firmware to compile in.
std::string publicKeyCArray(const PublicPoint &point);

Sha256 sha256(const uint8_t *bytes, size_t size);

// The DER signature of hash with key's secret (deterministic, RFC 6979); empty when key has none.
Bytes signHash(const Key &key, const Sha256 &hash);

bool verifyHash(const PublicPoint &point, const Sha256 &hash, const Bytes &signature);

// Where a pack's signature lives: the pack's path with ".sig" added.
std::string signaturePath(const std::string &packPath);

// The largest DER signature of P-256: a sequence of two integers of up to 33 bytes.
constexpr size_t maxSignatureSize = 72;

// Creates a file at a UTF-8 path holding bytes, readable and writable by its
// owner only, and never over an existing file: the bytes go to a temporary
// file beside it, flushed to the disk, which then takes the name only if the
// name is free. False with the reason in error otherwise; nothing is left behind.
bool createPrivateFileUtf8(const char *path, const std::string &bytes, std::string &error);

// Fills out with bytes from the system's random source (getrandom, BCryptGenRandom).
bool systemRandom(uint8_t *out, size_t size);

} // namespace quarnel::signing
