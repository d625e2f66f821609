#include "support/patch_check.h"

#include <sstream>

namespace testsupport {

namespace {

std::string describe(size_t index, const quarnel::Patch &patch)
{
    std::ostringstream text;
    text << "record " << index << " {newOffset " << patch.newOffset << ", oldOffset " << patch.oldOffset << ", D "
         << patch.diffBytes.size() << ", E " << patch.extraBytes.size() << "}";
    return text.str();
}

} // namespace

std::vector<uint8_t> applyPatches(const quarnel::PatchList &patches, const uint8_t *oldData, uint32_t oldSize,
                                  uint32_t newSize, uint32_t newBase)
{
    std::vector<uint8_t> out(newSize, 0);
    for (const quarnel::PatchPtr &patch : patches) {
        // 64-bit positions so that a malformed offset cannot wrap around into range.
        const int64_t start = int64_t{patch->newOffset} - newBase;
        for (size_t i = 0; i < patch->diffBytes.size(); ++i) {
            const int64_t to = start + int64_t(i);
            const uint64_t from = uint64_t{patch->oldOffset} + i;
            if (to >= 0 && to < int64_t{newSize} && from < oldSize)
                out[size_t(to)] = uint8_t(oldData[from] + patch->diffBytes[i]);
        }
        const int64_t extraStart = start + int64_t(patch->diffBytes.size());
        for (size_t i = 0; i < patch->extraBytes.size(); ++i) {
            const int64_t to = extraStart + int64_t(i);
            if (to >= 0 && to < int64_t{newSize})
                out[size_t(to)] = patch->extraBytes[i];
        }
    }
    return out;
}

::testing::AssertionResult checkPatchList(const quarnel::PatchList &patches, const uint8_t *oldData, uint32_t oldSize,
                                          const uint8_t *newData, uint32_t newSize, uint32_t newBase)
{
    if (newSize == 0 && !patches.empty())
        return ::testing::AssertionFailure() << "empty new data gave " << patches.size() << " records";
    uint64_t expectedOffset = newBase;
    for (size_t index = 0; index < patches.size(); ++index) {
        if (!patches[index])
            return ::testing::AssertionFailure() << "record " << index << " is null";
        const quarnel::Patch &patch = *patches[index];
        const uint64_t diffLength = patch.diffBytes.size();
        const uint64_t extraLength = patch.extraBytes.size();
        if (patch.newOffset != expectedOffset)
            return ::testing::AssertionFailure()
                   << describe(index, patch) << " should start at new offset " << expectedOffset;
        if (diffLength == 0 && extraLength == 0)
            return ::testing::AssertionFailure() << describe(index, patch) << " is empty";
        if (patch.oldOffset + diffLength > oldSize)
            return ::testing::AssertionFailure() << describe(index, patch) << " reads past old size " << oldSize;
        expectedOffset += diffLength + extraLength;
    }
    if (expectedOffset != uint64_t{newBase} + newSize)
        return ::testing::AssertionFailure() << "records end at new offset " << expectedOffset << ", not at "
                                             << uint64_t{newBase} + newSize;

    const std::vector<uint8_t> rebuilt = applyPatches(patches, oldData, oldSize, newSize, newBase);
    for (uint32_t i = 0; i < newSize; ++i) {
        if (rebuilt[i] != newData[i])
            return ::testing::AssertionFailure()
                   << "replay differs first at new offset " << uint64_t{newBase} + i << ": got "
                   << int(rebuilt[i]) << ", expected " << int(newData[i]);
    }
    return ::testing::AssertionSuccess();
}

} // namespace testsupport
