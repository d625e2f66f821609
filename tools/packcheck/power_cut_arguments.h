// How packcheck --power-cuts reads the arguments after its name.
#pragma once

#include <string>
#include <vector>

#include "packcheck/power_cut_command.h"

namespace quarnel::powercut {

struct PowerCutArguments {
    std::vector<const char *> operands; // flashsize codebase oldlod newlod pack
    SimulatedFlash flash;
};

// Reads the five operands, an optional program unit (1, 2, 4 ... 256) after them, and the
// options --sectors MAP and --scratch SIZE anywhere among them. Returns true when they can be
// used; otherwise problem names the option whose value is wrong, or is empty when the usage
// lines tell what is (a count of operands, a program unit).
bool readPowerCutArguments(const std::vector<const char *> &words, PowerCutArguments &arguments,
                           std::string &problem);

} // namespace quarnel::powercut
