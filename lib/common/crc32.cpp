#include "common/crc32.h"

#include <array>

namespace quarnel {

namespace {

// Entry n is n after eight reflected shift-and-xor rounds of the generator.
constexpr std::array<uint32_t, 256> makeCrcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t value = n;
        for (int round = 0; round < 8; ++round)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        table[n] = value;
    }
    return table;
}

constexpr std::array<uint32_t, 256> crcTable = makeCrcTable();

static_assert(crcTable[1] == 0x77073096u, "reflected CRC-32 table");

} // namespace

uint32_t packCrc32(const uint8_t *bytes, uint32_t length)
{
    // Starts at 0 and is not inverted at the end, unlike the common CRC-32.
    uint32_t crc = 0;
    for (uint32_t i = 0; i < length; ++i)
        crc = crcTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

} // namespace quarnel
