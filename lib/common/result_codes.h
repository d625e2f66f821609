// Result codes shared by every stage of pack creation.
#pragma once

namespace quarnel {

enum Result : int {
    resultOk = 0,
    resultInvalidSectorSize = 1,
    resultCodeBaseMisaligned = 2,
    resultCodeSizeMisaligned = 3,
    resultEndNotBlockAligned = 4,
    resultStartNotSectorAligned = 5,
    resultAreaOutsideFlash = 6,
    resultOldLodUnreadable = 7,
    resultNewLodUnreadable = 8,
    resultOldNotContiguous = 9,
    resultOldSizeMisaligned = 10,
    resultOldAddressMismatch = 11,
    resultOldTooLarge = 12,
    resultNewNotContiguous = 13,
    resultNewSizeMisaligned = 14,
    resultNewAddressMismatch = 15,
    resultNewTooLarge = 16,
    resultPackWriteFailed = 17,
    resultPackReadFailed = 18,
    resultPackInvalid = 19,
    resultUpgradeFailed = 20,
    resultCleanFailed = 21,
    resultNewMismatch = 22,
    resultOutOfMemory = 24,
    resultCompressFailed = 25,
};

// The new image reports the old image's check failures shifted by this much.
constexpr int newImageCodeShift = resultNewNotContiguous - resultOldNotContiguous;

} // namespace quarnel
