#pragma once

// How the host computes the matrix products the plug-in binds by name
// (`--product blas|plain`).
enum class ProductKind {
    // OpenBLAS: fast; its summation order depends on the processor and the
    // blocking, so results may differ from the plain loop in the last bits.
    kBlas,
    // A triple loop in the operands' precision, each element summed over the
    // inner dimension in ascending order: the same bits on every machine, for
    // comparing plug-in builds with each other.
    kPlain,
};
