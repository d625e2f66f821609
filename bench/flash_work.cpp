#include "flash_work.h"

namespace quarnel::bench {

CountingFlash::CountingFlash(const FotaFlash &inner, const FotaSpareArea &spare)
    : inner_(inner),
      scratchArea_{spare.scratchOffset, spare.scratchOffset + (spare.scratchLength != 0 ? spare.scratchLength : 65536)},
      stateArea_{spare.stateOffset, spare.stateOffset + spare.stateLength}
{
}

FotaFlash CountingFlash::callbacks()
{
    // The progress callback stays out: the bench measures flash work, not a watchdog.
    return {this, read, erase, program, nullptr, inner_.sectorAt != nullptr ? sectorAt : nullptr};
}

AreaWork &CountingFlash::areaOf(uint32_t offset)
{
    if (offset >= scratchArea_.start && offset < scratchArea_.end)
        return scratch;
    if (offset >= stateArea_.start && offset < stateArea_.end)
        return state;
    return image;
}

int CountingFlash::read(void *context, uint32_t offset, void *out, uint32_t length)
{
    const CountingFlash &self = *static_cast<const CountingFlash *>(context);
    return self.inner_.read(self.inner_.context, offset, out, length);
}

int CountingFlash::erase(void *context, uint32_t offset, uint32_t length)
{
    CountingFlash &self = *static_cast<CountingFlash *>(context);
    AreaWork &area = self.areaOf(offset);
    area.erases += 1;
    area.erased += length;
    if (&area == &self.image)
        self.imageErases.push_back({offset, offset + length});
    return self.inner_.erase(self.inner_.context, offset, length);
}

int CountingFlash::program(void *context, uint32_t offset, const void *data, uint32_t length)
{
    CountingFlash &self = *static_cast<CountingFlash *>(context);
    self.areaOf(offset).programmed += length;
    return self.inner_.program(self.inner_.context, offset, data, length);
}

int CountingFlash::sectorAt(void *context, uint32_t offset, uint32_t *start, uint32_t *length)
{
    const CountingFlash &self = *static_cast<const CountingFlash *>(context);
    return self.inner_.sectorAt(self.inner_.context, offset, start, length);
}

} // namespace quarnel::bench
