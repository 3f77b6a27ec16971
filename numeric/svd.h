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
// R is written. Always true.
bool pseudo_inverse(OffsetMatrix A, OffsetMatrix R, int32_t n);
