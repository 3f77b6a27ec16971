#pragma once

// The OBS correction of one segment written independently, in double
// precision and in plain matrix terms, as the yardstick for the module's
// single-precision correction: every mean-free window x loses its orthogonal
// projection on the span of the K leading principal component time courses,
// and its mean is added back.

#include <vector>

using Windows = std::vector<std::vector<double>>;  // one row per occurrence

// Corrected windows of a segment whose raw windows are `rows` (all of the
// same length), keeping `components` components.
Windows referenceCorrection(const Windows& rows, int components);
