#include "packcheck/power_cuts.h"

#include <cstring>

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

UpdateCase placeSpareArea(std::vector<uint8_t> pack, std::vector<uint8_t> flash, std::vector<uint8_t> newImage,
                          uint32_t newStart, uint32_t areaEnd, uint32_t chunkCount, uint32_t programUnit)
{
    UpdateCase update;
    update.spare.scratchOffset = roundUp(areaEnd, 65536);
    update.spare.stateOffset = update.spare.scratchOffset + 65536;
    update.spare.programUnit = programUnit;
    // The identity's slot and two records per chunk, in whole sectors.
    update.spare.stateLength = roundUp(roundUp(40, programUnit) + 2 * uint64_t{chunkCount} * programUnit, 4096);
    flash.resize(uint64_t{update.spare.stateOffset} + update.spare.stateLength, 0xFF);
    update.pack = std::move(pack);
    update.flash = std::move(flash);
    update.newImage = std::move(newImage);
    update.newStart = newStart;
    return update;
}

PowerCutRunner::PowerCutRunner(const UpdateCase &update) : update_(update)
{
    const FotaSpareArea &spare = update.spare;
    writable_ = {
        {update.newStart, static_cast<uint32_t>(update.newStart + update.newImage.size())},
        {spare.scratchOffset, spare.scratchOffset + 65536},
        {spare.stateOffset, spare.stateOffset + spare.stateLength},
    };
    // The signed call also keeps the digests of the pack's blocks.
    work_.resize(update.signature.empty() ? FOTA_APPLY_WORK_SIZE : FOTA_APPLY_SIGNED_WORK_SIZE);
}

uint64_t PowerCutRunner::countOperations(std::string &failure)
{
    NorFlashSim flash(update_.flash, writable_, update_.spare.programUnit, 1);
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
    NorFlashSim flash(update_.flash, writable_, update_.spare.programUnit, seed);
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
    // The simulator carries out no write outside the update's areas, so the rest of the flash is as it was.
    if (std::memcmp(flash.bytes().data() + update_.newStart, update_.newImage.data(), update_.newImage.size()) != 0) {
        outcome.failure = "the flash does not hold the new image";
        return outcome;
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
