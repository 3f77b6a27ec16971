#pragma once

#include "numeric/offset_array.h"

// Set by svd_decompose when a singular value used up its 100 iterations,
// cleared at the start of every decomposition. Module-wide: decompositions
// must not overlap.
extern bool svd_not_converged;

// A = U diag(w) V^T of a (1..m x 1..n) in place: a receives U, w (1..n) the
// unsorted singular values, v (1..n x 1..n) V itself.
void svd_decompose(OffsetMatrix a, int32_t m, int32_t n, OffsetVector w, OffsetMatrix v);

// sqrt(a*a + b*b) without destructive overflow or underflow.
float safe_hypot(float a, float b);

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
