#include "lodconvert/segments.h"

#include "lodconvert/refusal.h"

namespace lodconvert {

void RecordRuns::add(uint64_t address, const uint8_t *data, size_t size, size_t line)
{
    if (size == 0)
        return;
    if (runs_.empty() || runs_.back().segment.end() != address)
        runs_.push_back({Segment{address, {}, {}}, line, line});
    Run &run = runs_.back();
    run.segment.bytes.insert(run.segment.bytes.end(), data, data + size);
    run.lastLine = line;
}

Segments RecordRuns::finish()
{
    Segments segments;
    segments.reserve(runs_.size());
    for (Run &run : runs_) {
        run.segment.origin = run.firstLine == run.lastLine ? textOf("line %zu", run.firstLine)
                                                           : textOf("lines %zu to %zu", run.firstLine, run.lastLine);
        segments.push_back(std::move(run.segment));
    }
    runs_.clear();
    return segments;
}

} // namespace lodconvert
