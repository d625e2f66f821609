// Applies a pack with the device applier on a simulated NOR flash and prints
// what one call costs: its processor time on the host and the pack bytes it
// reads, for the update and for a call that finds it done; the bytes the
// update erases and programs in the image, the scratch and the state area,
// and the groups it leaves alone because they hold their new bytes already;
// the signed call's time beside the unsigned one's; then cuts the power at
// calls spread over the update, each followed by a resume that must end with
// the new image.
//
// usage: device_bench OLD.lod NEW.lod [CUT_POINTS] [--sectors MAP] [--scratch SIZE]
// The code area starts at 0x08010000 in a 32 MiB flash, so a 16 MiB pair fits. MAP and SIZE are read
// as packcheck --power-cuts reads them: the flash's sectors from offset 0, and the least scratch.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "flash_work.h"
#include "lod/code_image.h"
#include "pack/pack_builder.h"
#include "pack/planner.h"
#include "packcheck/chunk_groups.h"
#include "packcheck/power_cuts.h"
#include "packcheck/sector_map.h"
#include "quarnel_apply.h"
#include "signing/signing.h"
#include "verify/pack_reader.h"

namespace {

using namespace quarnel;
using Clock = std::chrono::steady_clock;
using ull = unsigned long long;

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

// One call, unsigned or (with trust) signed, on the given flash callbacks.
CallCost applyOnce(const FotaFlash &flash, const powercut::UpdateCase &update, const FotaTrust *trust,
                   std::vector<uint8_t> &work)
{
    CountingPack counting{&update.pack};
    const FotaPackSource source{&counting, static_cast<uint32_t>(update.pack.size()), readCounting};
    // Processor time rather than the clock's: the machines this runs on are shared.
    const std::clock_t start = std::clock();
    CallCost cost;
    cost.result = trust != nullptr
                      ? FotaApplySignedPack(&flash, &source, trust, &update.spare, work.data(), work.size())
                      : FotaApplyPack(&flash, &source, &update.spare, work.data(), work.size());
    cost.seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
    cost.packBytes = counting.read;
    return cost;
}

powercut::NorFlashSim simOf(const powercut::UpdateCase &update)
{
    return powercut::NorFlashSim(update.flash, {{0, static_cast<uint32_t>(update.flash.size())}},
                                 update.spare.programUnit, 1, norPastUnknown, update.sectors);
}

struct Options {
    const char *oldPath = nullptr;
    const char *newPath = nullptr;
    int cutPoints = 12;
    std::vector<NorSectorRun> sectors;
    uint32_t scratchLength = 0;
};

// Reads the command line; false with the reason printed when it cannot be used.
bool readOptions(int argc, char **argv, Options &options)
{
    std::vector<const char *> operands;
    for (int i = 1; i < argc; ++i) {
        const bool sectors = std::strcmp(argv[i], "--sectors") == 0;
        if (!sectors && std::strcmp(argv[i], "--scratch") != 0) {
            operands.push_back(argv[i]);
            continue;
        }
        if (++i == argc) {
            std::fprintf(stderr, "%s: no value follows\n", argv[i - 1]);
            return false;
        }
        const std::string problem = sectors ? powercut::readSectorMap(argv[i], options.sectors)
                                            : powercut::readByteCount(argv[i], options.scratchLength);
        if (!problem.empty()) {
            std::fprintf(stderr, "%s %s\n", argv[i - 1], problem.c_str());
            return false;
        }
    }
    if (operands.size() != 2 && operands.size() != 3) {
        std::fprintf(stderr, "usage: %s OLD.lod NEW.lod [CUT_POINTS] [--sectors MAP] [--scratch SIZE]\n", argv[0]);
        return false;
    }
    options.oldPath = operands[0];
    options.newPath = operands[1];
    options.cutPoints = operands.size() == 3 ? std::atoi(operands[2]) : 12;
    return true;
}

void printArea(const char *name, const bench::AreaWork &area)
{
    std::printf("  %-8s %10llu bytes erased in %5u erases, %10llu bytes programmed\n", name,
                static_cast<ull>(area.erased), area.erases, static_cast<ull>(area.programmed));
}

// One uncut update with its flash work counted: per area, and the groups it rebuilt or left alone.
bool reportFlashWork(const powercut::UpdateCase &update, const std::vector<verify::StreamChunk> &chunks)
{
    powercut::NorFlashSim sim = simOf(update);
    bench::CountingFlash counting(sim.callbacks(), update.spare);
    std::vector<uint8_t> work(FOTA_APPLY_WORK_SIZE);
    const int result = applyOnce(counting.callbacks(), update, nullptr, work).result;
    const std::vector<powercut::ChunkGroup> groups = powercut::chunkGroups(chunks, update.sectors);
    size_t leftAlone = 0;
    uint64_t leftAloneBytes = 0;
    for (const powercut::ChunkGroup &group : groups) {
        const bool erased = std::any_of(counting.imageErases.begin(), counting.imageErases.end(),
                                        [&group](const powercut::FlashRange &erase) {
                                            return erase.start < group.sectors.end && erase.end > group.sectors.start;
                                        });
        leftAlone += erased ? 0 : 1;
        leftAloneBytes += erased ? 0 : group.sectors.end - group.sectors.start;
    }
    std::printf("flash work of the update (result %d), scratch %u bytes, state area %u bytes:\n", result,
                update.spare.scratchLength != 0 ? update.spare.scratchLength : 65536, update.spare.stateLength);
    printArea("image", counting.image);
    printArea("scratch", counting.scratch);
    printArea("state", counting.state);
    std::printf("  groups   %zu of %zu chunks; %zu left alone, holding their new bytes already (%llu bytes)\n",
                groups.size(), chunks.size(), leftAlone, static_cast<ull>(leftAloneBytes));
    return result == 0 && sim.violations().empty();
}

struct CallTimes {
    double update = 1e30;
    double done = 1e30;
    bool ok = true;
};

// One update from the old image and one call after it that finds it done; the fastest of each kept.
void timeCalls(const powercut::UpdateCase &update, const FotaTrust *trust, CallTimes &times)
{
    std::vector<uint8_t> work(trust != nullptr ? FOTA_APPLY_SIGNED_WORK_SIZE : FOTA_APPLY_WORK_SIZE);
    powercut::NorFlashSim sim = simOf(update);
    const FotaFlash flash = sim.callbacks();
    const CallCost first = applyOnce(flash, update, trust, work);
    const CallCost again = applyOnce(flash, update, trust, work);
    times.ok = times.ok && first.result == 0 && again.result == 0;
    times.update = std::min(times.update, first.seconds);
    times.done = std::min(times.done, again.seconds);
}

// The signed call against the unsigned one, the pack signed with a fresh key, its image area the sectors
// the images occupy. The two alternate, so that a busy spell on the machine slows both alike.
bool reportSignedCost(const powercut::UpdateCase &update, uint32_t codeBase)
{
    signing::Key key;
    std::string error;
    if (!signing::makeKey(key, error)) {
        std::fprintf(stderr, "key: %s\n", error.c_str());
        return false;
    }
    const signing::Bytes signature = signing::signHash(key, signing::sha256(update.pack.data(), update.pack.size()));
    const uint32_t imageStart = update.sectors.empty() ? codeBase : powercut::sectorOf(update.sectors, codeBase).start;
    const FotaTrust trust{key.point.data(), signature.data(), static_cast<uint32_t>(signature.size()), imageStart,
                          update.spare.scratchOffset - imageStart};
    constexpr int runs = 15;
    CallTimes plain;
    CallTimes signedCalls;
    for (int run = 0; run < runs; ++run) {
        timeCalls(update, nullptr, plain);
        timeCalls(update, &trust, signedCalls);
    }
    std::printf("fastest of %d, processor time: update call %.4f s unsigned, %.4f s signed (+%.4f s); call on a "
                "done update %.4f s unsigned, %.4f s signed (+%.4f s)\n",
                runs, plain.update, signedCalls.update, signedCalls.update - plain.update, plain.done,
                signedCalls.done, signedCalls.done - plain.done);
    return plain.ok && signedCalls.ok;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!readOptions(argc, argv, options))
        return 2;
    const CodeArea area{0x08000000u, 0x10000u, 0x1FF0000u};
    LodPacketPtr oldLod;
    LodPacketPtr newLod;
    if (const int result = loadImagePair(area, options.oldPath, options.newPath, oldLod, newLod)) {
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
    if (!options.sectors.empty() && powercut::sectorMapEnd(options.sectors) < areaEnd) {
        std::fprintf(stderr, "--sectors: the map ends before the images do\n");
        return 2;
    }
    powercut::UpdateCase update;
    try {
        update = powercut::placeSpareArea(pack, std::move(flash), newImage, area.codeBase, areaEnd,
                                          static_cast<uint32_t>(contents.chunks.size()), 16, options.sectors,
                                          options.scratchLength);
    } catch (const std::invalid_argument &) {
        std::fprintf(stderr, "--sectors: the map leaves no room for the scratch and the state area\n");
        return 2;
    }

    std::vector<uint8_t> work(FOTA_APPLY_WORK_SIZE);
    powercut::NorFlashSim sim = simOf(update);
    const CallCost first = applyOnce(sim.callbacks(), update, nullptr, work);
    const bool holdsNew = std::equal(newImage.begin(), newImage.end(), sim.bytes().begin() + area.codeBase);
    const uint64_t operations = sim.operations();
    const CallCost again = applyOnce(sim.callbacks(), update, nullptr, work);
    const uint64_t stream = contents.stream.size();
    // The table ends where the first chunk's difference bytes begin.
    const uint64_t table = contents.chunks.empty() ? stream : contents.chunks.front().diffStart;
    std::printf("pack %zu bytes, stream %llu bytes (table %llu), %zu chunks, work memory %zu bytes\n", pack.size(),
                static_cast<ull>(stream), static_cast<ull>(table), contents.chunks.size(), work.size());
    std::printf("update call: result %d, %s, %llu erase and program calls, %.3f s processor time, %llu pack bytes "
                "read\n",
                first.result, holdsNew ? "new image in flash" : "NEW IMAGE MISSING", static_cast<ull>(operations),
                first.seconds, static_cast<ull>(first.packBytes));
    std::printf("call on a done update: result %d, %.3f s processor time, %llu pack bytes read\n", again.result,
                again.seconds,
                static_cast<ull>(again.packBytes));
    if (first.result != 0 || !holdsNew || again.result != 0)
        return 1;
    if (!reportFlashWork(update, contents.chunks) || !reportSignedCost(update, area.codeBase))
        return 1;

    powercut::PowerCutRunner runner(update);
    std::string failure;
    const uint64_t calls = runner.countOperations(failure);
    int failed = 0;
    const powercut::CutMode modes[] = {powercut::CutMode::before, powercut::CutMode::torn,
                                       powercut::CutMode::after};
    const Clock::time_point start = Clock::now();
    for (int p = 0; p < options.cutPoints; ++p) {
        const powercut::Cut cut{calls * static_cast<uint64_t>(p) / static_cast<uint64_t>(options.cutPoints) + 1,
                                modes[p % 3]};
        const powercut::CutOutcome outcome = runner.run({cut}, static_cast<uint64_t>(p));
        if (!outcome.ok) {
            ++failed;
            std::printf("cut %s call %llu: %s\n", powercut::cutModeName(cut.mode), static_cast<ull>(cut.operation),
                        outcome.failure.c_str());
        }
    }
    std::printf("%d power cuts spread over %llu calls, each resumed: %d failed, %.1f s\n", options.cutPoints,
                static_cast<ull>(calls), failed, std::chrono::duration<double>(Clock::now() - start).count());
    return failed == 0 ? 0 : 1;
}
