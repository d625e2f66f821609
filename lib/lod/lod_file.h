// Reading LOD text dumps into sections of 32-bit words.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace quarnel {

// One contiguous LOD section; its bytes are the words, each least significant byte first.
class LodPacket {
public:
    uint32_t address = 0;
    std::vector<uint32_t> words;

    // Overwrites the word holding byte address addr, if the section holds it.
    void writeWord(uint32_t addr, uint32_t value);
};

using LodPacketPtr = std::shared_ptr<LodPacket>;

// Orders sections by address as unsigned values.
bool packetAddressLess(const LodPacketPtr &a, const LodPacketPtr &b);

// A parsed LOD file: its sections and the value of its boot-sector tag.
class LodFile {
public:
    std::vector<LodPacketPtr> packets;
    int32_t bootSector = -1;

    // False when the file cannot be opened, is empty or cannot be read whole.
    bool load(const char *path);
    // Sorts the sections by address and joins those that continue one another.
    void mergePackets();
};

// The number rule for addresses, words and tag values: a signed 64-bit
// hexadecimal conversion of [text, end) that saturates and never fails.
int64_t parseLodNumber(const char *text, const char *end);

} // namespace quarnel
