#pragma once

// Thinning of a long trace for a plot: in each pixel column only the smallest
// and the largest value matter to the eye, so keeping those two draws the
// same picture from a few thousand points and loses no peak.

#include <cstdint>
#include <vector>

// Indices, ascending, of the smallest and the largest value in each of
// `columns` equal runs of values[0, count); every index when count is at most
// twice the columns.
std::vector<int64_t> columnExtremes(const float* values, int64_t count, int columns);
std::vector<int64_t> columnExtremes(const double* values, int64_t count, int columns);
