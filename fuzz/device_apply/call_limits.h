// How much one call of a sound applier may do for a pack: past it, the applier is looping.
#pragma once

#include <cstddef>

#include "device_apply/device_rig.h"
#include "device_apply/host_view.h"

namespace devicefuzz {

// sectors: the flash's sector map, empty for erase units of 4, 32 and 64 KiB.
CallLimits limitsFor(const HostView &view, size_t packSize, const FotaSpareArea &spare,
                     const std::vector<NorSectorRun> &sectors);

// The larger of each: a changing store may have the applier follow either pack.
CallLimits widest(const CallLimits &a, const CallLimits &b);

} // namespace devicefuzz
