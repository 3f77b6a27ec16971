#pragma once

#include "numeric/offset_array.h"

// Eigen-decomposition of the real symmetric matrix a (1..n x 1..n, single
// precision) by cyclic Jacobi rotations. Only the diagonal and the strict upper
// triangle are read; the strict upper triangle is overwritten, the diagonal
// and the strict lower triangle are left as they were. d (1..n) receives the
// eigenvalues, column k of v (1..n x 1..n) the eigenvector of d[k], and
// *rotationCount the number of rotations applied. True when the off-diagonal
// sum became exactly zero within 50 sweeps (at once for n <= 1).
bool jacobi_eigen(OffsetMatrix a, int32_t n, OffsetVector d, OffsetMatrix v,
                  int32_t* rotationCount);

// Orders d (1..n) from largest to smallest, moving the columns of v along; of
// several equal largest values the last one comes first.
void sort_eigen(OffsetVector d, OffsetMatrix v, int32_t n);
