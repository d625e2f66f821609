#include "reference/planner_reference.h"

#include <cstring>

#include "reference/diff_buffers.h"

namespace quarnel {

UpdatePlan planUpdateReference(uint8_t *workingImage, uint32_t oldSize, const uint8_t *newImage, uint32_t newSize,
                               uint32_t newStart)
{
    const int32_t oldLength = static_cast<int32_t>(oldSize);
    UpdatePlan plan;
    plan.directionPatches = diffBuffers(workingImage, oldLength, newImage, newSize);
    walkChunks(walksForward(plan.directionPatches), newSize, newStart, [&](uint32_t pos, uint32_t len) {
        appendChunk(diffBuffers(workingImage, oldLength, newImage + pos, len), pos, plan.chunks);
        std::memcpy(workingImage + pos, newImage + pos, len);
    });
    return plan;
}

} // namespace quarnel
