// Applies a pack with the device applier on a simulated NOR flash and prints
// what one call costs: its time on the host, the pack bytes it reads and the
// stream bytes it decodes, for the update and for a call that finds it done;
// then cuts the power at calls spread over the update, each followed by a
// resume that must end with the new image.
//
// usage: device_bench OLD.lod NEW.lod [CUT_POINTS]
// The code area starts at 0x08010000 in a 32 MiB flash, so a 16 MiB pair fits.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lod/code_image.h"
#include "pack/pack_builder.h"
#include "pack/planner.h"
#include "packcheck/power_cuts.h"
#include "quarnel_apply.h"
#include "verify/pack_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

struct CountingPack {
    const std::vector<uint8_t> *bytes;
    uint64_t read = 0;
};

int readCounting(void *context, uint32_t offset, void *out, uint32_t length)
{
    auto *pack = static_cast<CountingPack *>(context);
    if (offset > pack->bytes->size() || length > pack->bytes->size() - offset)
        return -1;
    std::copy_n(pack->bytes->data() + offset, length, static_cast<uint8_t *>(out));
    pack->read += length;
    return 0;
}

struct CallCost {
    int result = -1;
    double seconds = 0;
    uint64_t packBytes = 0;
};

CallCost applyOnce(quarnel::powercut::NorFlashSim &sim, const std::vector<uint8_t> &pack,
                   const FotaSpareArea &spare, std::vector<uint8_t> &work)
{
    CountingPack counting{&pack};
    const FotaPackSource source{&counting, static_cast<uint32_t>(pack.size()), readCounting};
    const FotaFlash flash = sim.callbacks();
    const Clock::time_point start = Clock::now();
    CallCost cost;
    cost.result = FotaApplyPack(&flash, &source, &spare, work.data(), work.size());
    cost.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    cost.packBytes = counting.read;
    return cost;
}

} // namespace

int main(int argc, char **argv)
{
    using namespace quarnel;
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s OLD.lod NEW.lod [CUT_POINTS]\n", argv[0]);
        return 2;
    }
    const int cutPoints = argc == 4 ? std::atoi(argv[3]) : 12;
    const CodeArea area{0x08000000u, 0x10000u, 0x1FF0000u};
    LodPacketPtr oldLod;
    LodPacketPtr newLod;
    if (const int result = loadImagePair(area, argv[1], argv[2], oldLod, newLod)) {
        std::fprintf(stderr, "images: result %d\n", result);
        return 1;
    }
    const std::vector<uint8_t> oldImage = imageBytes(*oldLod);
    const std::vector<uint8_t> newImage = imageBytes(*newLod);
    std::vector<uint8_t> pack;
    uint32_t oldCrc = 0;
    if (const int result = buildPackBytes(oldImage, newImage, area.codeBase, area.codeBase, planUpdate, pack, oldCrc)) {
        std::fprintf(stderr, "pack: result %d\n", result);
        return 1;
    }
    verify::PackContents contents;
    verify::Findings findings;
    if (verify::readPack(pack, verify::maxStreamLength, contents, findings) != 0) {
        std::fprintf(stderr, "the pack does not read back\n");
        return 1;
    }
    const uint32_t areaEnd = area.codeBase + static_cast<uint32_t>(std::max(oldImage.size(), newImage.size()));
    std::vector<uint8_t> flash(areaEnd, 0xFF);
    std::copy(oldImage.begin(), oldImage.end(), flash.begin() + area.codeBase);
    const powercut::UpdateCase update =
        powercut::placeSpareArea(pack, std::move(flash), newImage, area.codeBase, areaEnd,
                                 static_cast<uint32_t>(contents.chunks.size()), 16);

    const FotaPackSource source = powercut::packSourceOf(update.pack);
    std::vector<uint8_t> work(FotaApplyWorkSize(&source));
    powercut::NorFlashSim sim(update.flash, {{0, static_cast<uint32_t>(update.flash.size())}}, 16, 1);
    const CallCost first = applyOnce(sim, update.pack, update.spare, work);
    const bool holdsNew = std::equal(newImage.begin(), newImage.end(), sim.bytes().begin() + area.codeBase);
    const uint64_t operations = sim.operations();
    const CallCost again = applyOnce(sim, update.pack, update.spare, work);
    const uint64_t stream = contents.stream.size();
    // The table ends where the first chunk's difference bytes begin.
    const uint64_t table = contents.chunks.empty() ? stream : contents.chunks.front().diffStart;
    std::printf("pack %zu bytes, stream %llu bytes (table %llu), %zu chunks, work memory %zu bytes\n", pack.size(),
                static_cast<unsigned long long>(stream), static_cast<unsigned long long>(table),
                contents.chunks.size(), work.size());
    std::printf("update call: result %d, %s, %llu erase and program calls, %.3f s, %llu pack bytes read, "
                "%llu stream bytes decoded (2 x stream)\n",
                first.result, holdsNew ? "new image in flash" : "NEW IMAGE MISSING",
                static_cast<unsigned long long>(operations), first.seconds,
                static_cast<unsigned long long>(first.packBytes), static_cast<unsigned long long>(2 * stream));
    std::printf("call on a done update: result %d, %.3f s, %llu pack bytes read, "
                "%llu stream bytes decoded (stream + table)\n",
                again.result, again.seconds, static_cast<unsigned long long>(again.packBytes),
                static_cast<unsigned long long>(stream + table));
    if (first.result != 0 || !holdsNew || again.result != 0)
        return 1;

    powercut::PowerCutRunner runner(update);
    std::string failure;
    const uint64_t calls = runner.countOperations(failure);
    int failed = 0;
    const powercut::CutMode modes[] = {powercut::CutMode::before, powercut::CutMode::torn,
                                       powercut::CutMode::after};
    const Clock::time_point start = Clock::now();
    for (int p = 0; p < cutPoints; ++p) {
        const powercut::Cut cut{calls * static_cast<uint64_t>(p) / static_cast<uint64_t>(cutPoints) + 1,
                                modes[p % 3]};
        const powercut::CutOutcome outcome = runner.run({cut}, static_cast<uint64_t>(p));
        if (!outcome.ok) {
            ++failed;
            std::printf("cut %s call %llu: %s\n", powercut::cutModeName(cut.mode),
                        static_cast<unsigned long long>(cut.operation), outcome.failure.c_str());
        }
    }
    std::printf("%d power cuts spread over %llu calls, each resumed: %d failed, %.1f s\n", cutPoints,
                static_cast<unsigned long long>(calls), failed,
                std::chrono::duration<double>(Clock::now() - start).count());
    return failed == 0 ? 0 : 1;
}
