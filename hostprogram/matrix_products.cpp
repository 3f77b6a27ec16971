// The four matrix products the plug-in binds by name, through OpenBLAS's CBLAS
// interface or plain loops. All blocks are row-major; results are overwritten,
// never added to (beta = 0, so BLAS does not even read them first).

#include "hostprogram/matrix_products.h"

#include <cblas.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "host/host_contract.h"
#include "hostprogram/host_export.h"

namespace {

// A 100 x 100 covariance over a few thousand samples is too small for a
// second thread to pay for its start-up and the shared cache (measured; see
// the README's benchmark section).
constexpr int kDefaultBlasThreads = 1;

ProductKind productKind = ProductKind::kBlas;
bool timing = false;
ProductTiming timingTotals;

// Adds the lifetime of the object to the totals when timing is on.
class ProductTimer {
public:
    ProductTimer() : start_(timing ? std::chrono::steady_clock::now() : Clock::time_point()) {}
    ~ProductTimer() {
        if (!timing) return;
        ++timingTotals.calls;
        timingTotals.seconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_;
};

CBLAS_TRANSPOSE transposeFlag(bool transpose) {
    return transpose ? CblasTrans : CblasNoTrans;
}

template <typename Real>
void zeroBlock(Real* block, long long count) {
    if (block && count > 0) std::fill(block, block + count, Real(0));
}

// C (m x n) = op(A) * op(B) by the definition, summing p ascending.
template <typename Real>
void plainMatrixProduct(const Real* A, const Real* B, Real* C, int m, int n, int k, bool transA,
                        bool transB) {
    for (long long i = 0; i < m; ++i)
        for (long long j = 0; j < n; ++j) {
            Real sum = 0;
            for (long long p = 0; p < k; ++p)
                sum +=
                    (transA ? A[p * m + i] : A[i * k + p]) * (transB ? B[j * k + p] : B[p * n + j]);
            C[i * n + j] = sum;
        }
}

// y = op(A) * x, A stored m x n, by the definition.
template <typename Real>
void plainMatrixVectorProduct(const Real* A, const Real* x, Real* y, int m, int n, bool transA) {
    const long long rows = transA ? n : m, inner = transA ? m : n;
    for (long long i = 0; i < rows; ++i) {
        Real sum = 0;
        for (long long p = 0; p < inner; ++p) sum += (transA ? A[p * n + i] : A[i * n + p]) * x[p];
        y[i] = sum;
    }
}

// A * A^T of one block: the result is symmetric, so the rank-k update
// computes one triangle (half the work of the general product) and the other
// is mirrored from it.
void gramProduct(const double* A, double* C, int m, int k) {
    cblas_dsyrk(CblasRowMajor, CblasUpper, CblasNoTrans, m, k, 1.0, A, k, 0.0, C, m);
    for (long long i = 1; i < m; ++i)
        for (long long j = 0; j < i; ++j) C[i * m + j] = C[j * m + i];
}

bool userChoseThreads() {
    return std::getenv("OPENBLAS_NUM_THREADS") || std::getenv("OMP_NUM_THREADS");
}

}  // namespace

void setMatrixProductKind(ProductKind kind) {
    productKind = kind;
}

ProductKind matrixProductKind() {
    return productKind;
}

void chooseBlasThreads(int threads) {
    if (threads > 0)
        openblas_set_num_threads(threads);
    else if (!userChoseThreads())
        openblas_set_num_threads(kDefaultBlasThreads);
}

int blasThreads() {
    return openblas_get_num_threads();
}

void startProductTiming() {
    timing = true;
    timingTotals = ProductTiming();
}

ProductTiming productTiming() {
    return timingTotals;
}

extern "C" {

// C (m x n) = op(A) * op(B). Untransposed A is m x k (k to a row), transposed A
// is stored k x m; untransposed B is k x n, transposed B is stored n x k.
HOST_EXPORT void zt_intel_matrix_matrix_mult_d(const double* A, const double* B, double* C, int m,
                                               int n, int k, bool transA, bool transB) {
    ProductTimer timer;
    if (m <= 0 || n <= 0) return;
    // BLAS refuses leading dimensions of 0; an empty inner sum is zero.
    if (k <= 0) return zeroBlock(C, static_cast<long long>(m) * n);
    if (productKind == ProductKind::kPlain)
        return plainMatrixProduct(A, B, C, m, n, k, transA, transB);
    if (A == B && m == n && !transA && transB) return gramProduct(A, C, m, k);
    cblas_dgemm(CblasRowMajor, transposeFlag(transA), transposeFlag(transB), m, n, k, 1.0, A,
                transA ? m : k, B, transB ? k : n, 0.0, C, n);
}

HOST_EXPORT void zt_intel_matrix_matrix_mult_f(const float* A, const float* B, float* C, int m,
                                               int n, int k, bool transA, bool transB) {
    ProductTimer timer;
    if (m <= 0 || n <= 0) return;
    if (k <= 0) return zeroBlock(C, static_cast<long long>(m) * n);
    if (productKind == ProductKind::kPlain)
        return plainMatrixProduct(A, B, C, m, n, k, transA, transB);
    cblas_sgemm(CblasRowMajor, transposeFlag(transA), transposeFlag(transB), m, n, k, 1.0f, A,
                transA ? m : k, B, transB ? k : n, 0.0f, C, n);
}

// y = op(A) * x with A stored m x n: y has m elements, or n when transposed.
HOST_EXPORT void zt_intel_matrix_vector_mult_d(const double* A, const double* x, double* y, int m,
                                               int n, bool transA) {
    ProductTimer timer;
    if (m <= 0 || n <= 0) return zeroBlock(y, std::max(transA ? n : m, 0));
    if (productKind == ProductKind::kPlain) return plainMatrixVectorProduct(A, x, y, m, n, transA);
    cblas_dgemv(CblasRowMajor, transposeFlag(transA), m, n, 1.0, A, n, x, 1, 0.0, y, 1);
}

HOST_EXPORT void zt_intel_matrix_vector_mult_f(const float* A, const float* x, float* y, int m,
                                               int n, bool transA) {
    ProductTimer timer;
    if (m <= 0 || n <= 0) return zeroBlock(y, std::max(transA ? n : m, 0));
    if (productKind == ProductKind::kPlain) return plainMatrixVectorProduct(A, x, y, m, n, transA);
    cblas_sgemv(CblasRowMajor, transposeFlag(transA), m, n, 1.0f, A, n, x, 1, 0.0f, y, 1);
}
}
