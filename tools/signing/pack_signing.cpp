#include "signing/pack_signing.h"

#include <bearssl.h>
#include <cstdio>

#include "common/file_identity.h"
#include "common/open_file.h"
#include "common/replace_file.h"
#include "common/result_codes.h"
#include "signing/signing.h"
#include "verify/pack_reader.h"

namespace quarnel::signing {

namespace {

// Reads a whole file; largest is the most it may hold. 0, else 18 unreadable or 19 too large.
int readWholeFile(const char *path, uint64_t largest, Bytes &bytes)
{
    FileHandle file(openRegularFileUtf8(path));
    if (!file)
        return FOTA_PACK_READ_FAILED;
    bytes.clear();
    uint8_t block[1 << 16];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) {
        if (bytes.size() + got > largest)
            return FOTA_PACK_INVALID;
        bytes.insert(bytes.end(), block, block + got);
    }
    return std::ferror(file.get()) ? FOTA_PACK_READ_FAILED : FOTA_OK;
}

// Largest file that can be a pack: the header and a data length that fits in 32 bits.
constexpr uint64_t maxPackFileSize = 28 + uint64_t{UINT32_MAX};

Outcome failure(int status, std::string line)
{
    return {status, {std::move(line)}};
}

// A DER sequence of two positive integers that fit P-256, as BearSSL reads it.
bool isDerSignature(const Bytes &signature)
{
    if (signature.empty() || signature.size() > maxSignatureSize)
        return false;
    Bytes copy = signature;
    return br_ecdsa_asn1_to_raw(copy.data(), copy.size()) == 64;
}

} // namespace

Outcome signPackFile(const char *keyPath, const char *packPath)
{
    Key key;
    std::string error;
    if (!loadKeyFile(keyPath, key, error))
        return failure(statusKeyRefused, error + "; nothing written");
    if (!key.hasPrivate)
        return failure(statusKeyRefused,
                       std::string(keyPath) + ": a public key; signing needs the private key; nothing written");
    const std::string signature = signaturePath(packPath);
    if (sameFileUtf8(signature.c_str(), packPath) || sameFileUtf8(signature.c_str(), keyPath))
        return failure(FOTA_PACK_WRITE_FAILED, signature + ": is the " +
                                                  (sameFileUtf8(signature.c_str(), packPath) ? "pack" : "key") +
                                                  " itself; nothing written");
    Bytes pack;
    if (const int result = readWholeFile(packPath, maxPackFileSize, pack))
        return failure(result, std::string(packPath) + (result == FOTA_PACK_READ_FAILED
                                                            ? ": cannot be read"
                                                            : ": larger than any pack; not signed"));
    verify::PackContents contents;
    verify::Findings findings;
    if (const int result = verify::readPack(pack, verify::maxStreamLength, contents, findings)) {
        Outcome outcome{result, {}};
        for (const verify::Finding &finding : findings)
            outcome.lines.push_back(std::string(packPath) + ": " + finding.text);
        outcome.lines.push_back(std::string(packPath) + ": not a sound pack; not signed");
        return outcome;
    }
    const Sha256 hash = sha256(pack.data(), pack.size());
    const Bytes der = signHash(key, hash);
    // A signature that does not verify would be refused by every device: better never written.
    if (der.empty() || !verifyHash(key.point, hash, der))
        return failure(FOTA_PACK_WRITE_FAILED, signature + ": the signature did not verify; nothing written");
    if (!replaceFileUtf8(signature.c_str(), der.data(), der.size()))
        return failure(FOTA_PACK_WRITE_FAILED, signature + ": cannot be written");
    return {FOTA_OK, {}};
}

Outcome verifyPackFile(const char *keyPath, const char *packPath)
{
    Key key;
    std::string error;
    if (!loadKeyFile(keyPath, key, error))
        return failure(statusKeyRefused, error);
    Bytes pack;
    if (const int result = readWholeFile(packPath, maxPackFileSize, pack))
        return failure(result, std::string(packPath) + (result == FOTA_PACK_READ_FAILED ? ": cannot be read"
                                                                                        : ": larger than any pack"));
    const std::string path = signaturePath(packPath);
    Bytes signature;
    if (readWholeFile(path.c_str(), 4096, signature) == FOTA_PACK_READ_FAILED)
        return failure(statusSignatureRefused, path + ": cannot be read (no signature beside the pack)");
    if (!isDerSignature(signature))
        return failure(statusSignatureRefused, path + ": not a DER ECDSA P-256 signature (" +
                                                   std::to_string(signature.size()) + " bytes)");
    if (!verifyHash(key.point, sha256(pack.data(), pack.size()), signature))
        return failure(statusSignatureRefused,
                       path + ": does not verify: the pack was changed or signed with another key");
    return {FOTA_OK, {path + ": signature verified"}};
}

} // namespace quarnel::signing
