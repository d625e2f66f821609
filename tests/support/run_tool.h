// Running the built programs from tests and capturing what they print.
#pragma once

#include <string>

namespace testsupport {

struct ToolRun {
    std::string output; // standard output only
    int status;         // exit status, -1 when the program did not exit normally
};

// Runs tool with the (already shell-quoted) arguments inside dir; environment
// holds NAME=value words to set for it.
ToolRun runTool(const char *tool, const std::string &dir, const std::string &arguments,
                const std::string &environment = "");

} // namespace testsupport
