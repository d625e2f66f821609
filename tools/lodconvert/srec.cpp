#include "lodconvert/srec.h"

#include "lodconvert/record_text.h"

namespace lodconvert {

namespace {

// Address bytes of each record type S0 to S9; 0 for S4, which is reserved.
constexpr int addressLengths[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

bool isData(int type)
{
    return type >= 1 && type <= 3;
}

bool isCount(int type)
{
    return type == 5 || type == 6;
}

bool isTermination(int type)
{
    return type >= 7;
}

} // namespace

Failure readSrec(const std::vector<uint8_t> &text, const std::string &file, Segments &segments)
{
    TextLines lines(text);
    std::string_view line;
    std::vector<uint8_t> record;
    RecordRuns runs;
    uint64_t dataRecords = 0;
    size_t endLine = 0;
    while (lines.next(line)) {
        const size_t number = lines.number();
        if (line.empty())
            continue;
        if (endLine != 0)
            return lineRefusal(exitMalformed, file, number,
                               textOf("a record after the termination record of line %zu", endLine));
        if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9')
            return lineRefusal(exitMalformed, file, number, "not an S-record: it does not start with S0 to S9");
        const int type = line[1] - '0';
        if (addressLengths[type] == 0)
            return lineRefusal(exitMalformed, file, number, "S4 is a reserved record type");
        if (Failure failure = decodeRecordDigits(line.substr(2), 3, file, number, record))
            return failure;
        const size_t addressLength = size_t(addressLengths[type]);
        // The count byte, the address and the checksum.
        if (record.size() < 2 + addressLength)
            return lineRefusal(exitMalformed, file, number,
                               textOf("an S%d record of %zu bytes is too short: count, %zu address bytes and "
                                      "checksum take %zu",
                                      type, record.size(), addressLength, 2 + addressLength));
        if (record[0] != record.size() - 1)
            return lineRefusal(exitMalformed, file, number,
                               textOf("the record's count byte says %u bytes follow it, the line holds %zu",
                                      record[0], record.size() - 1));
        uint8_t sum = 0;
        for (size_t i = 0; i + 1 < record.size(); ++i)
            sum = static_cast<uint8_t>(sum + record[i]);
        const uint8_t expected = static_cast<uint8_t>(~sum);
        if (record.back() != expected)
            return lineRefusal(exitBadChecksum, file, number,
                               textOf("bad checksum: the record says 0x%02X, its bytes give 0x%02X", record.back(),
                                      expected));

        uint64_t address = 0;
        for (size_t i = 0; i < addressLength; ++i)
            address = address << 8 | record[1 + i];
        const uint8_t *data = record.data() + 1 + addressLength;
        const size_t length = record.size() - 2 - addressLength;
        if (isData(type)) {
            runs.add(address, data, length, number);
            ++dataRecords;
        } else if (isCount(type)) {
            // The count travels in the address field; a wrong one means records were lost or added.
            if (length != 0)
                return lineRefusal(exitMalformed, file, number, textOf("an S%d record holds no data", type));
            if (address != dataRecords)
                return lineRefusal(exitMalformed, file, number,
                                   textOf("the S%d record counts %llu data records, the file has %llu before it",
                                          type, static_cast<unsigned long long>(address),
                                          static_cast<unsigned long long>(dataRecords)));
        } else if (isTermination(type)) {
            endLine = number;
        }
    }
    if (endLine == 0)
        return Refusal{exitMalformed,
                       textOf("%s: no termination record (S7, S8 or S9): the file may have been cut short",
                              file.c_str())};
    segments = runs.finish();
    if (segments.empty())
        return Refusal{exitMalformed, textOf("%s holds no data records", file.c_str())};
    return std::nullopt;
}

} // namespace lodconvert
