#include "packcheck/sector_map.h"

#include <algorithm>

namespace quarnel::powercut {

namespace {

constexpr const char *notASize = ": not a size (digits, or 0x and hexadecimal digits, then K or M)";

int digitValue(char c, int base)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (base == 16 && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

constexpr uint64_t fourGiB = uint64_t{1} << 32;

// Reads the digits of base from text at `at` on into value, which stops growing at 4 GiB; false when there are none.
bool readDigits(const std::string &text, size_t &at, int base, uint64_t &value)
{
    const size_t first = at;
    value = 0;
    for (int digit; at < text.size() && (digit = digitValue(text[at], base)) >= 0; ++at)
        value = std::min(value * base + digit, fourGiB);
    return at > first;
}

std::string quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

// A byte count that ends where text does; "" with value set, or what is wrong.
std::string readByteCountOf(const std::string &text, uint64_t &value)
{
    // A leading 0 means nothing here: sizes are never octal, so "010K" is ten KiB.
    const bool hex = text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0;
    size_t at = hex ? 2 : 0;
    if (!readDigits(text, at, hex ? 16 : 10, value))
        return quoted(text) + notASize;
    uint64_t unit = 1;
    if (at + 1 == text.size() && (text[at] == 'K' || text[at] == 'k'))
        unit = 1024;
    else if (at + 1 == text.size() && (text[at] == 'M' || text[at] == 'm'))
        unit = 1024 * 1024;
    else if (at != text.size())
        return quoted(text) + notASize;
    value *= unit;
    return value >= fourGiB ? quoted(text) + ": 4 GiB or more" : "";
}

// One run, SIZE or SIZE*COUNT; "" with run set, or what is wrong.
std::string readRun(const std::string &text, NorSectorRun &run)
{
    const size_t star = text.find('*');
    uint64_t size = 0;
    if (std::string problem = readByteCountOf(text.substr(0, star), size); !problem.empty())
        return problem;
    if (size < smallestSector || size > largestSector || (size & (size - 1)) != 0)
        return quoted(text) + ": a sector size is a power of two from 256 bytes to 256 KiB";
    uint64_t count = 1;
    if (star != std::string::npos) {
        size_t at = star + 1;
        if (!readDigits(text, at, 10, count) || at != text.size())
            return quoted(text) + ": a run is SIZE or SIZE*COUNT, the count in decimal digits";
        if (count == 0)
            return quoted(text) + ": a run needs at least one sector";
        if (count * size > fourGiB)
            return quoted(text) + ": more than 4 GiB of sectors";
    }
    run = {static_cast<uint32_t>(count), static_cast<uint32_t>(size)};
    return "";
}

} // namespace

std::string readByteCount(const std::string &text, uint32_t &value)
{
    uint64_t count = 0;
    std::string problem = readByteCountOf(text, count);
    if (problem.empty())
        value = static_cast<uint32_t>(count);
    return problem;
}

std::string readSectorMap(const std::string &text, std::vector<NorSectorRun> &runs)
{
    std::vector<NorSectorRun> read;
    uint64_t end = 0;
    for (size_t start = 0; start <= text.size();) {
        const size_t comma = std::min(text.find(',', start), text.size());
        if (comma == start)
            return quoted(text) + ": an empty run";
        NorSectorRun run{};
        if (std::string problem = readRun(text.substr(start, comma - start), run); !problem.empty())
            return problem;
        read.push_back(run);
        end += uint64_t{run.count} * run.size;
        if (end > fourGiB)
            return quoted(text) + ": the sectors reach past 4 GiB";
        start = comma + 1;
    }
    if (read.size() > norSectorRuns)
        return quoted(text) + ": " + std::to_string(read.size()) + " runs, more than the " +
               std::to_string(norSectorRuns) + " the flash model holds";
    runs = std::move(read);
    return "";
}

uint64_t sectorMapEnd(const std::vector<NorSectorRun> &runs)
{
    uint64_t end = 0;
    for (const NorSectorRun &run : runs)
        end += uint64_t{run.count} * run.size;
    return end;
}

} // namespace quarnel::powercut
