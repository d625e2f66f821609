// Result codes shared by every stage of pack creation: the public header's FotaResult.
#pragma once

#include "quarnel.h"

namespace quarnel {

// The new image reports the old image's check failures shifted by this much.
constexpr int newImageCodeShift = FOTA_NEW_NOT_CONTIGUOUS - FOTA_OLD_NOT_CONTIGUOUS;

} // namespace quarnel
