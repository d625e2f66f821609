#include "pack/pack_writer.h"

#include <atomic>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include "common/open_file.h"
#include "common/result_codes.h"
#include "verify/pack_verifier.h"

namespace quarnel {

namespace {

// Unique per process and call, so that concurrent calls never share a temporary file.
std::string temporaryPathFor(const char *packPath)
{
    static std::atomic<unsigned> counter{0};
    return std::string(packPath) + ".partial-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

bool writeAll(std::FILE *file, const std::vector<uint8_t> &pack)
{
    const bool written = pack.empty() || std::fwrite(pack.data(), pack.size(), 1, file) == 1;
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return written && flushed && closed;
}

} // namespace

int writePackFile(const char *packPath, const std::vector<uint8_t> &pack)
{
    if (packPath == nullptr || *packPath == '\0')
        return resultPackWriteFailed;

    const std::string temporaryPath = temporaryPathFor(packPath);
    std::FILE *file = openFileUtf8(temporaryPath.c_str(), "wb");
    if (file == nullptr)
        return resultPackWriteFailed;
    if (!writeAll(file, pack) || !replaceFileUtf8(temporaryPath.c_str(), packPath)) {
        removeFileUtf8(temporaryPath.c_str());
        return resultPackWriteFailed;
    }
    return resultOk;
}

int writeProvenPack(const char *packPath, const std::vector<uint8_t> &pack, const CodeArea &area,
                    std::vector<uint8_t> oldImage, const std::vector<uint8_t> &newImage)
{
    const verify::VerifyResult proof = verify::verifyPack(pack, area, std::move(oldImage), newImage);
    if (proof.code != resultOk)
        return proof.code;
    return writePackFile(packPath, pack);
}

} // namespace quarnel
