#include "lodconvert/input_format.h"

#include <cstring>

#include "lodconvert/elf_file.h"
#include "lodconvert/intel_hex.h"
#include "lodconvert/srec.h"

namespace lodconvert {

namespace {

// The first character of the first line that is not empty, or 0.
char firstLineStart(const std::vector<uint8_t> &content, char &second)
{
    size_t at = 0;
    while (at < content.size() && (content[at] == '\n' || content[at] == '\r'))
        ++at;
    second = at + 1 < content.size() ? static_cast<char>(content[at + 1]) : '\0';
    return at < content.size() ? static_cast<char>(content[at]) : '\0';
}

} // namespace

InputFormat formatOfContent(const std::vector<uint8_t> &content)
{
    if (content.size() >= 4 && std::memcmp(content.data(), "\x7F" "ELF", 4) == 0)
        return InputFormat::elf;
    char second = '\0';
    const char first = firstLineStart(content, second);
    if (first == ':')
        return InputFormat::intelHex;
    if (first == 'S' && second >= '0' && second <= '9')
        return InputFormat::srec;
    return InputFormat::fromContent;
}

const char *formatName(InputFormat format)
{
    switch (format) {
    case InputFormat::elf:
        return "ELF";
    case InputFormat::intelHex:
        return "Intel HEX";
    case InputFormat::srec:
        return "S-record";
    case InputFormat::binary:
        return "raw binary";
    case InputFormat::fromContent:
        break;
    }
    return "unknown";
}

Failure readSegments(std::vector<uint8_t> &content, const ConvertOptions &options, InputFormat &format,
                     Segments &segments, std::vector<std::string> &notes)
{
    const std::string &file = options.input;
    format = options.format;
    if (format == InputFormat::fromContent) {
        format = formatOfContent(content);
        if (options.base && format != InputFormat::fromContent)
            return Refusal{exitFormatUnknown,
                           textOf("%s is an %s file, and --base is for raw binaries; to take its bytes as they are, "
                                  "give --format bin",
                                  file.c_str(), formatName(format))};
        if (options.base)
            format = InputFormat::binary;
        if (format == InputFormat::fromContent)
            return Refusal{exitFormatUnknown,
                           textOf("%s is not ELF, Intel HEX or S-record; for a raw binary give --base ADDR, the "
                                  "address of its first byte",
                                  file.c_str())};
    }
    switch (format) {
    case InputFormat::elf:
        return readElfSegments(content, file, segments);
    case InputFormat::intelHex:
        return readIntelHex(content, file, segments, notes);
    case InputFormat::srec:
        return readSrec(content, file, segments);
    case InputFormat::binary:
    case InputFormat::fromContent:
        break;
    }
    segments.clear();
    segments.push_back({*options.base, std::move(content), "the raw binary"});
    return std::nullopt;
}

} // namespace lodconvert
