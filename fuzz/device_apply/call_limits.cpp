#include "device_apply/call_limits.h"

#include <algorithm>

namespace devicefuzz {

CallLimits limitsFor(const HostView &view, size_t packSize, const FotaSpareArea &spare)
{
    constexpr uint64_t block = 4096;
    // A decoder refills its input every 512 pack bytes, and may hand out a record's bytes a refill at a time.
    const uint64_t refills = packSize / 512 + 1;
    // The state area erased a sector at a time, the identity programmed and read back; the old image's
    // checksum, at most the whole modelled flash; a finished update's units checked.
    uint64_t writes = spare.stateLength / block + 1;
    uint64_t reads = flashSize / block + 4 + 4 * refills;
    for (const quarnel::verify::StreamChunk &chunk : view.contents.chunks) {
        const uint64_t blocks = (chunk.length() + block - 1) / block;
        // The scratch's erase and programs, two records, the unit's erase and programs.
        writes += 4 + 2 * blocks;
        // A piece per record and per block of its sources, two records, the scratch's checksum, the
        // copy, the unit's checksum, and the unit once more for a finished update or a done record.
        reads += chunk.records.size() + 2 + 6 * blocks;
    }
    CallLimits limits;
    // Twice what the applier does today, so that a mend may spend more without tripping them.
    limits.writes = 2 * writes;
    limits.flashReads = 2 * reads;
    // At most once to hash, once for the data checksum, once per decoder (the checking pass, the table,
    // the difference and the literal bytes) and once for a finished update: 7 passes over the pack. A
    // signed call that checks each block against a digest when a decoder refills may read a whole block
    // per 512-byte refill, 8 times a pass; 40 passes leave room for that, and a loop still runs past.
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
