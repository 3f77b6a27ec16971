#pragma once

// How the host computes the matrix products the plug-in binds by name. The
// choice is process-wide: the plug-in calls plain C functions and passes no
// context.

enum class ProductKind {
    // OpenBLAS: fast; its summation order depends on the processor and the
    // blocking, so results may differ from the plain loop in the last bits.
    kBlas,
    // A triple loop in the operands' precision, each element summed over the
    // inner dimension in ascending order: the same bits on every machine, for
    // comparing plug-in builds with each other.
    kPlain,
};

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
