// The four matrix products the plug-in binds by name, through OpenBLAS's CBLAS
// interface or plain loops. All blocks are row-major; results are overwritten,
// never added to (beta = 0, so BLAS does not even read them first).

#include "hostprogram/host/matrix_products.h"

#include <cblas.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

#include "host/host_contract.h"
#include "hostprogram/host/host_export.h"

namespace {

// A 100 x 100 covariance over a few thousand samples is too small for
// OpenBLAS's own threads to pay for their hand-over (measured; see the
// README's benchmark section); the host splits the Gram product itself.
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

// The upper triangle of C (m x m) = A * A^T over the columns [first, first +
// count) of A (m x k): a rank-count update, half the work of the general
// product.
void gramTriangle(const double* A, double* C, int m, int k, int first, int count) {
    cblas_dsyrk(CblasRowMajor, CblasUpper, CblasNoTrans, m, count, 1.0, A + first, k, 0.0, C, m);
}

// A second thread for the Gram products: while the plug-in waits for the
// product, the machine's second core takes the later half of the inner sum.
// The halves go to two rank-k updates whose triangles are added; splitting
// the long inner dimension keeps both updates as efficient as one whole.
class GramHelper {
public:
    GramHelper() : thread_([this] { serve(); }) {}
    ~GramHelper() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    GramHelper(const GramHelper&) = delete;
    GramHelper& operator=(const GramHelper&) = delete;

    // The upper triangle of C = A * A^T.
    void upperTriangle(const double* A, double* C, int m, int k) {
        const int half = k / 2;
        later_.resize(static_cast<size_t>(m) * m);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            task_ = Task{A, m, k, half};
            pending_ = true;
        }
        wake_.notify_one();
        gramTriangle(A, C, m, k, 0, half);
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return !pending_; });
        for (long long i = 0; i < m; ++i)
            for (long long j = i; j < m; ++j) C[i * m + j] += later_[i * m + j];
    }

private:
    struct Task {
        const double* A;
        int m, k, first;
    };

    void serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return pending_ || stopping_; });
            if (stopping_) return;
            const Task task = task_;
            lock.unlock();
            gramTriangle(task.A, later_.data(), task.m, task.k, task.first, task.k - task.first);
            lock.lock();
            pending_ = false;
            done_.notify_one();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    Task task_{};
    bool pending_ = false;
    bool stopping_ = false;
    std::vector<double> later_;
    std::thread thread_;
};

// Inner sums shorter than this are not worth the hand-over to the second
// thread; the plug-in's run at 1 kHz sums 1701 samples.
constexpr int kShortestSplitSum = 512;

// The second thread only where there is a second core for it, and only when
// OpenBLAS itself is left to one thread (the user may have asked for more).
bool gramHelperWanted() {
    static const bool wanted = std::thread::hardware_concurrency() >= 2;
    return wanted && openblas_get_num_threads() == 1;
}

// A * A^T of one block: the result is symmetric, so one triangle is computed
// and the other is mirrored from it.
void gramProduct(const double* A, double* C, int m, int k) {
    if (k >= kShortestSplitSum && gramHelperWanted()) {
        static GramHelper helper;
        helper.upperTriangle(A, C, m, k);
    } else {
        gramTriangle(A, C, m, k, 0, k);
    }
    for (long long i = 1; i < m; ++i)
        for (long long j = 0; j < i; ++j) C[i * m + j] = C[j * m + i];
}

bool userChoseThreads() {
    return std::getenv("OPENBLAS_NUM_THREADS") || std::getenv("OMP_NUM_THREADS");
}

// The BLAS routine of each precision, so that one body serves both.
void blasMatrixProduct(CBLAS_TRANSPOSE transA, CBLAS_TRANSPOSE transB, int m, int n, int k,
                       const float* A, int lda, const float* B, int ldb, float* C, int ldc) {
    cblas_sgemm(CblasRowMajor, transA, transB, m, n, k, 1.0f, A, lda, B, ldb, 0.0f, C, ldc);
}

void blasMatrixProduct(CBLAS_TRANSPOSE transA, CBLAS_TRANSPOSE transB, int m, int n, int k,
                       const double* A, int lda, const double* B, int ldb, double* C, int ldc) {
    cblas_dgemm(CblasRowMajor, transA, transB, m, n, k, 1.0, A, lda, B, ldb, 0.0, C, ldc);
}

void blasMatrixVectorProduct(CBLAS_TRANSPOSE transA, int m, int n, const float* A, const float* x,
                             float* y) {
    cblas_sgemv(CblasRowMajor, transA, m, n, 1.0f, A, n, x, 1, 0.0f, y, 1);
}

void blasMatrixVectorProduct(CBLAS_TRANSPOSE transA, int m, int n, const double* A, const double* x,
                             double* y) {
    cblas_dgemv(CblasRowMajor, transA, m, n, 1.0, A, n, x, 1, 0.0, y, 1);
}

// C (m x n) = op(A) * op(B). Untransposed A is m x k (k to a row), transposed A
// is stored k x m; untransposed B is k x n, transposed B is stored n x k.
template <typename Real>
void matrixProduct(const Real* A, const Real* B, Real* C, int m, int n, int k, bool transA,
                   bool transB) {
    ProductTimer timer;
    if (m <= 0 || n <= 0) return;
    // BLAS refuses leading dimensions of 0; an empty inner sum is zero.
    if (k <= 0) return zeroBlock(C, static_cast<long long>(m) * n);
    if (productKind == ProductKind::kPlain)
        return plainMatrixProduct(A, B, C, m, n, k, transA, transB);
    // The plug-in forms its Gram products (A * A^T of one block) in double
    // precision only; single precision keeps to the general product.
    if constexpr (std::is_same_v<Real, double>)
        if (A == B && m == n && !transA && transB) return gramProduct(A, C, m, k);
    blasMatrixProduct(transposeFlag(transA), transposeFlag(transB), m, n, k, A, transA ? m : k, B,
                      transB ? k : n, C, n);
}

// y = op(A) * x with A stored m x n: y has m elements, or n when transposed.
template <typename Real>
void matrixVectorProduct(const Real* A, const Real* x, Real* y, int m, int n, bool transA) {
    ProductTimer timer;
    if (m <= 0 || n <= 0) return zeroBlock(y, std::max(transA ? n : m, 0));
    if (productKind == ProductKind::kPlain) return plainMatrixVectorProduct(A, x, y, m, n, transA);
    blasMatrixVectorProduct(transposeFlag(transA), m, n, A, x, y);
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

HOST_EXPORT void zt_intel_matrix_matrix_mult_d(const double* A, const double* B, double* C, int m,
                                               int n, int k, bool transA, bool transB) {
    matrixProduct(A, B, C, m, n, k, transA, transB);
}

HOST_EXPORT void zt_intel_matrix_matrix_mult_f(const float* A, const float* B, float* C, int m,
                                               int n, int k, bool transA, bool transB) {
    matrixProduct(A, B, C, m, n, k, transA, transB);
}

HOST_EXPORT void zt_intel_matrix_vector_mult_d(const double* A, const double* x, double* y, int m,
                                               int n, bool transA) {
    matrixVectorProduct(A, x, y, m, n, transA);
}

HOST_EXPORT void zt_intel_matrix_vector_mult_f(const float* A, const float* x, float* y, int m,
                                               int n, bool transA) {
    matrixVectorProduct(A, x, y, m, n, transA);
}
}
