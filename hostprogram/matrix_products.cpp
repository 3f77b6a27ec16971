// The four matrix products the plug-in binds by name, through OpenBLAS's CBLAS
// interface. All blocks are row-major; results are overwritten, never added to
// (beta = 0, so BLAS does not even read them first).

#include <cblas.h>

#include <algorithm>

#include "host/host_contract.h"
#include "hostprogram/host_export.h"

namespace {

CBLAS_TRANSPOSE transposeFlag(bool transpose) {
    return transpose ? CblasTrans : CblasNoTrans;
}

template <typename Real>
void zeroBlock(Real* block, long long count) {
    if (block && count > 0) std::fill(block, block + count, Real(0));
}

}  // namespace

extern "C" {

// C (m x n) = op(A) * op(B). Untransposed A is m x k (k to a row), transposed A
// is stored k x m; untransposed B is k x n, transposed B is stored n x k.
HOST_EXPORT void zt_intel_matrix_matrix_mult_d(const double* A, const double* B, double* C, int m,
                                               int n, int k, bool transA, bool transB) {
    if (m <= 0 || n <= 0) return;
    // BLAS refuses leading dimensions of 0; an empty inner sum is zero.
    if (k <= 0) return zeroBlock(C, static_cast<long long>(m) * n);
    cblas_dgemm(CblasRowMajor, transposeFlag(transA), transposeFlag(transB), m, n, k, 1.0, A,
                transA ? m : k, B, transB ? k : n, 0.0, C, n);
}

HOST_EXPORT void zt_intel_matrix_matrix_mult_f(const float* A, const float* B, float* C, int m,
                                               int n, int k, bool transA, bool transB) {
    if (m <= 0 || n <= 0) return;
    if (k <= 0) return zeroBlock(C, static_cast<long long>(m) * n);
    cblas_sgemm(CblasRowMajor, transposeFlag(transA), transposeFlag(transB), m, n, k, 1.0f, A,
                transA ? m : k, B, transB ? k : n, 0.0f, C, n);
}

// y = op(A) * x with A stored m x n: y has m elements, or n when transposed.
HOST_EXPORT void zt_intel_matrix_vector_mult_d(const double* A, const double* x, double* y, int m,
                                               int n, bool transA) {
    if (m <= 0 || n <= 0) return zeroBlock(y, std::max(transA ? n : m, 0));
    cblas_dgemv(CblasRowMajor, transposeFlag(transA), m, n, 1.0, A, n, x, 1, 0.0, y, 1);
}

HOST_EXPORT void zt_intel_matrix_vector_mult_f(const float* A, const float* x, float* y, int m,
                                               int n, bool transA) {
    if (m <= 0 || n <= 0) return zeroBlock(y, std::max(transA ? n : m, 0));
    cblas_sgemv(CblasRowMajor, transposeFlag(transA), m, n, 1.0f, A, n, x, 1, 0.0f, y, 1);
}
}
