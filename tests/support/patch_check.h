// Test-side checks of differ records: structure and replay over the old data.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "diff/patch.h"

namespace testsupport {

// Checks a list that should produce newData (newSize bytes) from oldData: the
// records tile newBase .. newBase + newSize in order, stay inside the old data,
// none is empty, and replaying them rebuilds newData (the message names the
// first wrong offset). newBase is what the caller added to every newOffset.
::testing::AssertionResult checkPatchList(const quarnel::PatchList &patches, const uint8_t *oldData, uint32_t oldSize,
                                          const uint8_t *newData, uint32_t newSize, uint32_t newBase = 0);

// Replays the records over oldData into newSize bytes (record newOffset - newBase
// lands at that index); bytes a malformed record would read or write out of
// range are skipped, and untouched output bytes stay 0.
std::vector<uint8_t> applyPatches(const quarnel::PatchList &patches, const uint8_t *oldData, uint32_t oldSize,
                                  uint32_t newSize, uint32_t newBase = 0);

} // namespace testsupport
