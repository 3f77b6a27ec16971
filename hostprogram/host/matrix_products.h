#pragma once

// How the host computes the matrix products the plug-in binds by name. The
// choice is process-wide: the plug-in calls plain C functions and passes no
// context.

#include "hostprogram/cli/product_kind.h"

void setMatrixProductKind(ProductKind kind);
ProductKind matrixProductKind();

// Sets the number of OpenBLAS threads, unless the user chose one through
// OPENBLAS_NUM_THREADS (or OMP_NUM_THREADS); 0 keeps the host's measured
// default.
void chooseBlasThreads(int threads);
int blasThreads();

// Wall time spent inside the four products since the timing was switched on.
struct ProductTiming {
    long long calls = 0;
    double seconds = 0.0;
};

void startProductTiming();
ProductTiming productTiming();
