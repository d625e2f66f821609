#include "device_apply/call_limits.h"

#include <algorithm>

#include "packcheck/power_cuts.h"

namespace devicefuzz {

CallLimits limitsFor(const HostView &view, size_t packSize, const FotaSpareArea &spare,
                     const std::vector<NorSectorRun> &sectors)
{
    constexpr uint64_t block = 4096;
    // A decoder refills its input every 512 pack bytes, and may hand out a record's bytes a refill at a time.
    const uint64_t refills = packSize / 512 + 1;
    // The state area erased a sector at a time (on a map of small pages, a page at a time), the identity
    // programmed and read back; the old image's checksum, at most the whole modelled flash.
    const uint64_t stateSector =
        sectors.empty() ? block : quarnel::powercut::sectorOf(sectors, spare.stateOffset).end - spare.stateOffset;
    uint64_t writes = spare.stateLength / std::max<uint64_t>(stateSector, 1) + 1;
    uint64_t reads = flashSize / block + 4 + 4 * refills;
    for (const quarnel::verify::StreamChunk &chunk : view.contents.chunks) {
        // On a map a chunk's group may rebuild up to a 64 KiB sector of the modelled flash with it.
        const uint64_t blocks = (chunk.length() + block - 1) / block + (sectors.empty() ? 0 : 16);
        // The scratch's erase and programs, two records, the unit's erase and programs.
        writes += 4 + 2 * blocks;
        // A piece per record and per block of its sources, two records; per block the comparison with
        // the flash in pieces of 256 bytes, the scratch's checksum, the copy, the unit's checksum, the
        // carried bytes compared, and the unit once more for a done record.
        reads += chunk.records.size() + 2 + 24 * blocks;
    }
    CallLimits limits;
    // Twice what a sound applier does, so that a mend may spend more without tripping them.
    limits.writes = 2 * writes;
    limits.flashReads = 2 * reads;
    // The first pass, the table, difference and literal cursors, and in the signed call each block read
    // once more to learn its granules' digests: a handful of passes over the pack; 40 leave room, and
    // a loop still runs past them.
    limits.packBytes = 40 * (packSize + block);
    limits.packReads = 40 * (refills + packSize / block + 8);
    return limits;
}

CallLimits widest(const CallLimits &a, const CallLimits &b)
{
    return {std::max(a.writes, b.writes), std::max(a.flashReads, b.flashReads), std::max(a.packBytes, b.packBytes),
            std::max(a.packReads, b.packReads)};
}

} // namespace devicefuzz
