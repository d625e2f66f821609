// What Intel HEX and S-record files share: lines of hexadecimal digits with a checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lodconvert/refusal.h"

namespace lodconvert {

// The lines of a text file, split at LF with a CR before it dropped, numbered from 1.
class TextLines {
public:
    explicit TextLines(const std::vector<uint8_t> &text);
    // False after the last line; a final LF does not start another one.
    bool next(std::string_view &line);
    size_t number() const { return number_; }

private:
    const char *at_;
    const char *end_;
    size_t number_ = 0;
};

// A refusal that names the file and the line: "old.hex:12: ...".
Refusal lineRefusal(ExitStatus status, const std::string &file, size_t line, const std::string &what);

// Decodes digits, the hexadecimal text of one record after its leading characters, into
// bytes; fails for an odd number of digits or a character that is not one. column is
// where the digits start on their line, counted from 1, for the message.
Failure decodeRecordDigits(std::string_view digits, size_t column, const std::string &file, size_t line,
                           std::vector<uint8_t> &bytes);

} // namespace lodconvert
