#include "lodconvert/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace lodconvert {

namespace {

Refusal usage(const std::string &what)
{
    return {exitUsage, what};
}

// A number in C notation (0x.. hexadecimal, 0.. octal, else decimal), all of the text,
// at most limit: unlike packcli's arguments, a typo is refused rather than read as 0.
Failure readNumber(const char *option, const char *text, uint64_t limit, uint64_t &value)
{
    char *end = nullptr;
    errno = 0;
    const unsigned long long number = std::strtoull(text, &end, 0);
    const bool plain = *text >= '0' && *text <= '9'; // strtoull would take blanks and signs too
    if (!plain || *end != '\0' || errno == ERANGE || number > limit)
        return usage(textOf("%s takes a number up to 0x%llX in C notation (0x.. hexadecimal), not \"%s\"", option,
                            static_cast<unsigned long long>(limit), text));
    value = number;
    return std::nullopt;
}

Failure readAddress(const char *option, const char *text, std::optional<uint32_t> &address)
{
    uint64_t value = 0;
    if (Failure failure = readNumber(option, text, UINT32_MAX, value))
        return failure;
    address = static_cast<uint32_t>(value);
    return std::nullopt;
}

Failure readFormat(const char *text, InputFormat &format)
{
    static const struct {
        const char *name;
        InputFormat format;
    } names[] = {{"elf", InputFormat::elf},
                 {"ihex", InputFormat::intelHex},
                 {"srec", InputFormat::srec},
                 {"bin", InputFormat::binary}};
    for (const auto &entry : names)
        if (std::strcmp(text, entry.name) == 0) {
            format = entry.format;
            return std::nullopt;
        }
    return usage(textOf("--format takes elf, ihex, srec or bin, not \"%s\"", text));
}

// Splits the arguments into options with their values and the positional ones.
Failure readConvertOptions(const std::vector<char *> &arguments, ConvertOptions &options,
                           std::vector<std::string> &paths)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        const char *argument = arguments[i];
        if (argument[0] != '-' || argument[1] == '\0') {
            paths.emplace_back(argument);
            continue;
        }
        if (i + 1 == arguments.size())
            return usage(textOf("%s needs a value", argument));
        const char *value = arguments[++i];
        Failure failure;
        if (std::strcmp(argument, "--format") == 0)
            failure = readFormat(value, options.format);
        else if (std::strcmp(argument, "--base") == 0)
            failure = readAddress(argument, value, options.base);
        else if (std::strcmp(argument, "--flash-base") == 0)
            failure = readAddress(argument, value, options.flashBase);
        else if (std::strcmp(argument, "--boot-sector") == 0)
            failure = readAddress(argument, value, options.bootSector);
        else
            failure = usage(textOf("unknown option %s", argument));
        if (failure)
            return failure;
    }
    return std::nullopt;
}

Failure readToBinOptions(const std::vector<char *> &arguments, ToBinOptions &options,
                         std::vector<std::string> &paths)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        const char *argument = arguments[i];
        if (argument[0] != '-' || argument[1] == '\0') {
            paths.emplace_back(argument);
            continue;
        }
        if (std::strcmp(argument, "--flash-size") != 0)
            return usage(textOf("--to-bin takes only --flash-size, not %s", argument));
        if (i + 1 == arguments.size())
            return usage("--flash-size needs a value");
        uint64_t size = 0;
        // packcli reads its flashsize as 32 bits.
        if (Failure failure = readNumber(argument, arguments[++i], UINT32_MAX, size))
            return failure;
        options.flashSize = size;
    }
    return std::nullopt;
}

} // namespace

Failure parseCommand(int count, char **arguments, Command &command)
{
    std::vector<char *> rest(arguments, arguments + count);
    command.toBin = !rest.empty() && std::strcmp(rest.front(), "--to-bin") == 0;
    std::vector<std::string> paths;
    if (command.toBin) {
        rest.erase(rest.begin());
        if (Failure failure = readToBinOptions(rest, command.bin, paths))
            return failure;
    } else if (Failure failure = readConvertOptions(rest, command.convert, paths)) {
        return failure;
    }
    if (paths.size() != 2)
        return usage(textOf("%zu file names given, two needed", paths.size()));
    if (command.toBin) {
        command.bin.lod = paths[0];
        command.bin.output = paths[1];
        return std::nullopt;
    }
    command.convert.input = paths[0];
    command.convert.output = paths[1];
    if (command.convert.base && command.convert.format != InputFormat::binary &&
        command.convert.format != InputFormat::fromContent)
        return usage("--base is for raw binaries (--format bin) only");
    if (command.convert.format == InputFormat::binary && !command.convert.base)
        return usage("a raw binary needs --base ADDR, the address of its first byte");
    return std::nullopt;
}

std::string usageText(const char *program)
{
    return textOf("usage: %s [--format elf|ihex|srec|bin] [--base ADDR] [--flash-base ADDR] [--boot-sector N] "
                  "INPUT OUTPUT.lod\n"
                  "       %s --to-bin [--flash-size SIZE] IMAGE.lod OUT.bin\n",
                  program, program);
}

} // namespace lodconvert
