// The host's matrix products (OpenBLAS and the plain kind) against plain
// loops, for every combination of transpose flags, on sizes that are not
// multiples of any blocking.

#include "hostprogram/host/matrix_products.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

#include "host/host_contract.h"

namespace {

struct ProductCase {
    int m, n, k;
    bool transA, transB;
    bool gram = false;  // B is A itself
};

// C = op(A) * op(B) summed in double; A is m x k (k x m transposed), B is
// k x n (n x k transposed).
template <typename Real>
std::vector<Real> plainProduct(const std::vector<Real>& a, const std::vector<Real>& b,
                               const ProductCase& shape) {
    const int m = shape.m, n = shape.n, k = shape.k;
    std::vector<Real> c(static_cast<std::size_t>(m) * n);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int p = 0; p < k; ++p)
                sum += static_cast<double>(shape.transA ? a[p * m + i] : a[i * k + p]) *
                       (shape.transB ? b[j * k + p] : b[p * n + j]);
            c[i * n + j] = static_cast<Real>(sum);
        }
    return c;
}

template <typename Real>
std::vector<Real> randomBlock(std::size_t count, std::mt19937& random) {
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<Real> block(count);
    for (Real& element : block) element = static_cast<Real>(value(random));
    return block;
}

const std::vector<ProductCase> kMatrixCases = {
    {1, 1, 1, false, false},   {3, 5, 7, false, false},      {3, 5, 7, true, false},
    {3, 5, 7, false, true},    {3, 5, 7, true, true},        {33, 9, 65, true, false},
    {64, 48, 130, true, true}, {100, 100, 851, false, true}, {2, 3, 0, false, true},
};
// The one way the plug-in calls it: D * D^T, a symmetric result whose both
// triangles are written. Rows of 512 and more are summed in two halves on
// two threads.
const std::vector<ProductCase> kGramCases = {
    {1, 1, 1702, false, true, true},
    {2, 2, 42, false, true, true},
    {12, 12, 1713, false, true, true},
    {100, 100, 140, false, true, true},
};

template <typename Real, typename Product>
void expectPlainLoopResults(Product product, const std::vector<ProductCase>& cases,
                            double tolerancePerTerm) {
    std::mt19937 random(7);
    // Both kinds of product; the kind is process-wide.
    for (ProductKind kind : {ProductKind::kPlain, ProductKind::kBlas})
        for (const ProductCase& test : cases) {
            setMatrixProductKind(kind);
            SCOPED_TRACE(::testing::Message() << (kind == ProductKind::kBlas ? "BLAS " : "plain ")
                                              << test.m << "x" << test.n << "x" << test.k);
            auto a = randomBlock<Real>(static_cast<std::size_t>(test.m) * test.k, random);
            auto b = randomBlock<Real>(static_cast<std::size_t>(test.k) * test.n, random);
            // A result that was added to instead of overwritten would stay NaN.
            std::vector<Real> c(static_cast<std::size_t>(test.m) * test.n,
                                std::numeric_limits<Real>::quiet_NaN());
            const std::vector<Real>& right = test.gram ? a : b;
            product(a.data(), right.data(), c.data(), test.m, test.n, test.k, test.transA,
                    test.transB);
            auto expected = plainProduct(a, right, test);
            for (std::size_t i = 0; i < c.size(); ++i)
                ASSERT_NEAR(c[i], expected[i], tolerancePerTerm * (test.k + 1)) << "element " << i;
            for (int i = 0; test.gram && i < test.m; ++i)
                for (int j = 0; j < i; ++j) ASSERT_EQ(c[i * test.m + j], c[j * test.m + i]);
        }
}

TEST(HostMatrixProduct, EveryProductMatchesPlainLoopAndOverwritesResult) {
    expectPlainLoopResults<double>(zt_intel_matrix_matrix_mult_d, kMatrixCases, 1e-12);
    expectPlainLoopResults<float>(zt_intel_matrix_matrix_mult_f, kMatrixCases, 1e-5);
    expectPlainLoopResults<double>(zt_intel_matrix_matrix_mult_d, kGramCases, 1e-12);
}

// The plain kind is the reference of bit-identity checks: each element is
// the sum over the inner dimension in ascending order, nothing else.
TEST(PlainMatrixProduct, SumsInAscendingOrderExactly) {
    setMatrixProductKind(ProductKind::kPlain);
    // 1 + 1e-16 + ... rounds differently from (1e-16 + 1e-16) + 1.
    const double a[] = {1.0, 1e-16, 1e-16}, reversed[] = {1e-16, 1e-16, 1.0};
    const double b[] = {1.0, 1.0, 1.0};
    double c = -1.0;
    zt_intel_matrix_matrix_mult_d(a, b, &c, 1, 1, 3, false, false);
    EXPECT_EQ(c, (1.0 + 1e-16) + 1e-16);
    zt_intel_matrix_matrix_mult_d(reversed, b, &c, 1, 1, 3, false, false);
    EXPECT_EQ(c, (1e-16 + 1e-16) + 1.0);
    setMatrixProductKind(ProductKind::kBlas);
}

}  // namespace
