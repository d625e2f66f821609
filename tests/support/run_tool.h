// Running the built programs from tests and capturing what they print.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct ToolRun {
    std::string output; // standard output only, its line ends read as "\n"
    int status;         // exit status; -1 when the program could not start or, on POSIX, did not exit normally
    std::string errors; // standard error, its line ends read as "\n"
};

// The status of a program that returns -1: POSIX keeps the low 8 bits of it, Windows all 32.
#ifdef _WIN32
constexpr int statusOfMinusOne = -1;
#else
constexpr int statusOfMinusOne = 255;
#endif

// Runs tool inside dir with the arguments, each passed unchanged, UTF-8 included.
ToolRun runTool(const char *tool, const std::string &dir, const std::vector<std::string> &arguments);

#ifndef _WIN32
// The same with environment, shell words such as NAME=value that the command is prefixed with.
ToolRun runTool(const char *tool, const std::string &dir, const std::vector<std::string> &arguments,
                const std::string &environment);
#endif

// The words of text between single spaces, for arguments that hold none.
std::vector<std::string> words(const std::string &text);

} // namespace testsupport
