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

// Batched forms of the helpers above for many rows at once. Each result is
// bit for bit what the single form gives for its row: every sum is still its
// own float sum in ascending order. Working on several rows at a time lets
// the otherwise serial chains of additions overlap.

// means[i] = vec_mean of row i of a (columns 0..n-1), for i = 0..m-1; n >= 1.
void mat_row_means(OffsetMatrix a, int32_t m, uint32_t n, OffsetVector means);

// c(i, k) = sum over j = 0..n-1 of b(k, j) * a(i, j), for i < m and k < p:
// element k of mat_vec_mult(b, row i of a), for every row of a. All zero-based.
void mat_mult_transposed(OffsetMatrix a, OffsetMatrix b, OffsetMatrix c, int32_t m, int32_t n,
                         int32_t p);
