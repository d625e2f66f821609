#include "device_apply/start_flash.h"

#include <algorithm>
#include <array>

#include "common/crc32.h"
#include "support.h"

namespace devicefuzz {

Bytes pristineFlash(const Bytes &oldImage)
{
    Bytes flash(flashSize, 0xFF);
    fuzzsupport::SplitMix boot(0xB007);
    for (uint32_t i = 0; i < codeBase; ++i)
        flash[i] = static_cast<uint8_t>(boot.next());
    std::copy(oldImage.begin(), oldImage.end(), flash.begin() + codeBase);
    fuzzsupport::SplitMix earlier(0xE4C1);
    for (size_t i = codeBase + oldImage.size(); i < codeArea.end; ++i)
        flash[i] = static_cast<uint8_t>(earlier.next());
    return flash;
}

Bytes codeAreaOf(const Bytes &flash)
{
    return Bytes(flash.begin() + codeBase, flash.begin() + codeArea.end);
}

Bytes withCodeArea(Bytes flash, const Bytes &code)
{
    std::copy(code.begin(), code.end(), flash.begin() + codeBase);
    return flash;
}

namespace {

// The four bytes whose pack checksum is want: the checksum of four bytes is a bijective linear map
// of their 32 bits, solved here column by column.
std::array<uint8_t, 4> bytesWithCrc(uint32_t want)
{
    uint32_t rows[32];
    uint32_t inputs[32];
    for (int bit = 0; bit < 32; ++bit) {
        const uint32_t word = 1u << bit;
        const uint8_t bytes[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)};
        rows[bit] = quarnel::packCrc32(bytes, 4);
        inputs[bit] = word;
    }
    uint32_t solution = 0;
    // Gauss-Jordan elimination: afterwards rows[bit] is that bit alone, made from inputs[bit].
    for (int bit = 0; bit < 32; ++bit) {
        int pivot = bit;
        while (pivot < 32 && !(rows[pivot] >> bit & 1u))
            ++pivot;
        if (pivot == 32)
            fuzzsupport::fail("the checksum of four bytes is not invertible");
        std::swap(rows[bit], rows[pivot]);
        std::swap(inputs[bit], inputs[pivot]);
        for (int other = 0; other < 32; ++other) {
            if (other != bit && (rows[other] >> bit & 1u)) {
                rows[other] ^= rows[bit];
                inputs[other] ^= inputs[bit];
            }
        }
    }
    for (int bit = 0; bit < 32; ++bit)
        if (want >> bit & 1u)
            solution ^= inputs[bit];
    return {uint8_t(solution), uint8_t(solution >> 8), uint8_t(solution >> 16), uint8_t(solution >> 24)};
}

} // namespace

void changeKeepingCrc(uint8_t *bytes, uint32_t length, uint32_t at, uint8_t delta)
{
    // With a register starting at 0 the checksum is linear and leading zeros leave it at 0, so the
    // change's own checksum is that of delta followed by the bytes after it, all zero.
    std::vector<uint8_t> change(length - at, 0);
    change[0] = delta;
    const std::array<uint8_t, 4> fix = bytesWithCrc(quarnel::packCrc32(change.data(), length - at));
    bytes[at] ^= delta;
    for (int i = 0; i < 4; ++i)
        bytes[length - 4 + i] ^= fix[i];
}

Bytes startFlash(const Settings &settings, const Bytes &pristine, uint32_t oldSize,
                 const std::optional<Bytes> &replayed, const std::vector<Region> &units)
{
    if (settings.start == Start::damaged) {
        Bytes flash = pristine;
        flash[codeBase + settings.damageAt % oldSize] ^= settings.damageXor;
        return flash;
    }
    if (settings.start == Start::oldImage || !replayed)
        return pristine;
    Bytes flash = withCodeArea(pristine, *replayed);
    std::vector<Region> inside;
    for (const Region &unit : units)
        if (codeArea.holds(unit.start, unit.end - unit.start))
            inside.push_back(unit);
    if (settings.start == Start::forged && !inside.empty()) {
        const Region &unit = inside[settings.damageAt % inside.size()];
        const uint32_t length = static_cast<uint32_t>(unit.end - unit.start);
        const uint32_t crc = quarnel::packCrc32(&flash[unit.start], length);
        changeKeepingCrc(&flash[unit.start], length, settings.damageAt % (length - 4), settings.damageXor);
        // Else the start would be a plainly damaged unit, which any applier refuses.
        if (quarnel::packCrc32(&flash[unit.start], length) != crc)
            fuzzsupport::fail("the forged unit's checksum changed");
    }
    return flash;
}

} // namespace devicefuzz
