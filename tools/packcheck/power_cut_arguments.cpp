#include "packcheck/power_cut_arguments.h"

#include <cstdlib>
#include <cstring>

#include "packcheck/sector_map.h"

namespace quarnel::powercut {

namespace {

// A program unit for the simulated flash: 1, 2, 4 ... 256, or 0 when the text is none of them.
uint32_t programUnitOf(const char *text)
{
    const unsigned long unit = std::strtoul(text, nullptr, 0);
    return unit >= 1 && unit <= 256 && (unit & (unit - 1)) == 0 ? static_cast<uint32_t>(unit) : 0;
}

// Reads the option at words[at] and its value, moving at past both; "" or what is wrong, naming the option.
std::string readOption(const std::vector<const char *> &words, size_t &at, SimulatedFlash &flash, bool &sectorsSeen,
                       bool &scratchSeen)
{
    const std::string name = words[at];
    bool &seen = name == "--sectors" ? sectorsSeen : scratchSeen;
    if (seen)
        return name + ": given twice";
    seen = true;
    if (++at == words.size())
        return name + ": no value follows";
    const std::string value = words[at++];
    std::string problem = name == "--sectors" ? readSectorMap(value, flash.sectors)
                                              : readByteCount(value, flash.scratchLength);
    if (problem.empty() && name == "--scratch" && flash.scratchLength == 0)
        problem = "\"" + value + "\": a scratch of no bytes";
    return problem.empty() ? problem : name + " " + problem;
}

} // namespace

bool readPowerCutArguments(const std::vector<const char *> &words, PowerCutArguments &arguments,
                           std::string &problem)
{
    problem.clear();
    bool sectorsSeen = false;
    bool scratchSeen = false;
    std::vector<const char *> operands;
    for (size_t at = 0; at < words.size();) {
        if (std::strcmp(words[at], "--sectors") != 0 && std::strcmp(words[at], "--scratch") != 0) {
            operands.push_back(words[at++]);
            continue;
        }
        problem = readOption(words, at, arguments.flash, sectorsSeen, scratchSeen);
        if (!problem.empty())
            return false;
    }
    if (scratchSeen && !sectorsSeen) {
        problem = "--scratch needs --sectors: without a sector map the scratch is 64 KiB";
        return false;
    }
    if (operands.size() != 5 && operands.size() != 6)
        return false;
    if (operands.size() == 6 && (arguments.flash.programUnit = programUnitOf(operands[5])) == 0)
        return false;
    operands.resize(5);
    arguments.operands = operands;
    return true;
}

} // namespace quarnel::powercut
