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
