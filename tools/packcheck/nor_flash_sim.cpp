#include "packcheck/nor_flash_sim.h"

#include <stdexcept>

namespace quarnel::powercut {

NorFlashSim::NorFlashSim(std::vector<uint8_t> bytes, const std::vector<FlashRange> &writable, uint32_t programUnit,
                         uint64_t seed, NorPast past, const std::vector<NorSectorRun> &sectors)
    : bytes_(std::move(bytes)), unerased_((bytes_.size() + 7) / 8)
{
    if (writable.size() > norWritableAreas)
        throw std::invalid_argument("more writable areas than the flash model holds");
    if (sectors.size() > norSectorRuns)
        throw std::invalid_argument("more sector runs than the flash model holds");
    for (size_t i = 0; i < sectors.size(); ++i)
        model_.runs[i] = sectors[i];
    model_.runCount = static_cast<uint32_t>(sectors.size());
    model_.bytes = bytes_.data();
    model_.unerased = unerased_.data();
    model_.size = static_cast<uint32_t>(bytes_.size());
    for (size_t i = 0; i < writable.size(); ++i)
        model_.writable[i] = {writable[i].start, writable[i].end - writable[i].start};
    model_.programUnit = programUnit;
    model_.random = static_cast<uint32_t>(seed ^ (seed >> 32));
    norFlashLoad(&model_, model_.bytes, past);
    disarm();
}

void NorFlashSim::armCut(std::jmp_buf *target, uint64_t operation, CutMode mode)
{
    model_.calls = 0;
    model_.cutAt = operation < NOR_NO_CUT ? static_cast<uint32_t>(operation) : NOR_NO_CUT;
    model_.cutKind = mode == CutMode::before ? cutBeforeCall : mode == CutMode::torn ? cutInsideCall : cutAfterCall;
    model_.powerLost = target;
}

void NorFlashSim::disarm()
{
    model_.calls = 0;
    model_.cutAt = NOR_NO_CUT;
    model_.powerLost = nullptr;
}

std::vector<std::string> NorFlashSim::violations() const
{
    if (model_.faults == 0)
        return {};
    std::string text = model_.fault;
    if (model_.faults > 1)
        text += " and " + std::to_string(model_.faults - 1) + " more";
    return {text};
}

} // namespace quarnel::powercut
