#pragma once

#include "numeric/offset_array.h"

// R (0..n-1 square) = pseudo-inverse of A (0..n-1 square), singular values
// below 1e-6 of the largest dropped. A is not changed; only the n x n block of
// R is written (nothing for n < 1). Always true.
//
// An input whose largest entry magnitude lies in (0, 1) is multiplied by the
// power of two 2^k that brings it into [1, 2) before the decomposition, and
// the result by 2^k afterwards: the decomposition's negligibility bound is
// absolute and would otherwise misjudge uniformly small matrices. Both
// scalings are exact, so other inputs are unaffected.
bool pseudo_inverse(OffsetMatrix A, OffsetMatrix R, int32_t n);
