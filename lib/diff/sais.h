// Suffix arrays in linear time by induced sorting.
#pragma once

#include <cstdint>

namespace quarnel {

// Fills sa[0..size] with the suffix array of text, the empty suffix first:
// the same array that suffixSort builds.
void inducedSuffixArray(const uint8_t *text, int32_t size, int32_t *sa);

// Fills sa[0..size) with the suffix array of a string of symbols in
// [0, alphabetSize); the empty suffix is not listed. A suffix that is a
// proper prefix of another sorts first.
void inducedSuffixArray(const int32_t *text, int32_t size, int32_t alphabetSize, int32_t *sa);

} // namespace quarnel
