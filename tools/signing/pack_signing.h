// Signing a pack file and checking its signature file, as packsign and packcheck do.
#pragma once

#include <string>
#include <vector>

namespace quarnel::signing {

// What a command prints (one line each) and its exit status.
struct Outcome {
    int status = 0;
    std::vector<std::string> lines;
};

// Exit statuses besides the library's 17 (signature not written), 18 (pack unreadable) and 19 (not a pack).
constexpr int statusKeyRefused = 2;
constexpr int statusSignatureRefused = 3;

// Writes PACK.sig beside the pack at packPath: the key must be a private P-256 key and the pack
// a sound pack (header, data checksum, LZMA block and stream); the signature file replaces any
// old one carefully and is never the pack or the key, by any path. Nothing is written on failure.
Outcome signPackFile(const char *keyPath, const char *packPath);

// Checks PACK.sig beside the pack at packPath with the key (public or private).
Outcome verifyPackFile(const char *keyPath, const char *packPath);

} // namespace quarnel::signing
