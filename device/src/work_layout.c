#include "work_layout.h"

size_t fotaWorkSizeFor(uint32_t streamLength)
{
    const size_t total = (size_t)streamLength + FOTA_WORK_OVERHEAD;
    /* Only a 32-bit size_t can wrap here. */
    return total < streamLength ? 0 : total;
}

void fotaCarveWork(void *work, FotaWork *parts)
{
    uint8_t *bytes = (uint8_t *)work;
    /* Moving forward by the distance to the next boundary keeps the pointer derived from work. */
    const size_t misalignment = (size_t)((uintptr_t)bytes & FOTA_WORK_ALIGN_SLACK);
    uint8_t *aligned = bytes + (misalignment == 0 ? 0 : FOTA_WORK_ALIGN_SLACK + 1 - misalignment);
    parts->io = aligned;
    parts->probs = aligned + FOTA_IO_BYTES;
    parts->stream = aligned + FOTA_IO_BYTES + FOTA_PROBS_BYTES;
}
