// lodconvert's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "lodconvert/refusal.h"

namespace lodconvert {

enum class InputFormat { fromContent, elf, intelHex, srec, binary };

// lodconvert [options] INPUT OUTPUT.lod
struct ConvertOptions {
    InputFormat format = InputFormat::fromContent;
    std::optional<uint32_t> base; // of a raw binary, in the part's map
    std::optional<uint32_t> flashBase;
    std::optional<uint32_t> bootSector;
    std::string input;
    std::string output;
};

// lodconvert --to-bin [--flash-size SIZE] IMAGE.lod OUT.bin
struct ToBinOptions {
    std::optional<uint64_t> flashSize;
    std::string lod;
    std::string output;
};

struct Command {
    bool toBin = false;
    ConvertOptions convert;
    ToBinOptions bin;
};

// Reads the arguments after the program's name; a refusal has exitUsage and says what is wrong.
Failure parseCommand(int count, char **arguments, Command &command);

// The synopsis, for a usage error.
std::string usageText(const char *program);

} // namespace lodconvert
