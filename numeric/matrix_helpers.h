#pragma once

// Small dense helpers on float arrays. Every sum is accumulated in float from
// zero, adding the terms in ascending order of the summation index. Callers
// pass arrays that cover the ranges touched; nothing is checked or allocated.

#include <cstdint>

#include "numeric/offset_array.h"

// *mean = (v[1] + ... + v[n]) / n; v is one-based. An empty vector (n = 0)
// gives 0.
void vec_mean(OffsetVector v, uint32_t n, float* mean);

// c (m x p) = a (m x n) * b (n x p); all zero-based.
void mat_mult(OffsetMatrix a, OffsetMatrix b, OffsetMatrix c, int32_t m, int32_t n, int32_t p);

// y (m) = a (m x n) * x (n); all zero-based.
void mat_vec_mult(OffsetMatrix a, OffsetVector x, OffsetVector y, int32_t m, int32_t n);

// b (n x m) = transpose of a (m x n); both zero-based.
void mat_transpose(OffsetMatrix a, OffsetMatrix b, int32_t m, int32_t n);

// Copies an m x n block of a into b. Index bases by mode: 0 zero to zero,
// 1 one to one, 2 zero to one, 3 one to zero; any other mode copies nothing.
void mat_copy(OffsetMatrix a, OffsetMatrix b, int32_t m, int32_t n, int32_t mode);

// Row i of a (m x n, zero-based) multiplied by v[i] (zero-based), in place.
void mat_scale_rows(OffsetVector v, OffsetMatrix a, int32_t m, int32_t n);
