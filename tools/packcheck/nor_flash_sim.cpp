#include "packcheck/nor_flash_sim.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quarnel::powercut {

NorFlashSim::NorFlashSim(std::vector<uint8_t> bytes, std::vector<FlashRange> writable, uint32_t programUnit,
                         uint64_t seed)
    : bytes_(std::move(bytes)), programmed_(bytes_.size(), 0), writable_(std::move(writable)),
      programUnit_(programUnit), randomState_(seed)
{
}

FotaFlash NorFlashSim::callbacks()
{
    FotaFlash flash;
    flash.context = this;
    flash.read = &NorFlashSim::read;
    flash.erase = &NorFlashSim::erase;
    flash.program = &NorFlashSim::program;
    return flash;
}

void NorFlashSim::armCut(std::jmp_buf *target, uint64_t operation, CutMode mode)
{
    cutTarget_ = target;
    cutOperation_ = operation;
    cutMode_ = mode;
    operations_ = 0;
}

void NorFlashSim::disarm()
{
    cutTarget_ = nullptr;
    operations_ = 0;
}

uint64_t NorFlashSim::random()
{
    uint64_t z = (randomState_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool NorFlashSim::inRange(uint32_t offset, uint32_t length) const
{
    return uint64_t{offset} + length <= bytes_.size();
}

bool NorFlashSim::writable(uint32_t offset, uint32_t length) const
{
    return std::any_of(writable_.begin(), writable_.end(), [&](const FlashRange &range) {
        return offset >= range.start && uint64_t{offset} + length <= range.end;
    });
}

void NorFlashSim::violation(const char *what, uint32_t offset, uint32_t length)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s at 0x%08X, %u bytes", what, offset, length);
    violations_.emplace_back(text);
}

bool NorFlashSim::cutsNow(CutMode &mode)
{
    const uint64_t operation = operations_++;
    mode = cutMode_;
    return cutTarget_ != nullptr && operation == cutOperation_;
}

// The cut paths leave by longjmp: nothing with a destructor may be alive in these frames.
int NorFlashSim::read(void *context, uint32_t offset, void *out, uint32_t length)
{
    NorFlashSim &self = *static_cast<NorFlashSim *>(context);
    if (!self.inRange(offset, length))
        return -1;
    std::memcpy(out, self.bytes_.data() + offset, length);
    return 0;
}

int NorFlashSim::erase(void *context, uint32_t offset, uint32_t length)
{
    NorFlashSim &self = *static_cast<NorFlashSim *>(context);
    CutMode mode;
    const bool cut = self.cutsNow(mode);
    if ((length != 4096 && length != 32768 && length != 65536) || offset % length != 0 ||
        !self.inRange(offset, length) || !self.writable(offset, length)) {
        self.violation("erase outside the allowed areas or off its unit", offset, length);
        return -1;
    }
    if (cut && mode == CutMode::before)
        std::longjmp(*self.cutTarget_, 1);
    uint8_t *unit = self.bytes_.data() + offset;
    if (cut && mode == CutMode::torn) {
        // A partial erase leaves any bytes at all.
        for (uint32_t i = 0; i < length; ++i)
            unit[i] = static_cast<uint8_t>(self.random());
        std::memset(self.programmed_.data() + offset, 0, length);
        std::longjmp(*self.cutTarget_, 1);
    }
    std::memset(unit, 0xFF, length);
    std::memset(self.programmed_.data() + offset, 0, length);
    if (cut)
        std::longjmp(*self.cutTarget_, 1);
    return 0;
}

int NorFlashSim::program(void *context, uint32_t offset, const void *data, uint32_t length)
{
    NorFlashSim &self = *static_cast<NorFlashSim *>(context);
    CutMode mode;
    const bool cut = self.cutsNow(mode);
    if (length == 0 || offset % self.programUnit_ != 0 || length % self.programUnit_ != 0 ||
        !self.inRange(offset, length) || !self.writable(offset, length)) {
        self.violation("program outside the allowed areas or off the program unit", offset, length);
        return -1;
    }
    uint8_t *cells = self.bytes_.data() + offset;
    uint8_t *programmed = self.programmed_.data() + offset;
    for (uint32_t i = 0; i < length; ++i) {
        if (cells[i] != 0xFF || programmed[i] != 0) {
            self.violation("program of a byte not erased since it was last written", offset + i, 1);
            return -1;
        }
    }
    if (cut && mode == CutMode::before)
        std::longjmp(*self.cutTarget_, 1);
    const uint8_t *in = static_cast<const uint8_t *>(data);
    if (cut && mode == CutMode::torn) {
        // A prefix is written; of the rest, some of the bits the data clears are cleared.
        const uint32_t prefix = static_cast<uint32_t>(self.random() % length);
        for (uint32_t i = 0; i < length; ++i) {
            const uint8_t cleared = i < prefix ? uint8_t(~in[i]) : uint8_t(~in[i] & self.random());
            cells[i] = uint8_t(cells[i] & ~cleared);
            programmed[i] = i < prefix;
        }
        std::longjmp(*self.cutTarget_, 1);
    }
    for (uint32_t i = 0; i < length; ++i) {
        cells[i] = uint8_t(cells[i] & in[i]);
        programmed[i] = 1;
    }
    if (cut)
        std::longjmp(*self.cutTarget_, 1);
    return 0;
}

} // namespace quarnel::powercut
