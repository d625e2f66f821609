#include "device_apply/fuzz_input.h"

#include "common/crc32.h"
#include "support.h"

namespace devicefuzz {

using quarnel::powercut::CutMode;

FuzzInput parseInput(const uint8_t *data, size_t size)
{
    fuzzsupport::InputReader reader(data, size);
    FuzzInput input;
    Settings &settings = input.settings;
    settings.programUnit = 1u << (reader.byte() % 9);
    const uint8_t flags = reader.byte();
    settings.streamBody = flags & 0x01;
    settings.signedCall = flags & 0x02;
    settings.changingStore = flags & 0x04;
    settings.keepHeader = flags & 0x08;
    settings.badSignature = flags & 0x10;
    static constexpr CutMode modes[] = {CutMode::before, CutMode::torn, CutMode::after, CutMode::torn};
    settings.cutMode = modes[flags >> 5 & 3];
    settings.spareSector = flags & 0x80;
    const uint8_t placement = reader.byte();
    settings.start = static_cast<Start>(placement & 3);
    settings.workOffset = placement >> 2 & 7;
    settings.failingStore = placement & 0x20;
    settings.sectorMap = placement >> 6;
    settings.cutAt = reader.u16();
    settings.swapAt = reader.u16();
    settings.damageAt = reader.u16();
    const uint8_t damage = reader.byte();
    settings.damageXor = damage != 0 ? damage : 0x80;

    const uint8_t *body = reader.rest();
    const size_t length = reader.left();
    const size_t firstLength = settings.changingStore ? length / 2 : length;
    input.body.assign(body, body + firstLength);
    if (settings.changingStore)
        input.secondBody.assign(body + firstLength, body + length);
    input.seed = quarnel::packCrc32(data, static_cast<uint32_t>(size)) | uint64_t{size} << 32;
    return input;
}

} // namespace devicefuzz
