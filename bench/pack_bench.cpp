// Times the stages of one pack build, the proof before writing included, and
// writes the pack, with either planner.
//
// usage: pack_bench incremental|reference OLD.lod NEW.lod OUT.pack
// The code area starts at 0x08010000, as packcli's with code base 0x10000;
// prints one line of seconds per stage.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/crc32.h"
#include "container/lzma_adapter.h"
#include "container/pack_header.h"
#include "diff/patch_stream.h"
#include "lod/code_image.h"
#include "pack/planner.h"
#include "reference/planner_reference.h"
#include "verify/pack_verifier.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    using namespace quarnel;
    if (argc != 5 || (std::strcmp(argv[1], "incremental") != 0 && std::strcmp(argv[1], "reference") != 0)) {
        std::fprintf(stderr, "usage: %s incremental|reference OLD.lod NEW.lod OUT.pack\n", argv[0]);
        return 2;
    }
    const bool incremental = std::strcmp(argv[1], "incremental") == 0;
    // The code area packcli forms from "0x800000 0x10000".
    const CodeArea area{0x08000000u, 0x10000u, 0x7F0000u};

    const Clock::time_point start = Clock::now();
    LodPacketPtr oldLod;
    LodPacketPtr newLod;
    if (const int result = loadImagePair(area, argv[2], argv[3], oldLod, newLod)) {
        std::fprintf(stderr, "images: result %d\n", result);
        return 1;
    }
    const uint32_t oldSize = uint32_t(4 * oldLod->words.size());
    const uint32_t newSize = uint32_t(4 * newLod->words.size());
    const uint32_t oldStart = oldLod->address - area.flashBase;
    const uint32_t newStart = newLod->address - area.flashBase;
    std::vector<uint8_t> working = imageBytes(*oldLod);
    working.resize(std::max(oldSize, newSize)); // the planner's working image spans both images
    const std::vector<uint8_t> newBytes = imageBytes(*newLod);
    const uint32_t oldCrc = packCrc32(working.data(), oldSize);
    const double loadTime = secondsSince(start);

    Clock::time_point stage = Clock::now();
    const UpdatePlan plan =
        incremental ? planUpdate(working.data(), oldSize, newBytes.data(), newSize, newStart)
                    : planUpdateReference(working.data(), oldSize, newBytes.data(), newSize, newStart);
    const double planTime = secondsSince(stage);

    stage = Clock::now();
    const std::vector<uint8_t> stream = serializePatches(plan.chunks, newBytes.data(), newStart);
    const double serializeTime = secondsSince(stage);

    stage = Clock::now();
    std::vector<uint8_t> compressed;
    if (const int result = compressPatchStream(stream.data(), int32_t(stream.size()), compressed)) {
        std::fprintf(stderr, "compression: result %d\n", result);
        return 1;
    }
    const double compressTime = secondsSince(stage);

    const std::vector<uint8_t> pack =
        buildPack(oldStart, oldSize, oldCrc, compressed.data(), uint32_t(compressed.size()));

    stage = Clock::now();
    const int proof = verify::verifyPack(pack, area, imageBytes(*oldLod), newBytes).code;
    const double verifyTime = secondsSince(stage);
    if (proof != 0) {
        std::fprintf(stderr, "the pack does not prove: result %d\n", proof);
        return 1;
    }
    std::FILE *out = std::fopen(argv[4], "wb");
    if (out == nullptr || std::fwrite(pack.data(), 1, pack.size(), out) != pack.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[4]);
        return 1;
    }
    const double total = secondsSince(start);

    std::printf("load %.2f  plan %.2f  serialize %.2f  compress %.2f (%.0f%%)  verify %.3f (%.1f%%)  total %.2f s; "
                "%zu chunks, stream %zu bytes\n",
                loadTime, planTime, serializeTime, compressTime, 100 * compressTime / total, verifyTime,
                100 * verifyTime / total, total, plan.chunks.size(), stream.size());
    return 0;
}
