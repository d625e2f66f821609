// The differ on arbitrary pairs: every list must tile the new data and replay exactly.
#include <cstring>
#include <vector>

#include "reference/diff_buffers.h"
#include "support.h"

using namespace quarnel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes say where the old data ends and the new begins.
    const size_t split = std::min<size_t>((size_t(data[0]) << 8 | data[1]), size - 2);
    const uint8_t *oldData = data + 2;
    const uint8_t *newData = oldData + split;
    const uint32_t oldSize = uint32_t(split), newSize = uint32_t(size - 2 - split);

    const PatchList patches = diffBuffers(oldData, int32_t(oldSize), newData, newSize);
    std::vector<uint8_t> rebuilt;
    for (const PatchPtr &patch : patches) {
        if (patch->diffBytes.empty() && patch->extraBytes.empty())
            fuzzsupport::fail("an empty record");
        if (patch->newOffset != rebuilt.size())
            fuzzsupport::fail("records do not tile the new data");
        if (uint64_t(patch->oldOffset) + patch->diffBytes.size() > oldSize)
            fuzzsupport::fail("a record reads past the old data");
        for (size_t i = 0; i < patch->diffBytes.size(); ++i)
            rebuilt.push_back(uint8_t(oldData[patch->oldOffset + i] + patch->diffBytes[i]));
        rebuilt.insert(rebuilt.end(), patch->extraBytes.begin(), patch->extraBytes.end());
    }
    if (rebuilt.size() != newSize || (newSize != 0 && std::memcmp(rebuilt.data(), newData, newSize) != 0))
        fuzzsupport::fail("replay does not rebuild the new data");
    return 0;
}
