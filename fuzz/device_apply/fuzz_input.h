// The input of fuzz_device_apply: a settings prefix, then one body or, for a changing store, two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "packcheck/nor_flash_sim.h"

namespace devicefuzz {

// What the flash holds when the first call starts.
enum class Start {
    oldImage, // the old image, as an update finds it
    finished, // what the host's replay of the pack leaves: an update whose records are gone
    damaged,  // the old image with one byte changed: neither image, for a pack to pass off as either
    forged,   // the replay's result with one unit changed and its checksum kept
};

struct Settings {
    uint32_t programUnit = 1;
    bool streamBody = false;    // the body is a decoded patch stream, encoded here with the 8 KiB window
    bool signedCall = false;    // FotaApplySignedPack with the fuzz key and the code area as image area
    bool changingStore = false; // the store switches to a second pack of the same size
    bool keepHeader = false;    // a pack body keeps its header fields as the input has them
    bool badSignature = false;  // the signature has a bit flipped
    bool spareSector = false;   // the state area has one sector more than the records need
    bool failingStore = false;  // one more call whose pack reads fail from the swap read on
    uint8_t sectorMap = 0;      // the flash's sectors: sectorMapOf (layout.h)
    quarnel::powercut::CutMode cutMode = quarnel::powercut::CutMode::before;
    Start start = Start::oldImage;
    uint32_t workOffset = 0; // the work memory's misalignment, 0 to 7
    uint16_t cutAt = 0;      // the erase or program call that loses power, modulo the uncut run's count
    uint16_t swapAt = 0;     // the pack read from which a store changes or fails, modulo the uncut run's reads
    uint16_t damageAt = 0;   // the byte a damaged or forged start changes
    uint8_t damageXor = 0x80;
};

// Bytes of settings before the body; the seed maker spells them the same way.
constexpr size_t settingsSize = 10;

struct FuzzInput {
    Settings settings;
    std::vector<uint8_t> body;       // a pack, or a patch stream
    std::vector<uint8_t> secondBody; // the changing store's second pack or stream: the body's second half
    uint64_t seed = 0;               // for the work memory's garbage and the torn bytes
};

// Byte 0: program unit 1 << (b % 9). Byte 1, bits: 0 stream body, 1 signed, 2 changing store, 3 keep
// header, 4 bad signature, 5-6 cut mode (before, torn, after, torn), 7 spare sector. Byte 2: start
// (b & 3), work offset (b >> 2 & 7), failing store (bit 5), sector map (b >> 6). Then u16s, high byte
// first: cut call, swap read, damage position; then the damage's xor value (0 reads as 0x80).
FuzzInput parseInput(const uint8_t *data, size_t size);

} // namespace devicefuzz
