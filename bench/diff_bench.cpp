// Times the differ on firmware-like buffers and prints throughput and memory figures.
#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "diff/differ.h"
#include "diff/repeats.h"
#include "reference/diff_buffers.h"
#include "reference/suffix_sort.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// Code words from a few opcodes, random data, erased runs and copies of earlier content.
Bytes firmwareImage(std::mt19937 &random, size_t size)
{
    uint32_t opcodes[16];
    for (uint32_t &opcode : opcodes)
        opcode = random() & 0xFFFF0000u;
    Bytes out;
    out.reserve(size + 8192);
    while (out.size() < size) {
        const size_t length = 16 + random() % 4096;
        switch (random() % 8) {
        case 0:
        case 1:
        case 2:
        case 3:
            for (size_t i = 0; i < length; i += 4) {
                const uint32_t word = opcodes[random() % 16] | (random() & 0xFFF);
                for (int shift = 0; shift < 32; shift += 8)
                    out.push_back(uint8_t(word >> shift));
            }
            break;
        case 4:
            for (size_t i = 0; i < length; ++i)
                out.push_back(uint8_t(random()));
            break;
        case 5:
            out.insert(out.end(), length, random() % 2 ? 0xFF : 0x00);
            break;
        default:
            if (out.size() > length) {
                const size_t from = random() % (out.size() - length);
                for (size_t i = 0; i < length; ++i)
                    out.push_back(out[from + i]);
            }
            break;
        }
    }
    out.resize(size);
    return out;
}

// The next release: code shifted by insertions and deletions, constants changed, blocks moved.
Bytes firmwareUpdate(std::mt19937 &random, const Bytes &old)
{
    Bytes out = old;
    for (int edit = 0; edit < 64; ++edit) {
        const size_t at = random() % out.size();
        const size_t span = std::min<size_t>(1 + random() % 8192, out.size() - at);
        switch (random() % 4) {
        case 0:
            for (int n = 0; n < 64; ++n)
                out[random() % out.size()] ^= uint8_t(1 + random() % 255);
            break;
        case 1: {
            const Bytes fresh = firmwareImage(random, span);
            out.insert(out.begin() + long(at), fresh.begin(), fresh.end());
            break;
        }
        case 2:
            out.erase(out.begin() + long(at), out.begin() + long(at + span));
            break;
        default: {
            const Bytes block(out.begin() + long(at), out.begin() + long(at + span));
            out.erase(out.begin() + long(at), out.begin() + long(at + span));
            const size_t to = random() % (out.size() + 1);
            out.insert(out.begin() + long(to), block.begin(), block.end());
            break;
        }
        }
    }
    out.resize(old.size(), 0xFF);
    return out;
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double mib(double bytes)
{
    return bytes / (1024.0 * 1024.0);
}

void benchSize(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    const Bytes old = firmwareImage(random, size);
    const Bytes fresh = firmwareUpdate(random, old);
    const int32_t oldSize = int32_t(old.size());

    // The two halves separately, so a later speed-up knows where the time goes.
    std::vector<int32_t> I(old.size() + 1), V(old.size() + 1);
    auto start = Clock::now();
    quarnel::suffixSort(I.data(), V.data(), old.data(), oldSize);
    const double sortSeconds = secondsSince(start);
    start = Clock::now();
    std::vector<int32_t> oldRepeats(old.size()), newRepeats(fresh.size());
    quarnel::measureRepeats(old.data(), oldSize, oldRepeats.data());
    quarnel::measureRepeats(fresh.data(), int32_t(fresh.size()), newRepeats.data());
    quarnel::diffWithSuffixArray(I.data(), old.data(), oldRepeats.data(), oldSize, fresh.data(), newRepeats.data(),
                                 uint32_t(fresh.size()));
    const double scanSeconds = secondsSince(start);

    start = Clock::now();
    const quarnel::PatchList patches =
        quarnel::diffBuffers(old.data(), oldSize, fresh.data(), uint32_t(fresh.size()));
    const double totalSeconds = secondsSince(start);

    size_t diffBytes = 0, extraBytes = 0;
    for (const quarnel::PatchPtr &patch : patches) {
        diffBytes += patch->diffBytes.size();
        extraBytes += patch->extraBytes.size();
    }
    // Each record: the shared control block with the Patch inside it, and the two byte vectors.
    const size_t recordBytes = patches.size() * (sizeof(quarnel::PatchPtr) + sizeof(quarnel::Patch) + 16) +
                               diffBytes + extraBytes;
    const size_t arrayBytes = 8 * (old.size() + 1);

    // A planner-sized call: a 64 KiB chunk against the whole old image, which sorts the old image again.
    const size_t chunkStart = fresh.size() / 2 & ~size_t(0xFFFF);
    start = Clock::now();
    quarnel::diffBuffers(old.data(), oldSize, fresh.data() + chunkStart, 65536);
    const double chunkSeconds = secondsSince(start);

    std::printf("%4.0f MiB: diffBuffers %.3f s = %.2f MiB/s of new data (sort %.3f s, scan %.3f s)\n",
                mib(double(size)), totalSeconds, mib(double(fresh.size())) / totalSeconds, sortSeconds,
                scanSeconds);
    std::printf("          %zu records, %zu difference + %zu literal bytes\n", patches.size(), diffBytes,
                extraBytes);
    std::printf("          peak memory at most %.2f MiB = arrays 8*(n+1) %.2f MiB + records %.2f MiB\n",
                mib(double(arrayBytes + recordBytes)), mib(double(arrayBytes)), mib(double(recordBytes)));
    std::printf("          one 64 KiB chunk against the whole old image: %.3f s\n", chunkSeconds);
}

// Uniform data is the slow case: the search at each position walks down to the shortest
// suffix of the run, so the time grows with the square of the length.
void benchUniform(size_t size)
{
    const Bytes erased(size, 0xFF);
    const auto start = Clock::now();
    quarnel::diffBuffers(erased.data(), int32_t(size), erased.data(), uint32_t(size));
    const double seconds = secondsSince(start);
    std::printf("%4.0f KiB of 0xFF against itself: %.3f s = %.2f MiB/s\n", double(size) / 1024, seconds,
                mib(double(size)) / seconds);
}

// The most memory the process has held at once, in MiB.
double peakResidentMiB()
{
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return double(counters.PeakWorkingSetSize) / (1024 * 1024);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024; // kilobytes on Linux
#endif
}

} // namespace

int main()
{
    benchSize(1u << 20, 1);
    benchSize(4u << 20, 2);
    benchUniform(64u << 10);
    benchUniform(256u << 10);
    std::printf("process peak resident set (inputs and copies included): %.1f MiB\n", peakResidentMiB());
    return 0;
}
