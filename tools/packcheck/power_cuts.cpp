#include "packcheck/power_cuts.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace quarnel::powercut {

namespace {

uint32_t roundUp(uint64_t value, uint32_t unit)
{
    return static_cast<uint32_t>((value + unit - 1) / unit * unit);
}

int readPack(void *context, uint32_t offset, void *out, uint32_t length)
{
    const std::vector<uint8_t> &pack = *static_cast<const std::vector<uint8_t> *>(context);
    if (uint64_t{offset} + length > pack.size())
        return -1;
    std::memcpy(out, pack.data() + offset, length);
    return 0;
}

// Calls the applier once; returns true when the power was cut, else the applier's result in result.
bool applyOnce(NorFlashSim &flash, const UpdateCase &update, std::vector<uint8_t> &work, const Cut *cut,
               int &result)
{
    const FotaPackSource pack = packSourceOf(update.pack);
    const FotaFlash callbacks = flash.callbacks();
    std::jmp_buf cutTarget;
    if (cut != nullptr)
        flash.armCut(&cutTarget, cut->operation, cut->mode);
    else
        flash.disarm();
    // Only plain values live across the jump: the applier's frames hold no C++ objects.
    if (setjmp(cutTarget) != 0) {
        flash.disarm();
        return true;
    }
    if (update.signature.empty()) {
        result = FotaApplyPack(&callbacks, &pack, &update.spare, work.data(), work.size());
        return false;
    }
    const FotaTrust trust{update.publicKey.data(), update.signature.data(),
                          static_cast<uint32_t>(update.signature.size()), update.imageOffset, update.imageLength};
    result = FotaApplySignedPack(&callbacks, &pack, &trust, &update.spare, work.data(), work.size());
    return false;
}

void fillWithGarbage(std::vector<uint8_t> &work, uint64_t seed)
{
    uint64_t state = seed;
    for (uint8_t &byte : work) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        byte = static_cast<uint8_t>(state >> 56);
    }
}

} // namespace

FotaPackSource packSourceOf(const std::vector<uint8_t> &pack)
{
    FotaPackSource source{};
    source.context = const_cast<std::vector<uint8_t> *>(&pack);
    source.size = static_cast<uint32_t>(pack.size());
    source.read = readPack;
    return source;
}

const char *cutModeName(CutMode mode)
{
    switch (mode) {
    case CutMode::before:
        return "before";
    case CutMode::torn:
        return "torn";
    case CutMode::after:
        return "after";
    }
    return "";
}

FlashRange sectorOf(const std::vector<NorSectorRun> &sectors, uint32_t offset)
{
    uint64_t at = 0;
    for (const NorSectorRun &run : sectors) {
        const uint64_t end = at + uint64_t{run.count} * run.size;
        if (offset < end) {
            const uint64_t start = at + (offset - at) / run.size * run.size;
            return {static_cast<uint32_t>(start), static_cast<uint32_t>(start + run.size)};
        }
        at = end;
    }
    return {offset, offset};
}

namespace {

// Whole sectors from start until at least length bytes; their end.
uint32_t sectorsCovering(const std::vector<NorSectorRun> &sectors, uint32_t start, uint64_t length)
{
    uint64_t end = start;
    while (end < start + length) {
        const FlashRange sector = sectorOf(sectors, static_cast<uint32_t>(end));
        if (sector.end == sector.start)
            throw std::invalid_argument("the sector map ends before the spare area");
        end = sector.end;
    }
    return static_cast<uint32_t>(end);
}

} // namespace

UpdateCase placeSpareArea(std::vector<uint8_t> pack, std::vector<uint8_t> flash, std::vector<uint8_t> newImage,
                          uint32_t newStart, uint32_t areaEnd, uint32_t chunkCount, uint32_t programUnit,
                          const std::vector<NorSectorRun> &sectors, uint32_t scratchLength)
{
    UpdateCase update;
    // The identity's slot and two records per chunk.
    const uint64_t stateBytes = roundUp(sectors.empty() ? 40 : 44, programUnit) + 2 * uint64_t{chunkCount} * programUnit;
    update.spare.programUnit = programUnit;
    if (sectors.empty()) {
        update.spare.scratchOffset = roundUp(areaEnd, 65536);
        update.spare.stateOffset = update.spare.scratchOffset + 65536;
        update.spare.stateLength = roundUp(stateBytes, 4096);
    } else {
        const FlashRange first = sectorOf(sectors, newStart);
        const FlashRange last = sectorOf(sectors, areaEnd - 1);
        if (first.end == first.start || last.end == last.start)
            throw std::invalid_argument("the sector map does not reach the images");
        uint32_t largest = 65536;
        for (uint32_t at = first.start; at < last.end;) {
            const FlashRange sector = sectorOf(sectors, at);
            largest = std::max(largest, sector.end - sector.start);
            at = sector.end;
        }
        update.spare.scratchOffset = last.end;
        const uint32_t scratchEnd = sectorsCovering(sectors, last.end, scratchLength != 0 ? scratchLength : largest);
        update.spare.scratchLength = scratchEnd - last.end;
        update.spare.stateOffset = scratchEnd;
        update.spare.stateLength = sectorsCovering(sectors, scratchEnd, stateBytes) - scratchEnd;
    }
    flash.resize(uint64_t{update.spare.stateOffset} + update.spare.stateLength, 0xFF);
    update.pack = std::move(pack);
    update.flash = std::move(flash);
    update.newImage = std::move(newImage);
    update.newStart = newStart;
    update.sectors = sectors;
    return update;
}

PowerCutRunner::PowerCutRunner(const UpdateCase &update) : update_(update)
{
    const FotaSpareArea &spare = update.spare;
    const uint32_t newEnd = static_cast<uint32_t>(update.newStart + update.newImage.size());
    FlashRange image{update.newStart, newEnd};
    // The sectors the new image touches are rebuilt whole, the bytes of them outside it carried over.
    if (!update.sectors.empty())
        image = {sectorOf(update.sectors, update.newStart).start, sectorOf(update.sectors, newEnd - 1).end};
    writable_ = {
        image,
        {spare.scratchOffset, spare.scratchOffset + (spare.scratchLength != 0 ? spare.scratchLength : 65536)},
        {spare.stateOffset, spare.stateOffset + spare.stateLength},
    };
    // The signed call also keeps the digests of the pack's blocks.
    work_.resize(update.signature.empty() ? FOTA_APPLY_WORK_SIZE : FOTA_APPLY_SIGNED_WORK_SIZE);
}

uint64_t PowerCutRunner::countOperations(std::string &failure)
{
    NorFlashSim flash(update_.flash, writable_, update_.spare.programUnit, 1, norPastUnknown, update_.sectors);
    int result = -1;
    applyOnce(flash, update_, work_, nullptr, result);
    if (result != 0) {
        failure = std::string("the uncut run fails: ") + FotaApplyErrorMsg(result);
        for (const std::string &violation : flash.violations())
            failure += " (" + violation + ")";
        return 0;
    }
    return flash.operations();
}

CutOutcome PowerCutRunner::run(const std::vector<Cut> &cuts, uint64_t seed)
{
    CutOutcome outcome;
    NorFlashSim flash(update_.flash, writable_, update_.spare.programUnit, seed, norPastUnknown, update_.sectors);
    for (size_t i = 0; i <= cuts.size(); ++i) {
        fillWithGarbage(work_, seed + i);
        const Cut *cut = i < cuts.size() ? &cuts[i] : nullptr;
        int result = -1;
        const bool wasCut = applyOnce(flash, update_, work_, cut, result);
        if (!flash.violations().empty()) {
            outcome.failure = "call " + std::to_string(i) + ": " + flash.violations().front();
            return outcome;
        }
        if (!wasCut && result != 0) {
            outcome.failure = "call " + std::to_string(i) + " fails: " + FotaApplyErrorMsg(result);
            return outcome;
        }
        // The update finished before this call reached its cut: the later cuts have nothing left to cut.
        if (!wasCut)
            break;
    }
    if (std::memcmp(flash.bytes().data() + update_.newStart, update_.newImage.data(), update_.newImage.size()) != 0) {
        outcome.failure = "the flash does not hold the new image";
        return outcome;
    }
    // Bytes the update may erase but must keep: those of its sectors outside the new image.
    const FotaSpareArea &spare = update_.spare;
    std::vector<FlashRange> rewritten = {
        {update_.newStart, static_cast<uint32_t>(update_.newStart + update_.newImage.size())},
        writable_[1],
        {spare.stateOffset, spare.stateOffset + spare.stateLength},
    };
    std::sort(rewritten.begin(), rewritten.end(),
              [](const FlashRange &a, const FlashRange &b) { return a.start < b.start; });
    uint32_t kept = 0;
    rewritten.push_back({static_cast<uint32_t>(update_.flash.size()), static_cast<uint32_t>(update_.flash.size())});
    for (const FlashRange &range : rewritten) {
        if (range.start > kept &&
            std::memcmp(flash.bytes().data() + kept, update_.flash.data() + kept, range.start - kept) != 0) {
            outcome.failure = "a byte outside the new image and the spare area changed, in [" +
                              std::to_string(kept) + ", " + std::to_string(range.start) + ")";
            return outcome;
        }
        kept = std::max(kept, range.end);
    }
    outcome.ok = true;
    return outcome;
}

} // namespace quarnel::powercut

namespace quarnel::powercut {

SweepResult sweepEveryCut(const UpdateCase &update, uint64_t stride)
{
    SweepResult sweep;
    PowerCutRunner runner(update);
    std::string failure;
    sweep.operations = runner.countOperations(failure);
    if (!failure.empty()) {
        sweep.failures.push_back(failure);
        return sweep;
    }
    for (uint64_t operation = 0; operation < sweep.operations; operation += stride) {
        for (const CutMode mode : {CutMode::before, CutMode::torn, CutMode::after}) {
            ++sweep.cutPoints;
            const CutOutcome outcome = runner.run({{operation, mode}}, operation * 3 + uint64_t(mode));
            if (!outcome.ok)
                sweep.failures.push_back("cut " + std::string(cutModeName(mode)) + " call " +
                                         std::to_string(operation) + ": " + outcome.failure);
        }
    }
    return sweep;
}

} // namespace quarnel::powercut
