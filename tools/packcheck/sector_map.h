// Flash geometry as an integrator writes it on a command line: "16K*4,64K,128K*7" and sizes such as "128K".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nor_flash.h"

namespace quarnel::powercut {

// Sizes the applier accepts for one sector.
constexpr uint32_t smallestSector = 256;
constexpr uint32_t largestSector = 256 * 1024;

// A byte count: decimal digits, or 0x and hexadecimal digits, then optionally K (KiB) or M (MiB).
// Returns "" with value set, or what is wrong with the text.
std::string readByteCount(const std::string &text, uint32_t &value);

// Runs of sectors one after another from flash offset 0, separated by commas, each SIZE or
// SIZE*COUNT: a size a power of two from 256 bytes to 256 KiB, a count of at least 1, at most
// norSectorRuns runs and 4 GiB in all. Returns "" with runs set, or what is wrong with the text.
std::string readSectorMap(const std::string &text, std::vector<NorSectorRun> &runs);

// One past the last byte of the map's last sector.
uint64_t sectorMapEnd(const std::vector<NorSectorRun> &runs);

} // namespace quarnel::powercut
