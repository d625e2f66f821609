#include "lodconvert/intel_hex.h"

#include "lodconvert/record_text.h"

namespace lodconvert {

namespace {

enum RecordType : uint8_t {
    dataRecord = 0,
    endOfFile = 1,
    extendedSegmentAddress = 2,
    startSegmentAddress = 3,
    extendedLinearAddress = 4,
    startLinearAddress = 5,
};

// The data length that each record type other than data must have.
int fixedLengthOf(uint8_t type)
{
    switch (type) {
    case endOfFile:
        return 0;
    case extendedSegmentAddress:
    case extendedLinearAddress:
        return 2;
    case startSegmentAddress:
    case startLinearAddress:
        return 4;
    default:
        return -1;
    }
}

} // namespace

Failure readIntelHex(const std::vector<uint8_t> &text, const std::string &file, Segments &segments,
                     std::vector<std::string> &notes)
{
    TextLines lines(text);
    std::string_view line;
    std::vector<uint8_t> record;
    RecordRuns runs;
    uint64_t base = 0; // from the last type 02 or 04 record
    size_t endLine = 0;
    while (lines.next(line)) {
        const size_t number = lines.number();
        if (line.empty())
            continue;
        if (endLine != 0)
            return lineRefusal(exitMalformed, file, number,
                               textOf("a record after the end-of-file record of line %zu", endLine));
        if (line[0] != ':')
            return lineRefusal(exitMalformed, file, number, "not an Intel HEX record: it does not start with ':'");
        if (Failure failure = decodeRecordDigits(line.substr(1), 2, file, number, record))
            return failure;
        // Length, two address bytes, type and checksum.
        if (record.size() < 5)
            return lineRefusal(exitMalformed, file, number,
                               textOf("a record of %zu bytes is too short: length, address, type and checksum "
                                      "take 5",
                                      record.size()));
        const size_t length = record[0];
        if (length != record.size() - 5)
            return lineRefusal(exitMalformed, file, number,
                               textOf("the record's length byte says %zu data bytes, the line holds %zu", length,
                                      record.size() - 5));
        uint8_t sum = 0;
        for (size_t i = 0; i + 1 < record.size(); ++i)
            sum = static_cast<uint8_t>(sum + record[i]);
        const uint8_t expected = static_cast<uint8_t>(-sum);
        if (record.back() != expected)
            return lineRefusal(exitBadChecksum, file, number,
                               textOf("bad checksum: the record says 0x%02X, its bytes give 0x%02X", record.back(),
                                      expected));

        const uint8_t type = record[3];
        const uint8_t *data = record.data() + 4;
        if (type != dataRecord) {
            if (fixedLengthOf(type) < 0)
                return lineRefusal(exitMalformed, file, number,
                                   textOf("record type 0x%02X is not one of Intel HEX's 00 to 05", type));
            if (length != size_t(fixedLengthOf(type)))
                return lineRefusal(exitMalformed, file, number,
                                   textOf("a type 0x%02X record holds %d data bytes, this one %zu", type,
                                          fixedLengthOf(type), length));
        }
        // The first two data bytes, big-endian: only address records read them, whose length was checked above.
        auto value16 = [data] { return uint32_t(data[0]) << 8 | data[1]; };
        switch (type) {
        case dataRecord:
            runs.add(base + (uint32_t(record[1]) << 8 | record[2]), data, length, number);
            break;
        case endOfFile:
            endLine = number;
            break;
        case extendedSegmentAddress:
            base = uint64_t{value16()} << 4;
            break;
        case extendedLinearAddress:
            base = uint64_t{value16()} << 16;
            break;
        case startSegmentAddress:
            notes.push_back(textOf("%s:%zu: start segment address (type 03) %04X:%04X ignored: a LOD file has no "
                                   "entry point",
                                   file.c_str(), number, value16(), uint32_t(data[2]) << 8 | data[3]));
            break;
        default: // the start linear address: the entry point, which a LOD file has no place for
            break;
        }
    }
    if (endLine == 0)
        return Refusal{exitMalformed, textOf("%s: no end-of-file record (type 01): the file may have been cut short",
                                             file.c_str())};
    segments = runs.finish();
    if (segments.empty())
        return Refusal{exitMalformed, textOf("%s holds no data records", file.c_str())};
    return std::nullopt;
}

} // namespace lodconvert
