#include "numeric/pseudo_inverse.h"

#include <cmath>

#include "numeric/matrix_helpers.h"
#include "numeric/svd.h"

namespace {

// Singular values below this fraction of the largest are treated as zero.
constexpr double kRelativeThreshold = 1e-6;

// The decomposition judges values negligible by an absolute bound, which is
// wrong for a matrix whose entries are all small (a Gram matrix of data in
// volts rather than microvolts). Returns the exponent k that brings the
// largest entry magnitude of the n x n block into [1, 2) when it lies in
// (0, 1), and 0 otherwise (also when an entry is not finite). Multiplying by
// 2^k is exact, so inputs that need no scaling take the unscaled path bit for
// bit.
int scalingExponent(OffsetMatrix A, int32_t n) {
    float largest = 0.0f;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j < n; ++j) {
            float value = A[i][j];
            if (!std::isfinite(value)) return 0;
            largest = std::fmax(largest, std::fabs(value));
        }
    }
    if (largest == 0.0f || largest >= 1.0f) return 0;
    int exponent = 0;
    std::frexp(largest, &exponent);  // largest = mantissa * 2^exponent, mantissa in [0.5, 1)
    return 1 - exponent;
}

}  // namespace

bool pseudo_inverse(OffsetMatrix A, OffsetMatrix R, int32_t n) {
    if (n < 1) return true;

    OffsetMatrix U = matrix(1, n, 1, n);
    OffsetMatrix V = matrix(1, n, 1, n);
    OffsetVector w = vector(1, n);
    OffsetMatrix transposedU = matrix(0, n - 1, 0, n - 1);
    OffsetMatrix zeroBasedU = matrix(0, n - 1, 0, n - 1);
    OffsetMatrix zeroBasedV = matrix(0, n - 1, 0, n - 1);

    int exponent = scalingExponent(A, n);
    mat_copy(A, U, n, n, 2);
    if (exponent != 0) {
        for (int32_t i = 1; i <= n; ++i)
            for (int32_t j = 1; j <= n; ++j) U[i][j] = std::ldexp(U[i][j], exponent);
    }

    svd_decompose(U, n, n, w, V);
    // A value that ran out of iterations may be left negative; only its
    // magnitude is used (the columns of V keep their signs).
    if (svd_not_converged) {
        for (int32_t i = 1; i <= n; ++i)
            if (w[i] < 0.0f) w[i] = -w[i];
    }

    float largest = 0.0f;
    for (int32_t i = 1; i <= n; ++i)
        if (w[i] > largest) largest = w[i];
    float threshold = static_cast<float>(kRelativeThreshold * static_cast<double>(largest));
    for (int32_t i = 1; i <= n; ++i) {
        if (w[i] < threshold || w[i] == 0.0f)
            w[i] = 0.0f;
        else
            w[i] = static_cast<float>(1.0 / static_cast<double>(w[i]));
    }

    // R = V diag(w+) U^T.
    mat_copy(U, zeroBasedU, n, n, 3);
    mat_transpose(zeroBasedU, transposedU, n, n);
    mat_scale_rows(w.rebased(1, 0), transposedU, n, n);
    mat_copy(V, zeroBasedV, n, n, 3);
    mat_mult(zeroBasedV, transposedU, R, n, n, n);

    if (exponent != 0) {
        for (int32_t i = 0; i < n; ++i)
            for (int32_t j = 0; j < n; ++j) R[i][j] = std::ldexp(R[i][j], exponent);
    }

    release_matrix(zeroBasedV, 0, n - 1, 0, n - 1);
    release_matrix(zeroBasedU, 0, n - 1, 0, n - 1);
    release_matrix(transposedU, 0, n - 1, 0, n - 1);
    release_matrix(V, 1, n, 1, n);
    release_matrix(U, 1, n, 1, n);
    release_vector(w, 1, n);
    return true;
}
