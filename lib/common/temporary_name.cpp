#include "common/temporary_name.h"

#include <atomic>
#include <chrono>
#include <cstdint>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace quarnel {

namespace {

// A bijective mix of 64 bits, so that neighbouring inputs give unrelated names.
uint64_t mix(uint64_t value)
{
    value += 0x9E3779B97F4A7C15u;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9u;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBu;
    return value ^ (value >> 31);
}

} // namespace

std::string temporaryName()
{
    static std::atomic<uint64_t> calls{0};
    static const char letters[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const uint64_t clock = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    uint64_t bits = mix(mix(static_cast<uint64_t>(getpid()) << 32 ^ calls++) ^ clock);
    std::string name = ".~";
    for (int i = 0; i < 8; ++i) {
        name += letters[bits % 62];
        bits /= 62;
    }
    return name;
}

std::string pathBeside(const std::string &path, const std::string &name)
{
#ifdef _WIN32
    const size_t separator = path.find_last_of("/\\:");
#else
    const size_t separator = path.find_last_of('/');
#endif
    return separator == std::string::npos ? name : path.substr(0, separator + 1) + name;
}

} // namespace quarnel
