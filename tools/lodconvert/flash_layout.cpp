#include "lodconvert/flash_layout.h"

#include <algorithm>

#include "code_area_arguments.h"
#include "common/erase_units.h"

namespace lodconvert {

namespace {

using quarnel::sectorSize;

constexpr uint64_t fourGiB = uint64_t{1} << 32;

// "ELF segment 2 (0x08010000 to 0x08012000)": a segment as the input holds it.
std::string described(const Segment &segment)
{
    return textOf("%s (%s to %s)", segment.origin.c_str(), hexAddress(segment.address).c_str(),
                  hexAddress(segment.end()).c_str());
}

uint64_t sectorOf(uint64_t offset)
{
    return offset / sectorSize;
}

// Each segment lies at or above the flash base and ends at or below 4 GiB in the device's map.
Failure checkPlaces(const Segments &segments, uint32_t flashBase, const std::string &file)
{
    for (const Segment &segment : segments) {
        if (segment.address < flashBase)
            return Refusal{exitBelowFlashBase,
                           textOf("%s: %s lies below the flash base %s; for a part whose flash starts elsewhere, "
                                  "give --flash-base",
                                  file.c_str(), described(segment).c_str(), hexAddress(flashBase).c_str())};
        if (segment.end() < segment.address || segment.end() - flashBase > fourGiB - deviceFlashBase)
            return Refusal{exitBeyond4GiB,
                           textOf("%s: %s reaches past 4 GiB at the device's flash base %s, where LOD addresses "
                                  "end",
                                  file.c_str(), described(segment).c_str(), hexAddress(deviceFlashBase).c_str())};
    }
    return std::nullopt;
}

// Segments sorted by address share no address, and each gap between them lies inside one sector.
Failure checkNeighbours(const Segments &segments, uint32_t flashBase, const std::string &file)
{
    // The segment that reaches furthest so far: any later one that starts below its end overlaps it.
    const Segment *reach = &segments.front();
    for (size_t i = 1; i < segments.size(); ++i) {
        const Segment &next = segments[i];
        if (next.address < reach->end())
            return Refusal{exitOverlap, textOf("%s: %s overlaps %s", file.c_str(), described(next).c_str(),
                                               described(*reach).c_str())};
        if (next.address > reach->end() &&
            sectorOf(reach->end() - flashBase) != sectorOf(next.address - 1 - flashBase))
            return Refusal{exitGapTooWide,
                           textOf("%s: the gap from %s, the end of %s, to %s, the start of %s, is not inside one "
                                  "erase sector; lodconvert fills a gap with 0xFF only inside one %u-byte sector, "
                                  "and packcli takes one contiguous image",
                                  file.c_str(), hexAddress(reach->end()).c_str(), reach->origin.c_str(),
                                  hexAddress(next.address).c_str(), next.origin.c_str(), sectorSize)};
        if (next.end() > reach->end())
            reach = &next;
    }
    return std::nullopt;
}

} // namespace

Failure layOutImage(Segments segments, uint32_t flashBase, const std::string &file, FlashImage &image)
{
    std::stable_sort(segments.begin(), segments.end(),
                     [](const Segment &a, const Segment &b) { return a.address < b.address; });
    if (Failure failure = checkPlaces(segments, flashBase, file))
        return failure;
    if (Failure failure = checkNeighbours(segments, flashBase, file))
        return failure;

    uint64_t dataEnd = 0;
    uint64_t dataBytes = 0;
    for (const Segment &segment : segments) {
        dataEnd = std::max(dataEnd, segment.end() - flashBase);
        dataBytes += segment.bytes.size();
    }
    const uint64_t start = segments.front().address - flashBase;
    const uint64_t first = start / sectorSize * sectorSize;
    const uint64_t end = (dataEnd + sectorSize - 1) / sectorSize * sectorSize;
    image.address = static_cast<uint32_t>(deviceFlashBase + first);
    image.bytes.assign(static_cast<size_t>(end - first), 0xFF);
    for (const Segment &segment : segments)
        std::copy(segment.bytes.begin(), segment.bytes.end(),
                  image.bytes.begin() + static_cast<std::ptrdiff_t>(segment.address - flashBase - first));
    image.filled = image.bytes.size() - dataBytes;
    return std::nullopt;
}

} // namespace lodconvert
