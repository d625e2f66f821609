#include "lodconvert/record_text.h"

#include <cstring>

namespace lodconvert {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// How a character is shown in a message: itself when printable, else its code.
std::string shown(char c)
{
    const auto code = static_cast<unsigned char>(c);
    return code >= 0x20 && code < 0x7F ? textOf("'%c'", c) : textOf("byte 0x%02X", code);
}

} // namespace

TextLines::TextLines(const std::vector<uint8_t> &text)
    : at_(reinterpret_cast<const char *>(text.data())), end_(at_ + text.size())
{
}

bool TextLines::next(std::string_view &line)
{
    if (at_ == end_)
        return false;
    const char *lineEnd = static_cast<const char *>(std::memchr(at_, '\n', size_t(end_ - at_)));
    const char *next = lineEnd != nullptr ? lineEnd + 1 : end_;
    if (lineEnd == nullptr)
        lineEnd = end_;
    line = std::string_view(at_, size_t(lineEnd - at_));
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    at_ = next;
    ++number_;
    return true;
}

Refusal lineRefusal(ExitStatus status, const std::string &file, size_t line, const std::string &what)
{
    return {status, textOf("%s:%zu: %s", file.c_str(), line, what.c_str())};
}

Failure decodeRecordDigits(std::string_view digits, size_t column, const std::string &file, size_t line,
                           std::vector<uint8_t> &bytes)
{
    bytes.clear();
    for (size_t i = 0; i < digits.size(); ++i)
        if (hexDigit(digits[i]) < 0)
            return lineRefusal(exitMalformed, file, line,
                               textOf("%s in column %zu is not a hexadecimal digit", shown(digits[i]).c_str(),
                                      column + i));
    // Half a byte cannot be placed anywhere: the line was cut or a digit was lost.
    if (digits.size() % 2 != 0)
        return lineRefusal(exitMalformed, file, line,
                           textOf("odd-length record: %zu hexadecimal digits, not whole bytes", digits.size()));
    bytes.reserve(digits.size() / 2);
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(hexDigit(digits[i]) << 4 | hexDigit(digits[i + 1])));
    return std::nullopt;
}

} // namespace lodconvert
