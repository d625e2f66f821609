// Data at addresses as an input file gives it, before it becomes one image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lodconvert {

struct Segment {
    // In the part's own address map; 64 bits, as ELF64 files and overflowing records reach past 4 GiB.
    uint64_t address = 0;
    std::vector<uint8_t> bytes;
    std::string origin; // where the input holds it, for messages: "lines 3 to 40", "ELF segment 2"

    uint64_t end() const { return address + bytes.size(); }
};

using Segments = std::vector<Segment>;

// Gathers the data records of a text file into runs, one per stretch of records that
// continue one another, so that a file of thousands of records gives a few segments.
class RecordRuns {
public:
    void add(uint64_t address, const uint8_t *data, size_t size, size_t line);
    // The runs in file order, each named after its lines.
    Segments finish();

private:
    struct Run {
        Segment segment;
        size_t firstLine;
        size_t lastLine;
    };
    std::vector<Run> runs_;
};

} // namespace lodconvert
