// The host's matrix products (OpenBLAS and the plain kind) against plain
// loops, for every combination of transpose flags, on sizes that are not
// multiples of any blocking.

#include "hostprogram/matrix_products.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "host/host_contract.h"

namespace {

// op(A)(i, p): A stored m x k untransposed, k x m transposed.
template <typename Real>
Real operandA(const std::vector<Real>& a, int m, int k, bool transposed, int i, int p) {
    return transposed ? a[p * m + i] : a[i * k + p];
}

// op(B)(p, j): B stored k x n untransposed, n x k transposed.
template <typename Real>
Real operandB(const std::vector<Real>& b, int n, int k, bool transposed, int p, int j) {
    return transposed ? b[j * k + p] : b[p * n + j];
}

template <typename Real>
std::vector<Real> plainProduct(const std::vector<Real>& a, const std::vector<Real>& b, int m, int n,
                               int k, bool transA, bool transB) {
    std::vector<Real> c(static_cast<std::size_t>(m) * n, Real(0));
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int p = 0; p < k; ++p)
                sum += static_cast<double>(operandA(a, m, k, transA, i, p)) *
                       operandB(b, n, k, transB, p, j);
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

struct ProductCase {
    int m, n, k;
    bool transA, transB;
};

const ProductCase kCases[] = {
    {1, 1, 1, false, false},  {3, 5, 7, false, false},   {3, 5, 7, true, false},
    {3, 5, 7, false, true},   {3, 5, 7, true, true},     {17, 17, 101, false, true},
    {33, 9, 65, true, false}, {64, 48, 130, true, true}, {100, 100, 851, false, true},
};

template <typename Real, typename Product>
void expectPlainLoopResults(Product product, double tolerancePerTerm, unsigned seed) {
    std::mt19937 random(seed);
    for (const ProductCase& test : kCases) {
        SCOPED_TRACE(::testing::Message() << test.m << "x" << test.n << "x" << test.k << " transA "
                                          << test.transA << " transB " << test.transB);
        auto a = randomBlock<Real>(static_cast<std::size_t>(test.m) * test.k, random);
        auto b = randomBlock<Real>(static_cast<std::size_t>(test.k) * test.n, random);
        // A result that was added to instead of overwritten would stay NaN.
        std::vector<Real> c(static_cast<std::size_t>(test.m) * test.n,
                            std::numeric_limits<Real>::quiet_NaN());
        product(a.data(), b.data(), c.data(), test.m, test.n, test.k, test.transA, test.transB);
        auto expected = plainProduct(a, b, test.m, test.n, test.k, test.transA, test.transB);
        for (std::size_t i = 0; i < c.size(); ++i)
            ASSERT_NEAR(c[i], expected[i], tolerancePerTerm * test.k) << "element " << i;
    }
}

// Every test runs with both kinds of product; the kind is process-wide.
class HostMatrixProduct : public ::testing::TestWithParam<ProductKind> {
protected:
    void SetUp() override { setMatrixProductKind(GetParam()); }
    void TearDown() override { setMatrixProductKind(ProductKind::kBlas); }
};

INSTANTIATE_TEST_SUITE_P(Kinds, HostMatrixProduct,
                         ::testing::Values(ProductKind::kBlas, ProductKind::kPlain),
                         [](const auto& info) {
                             return info.param == ProductKind::kBlas ? "Blas" : "Plain";
                         });

TEST_P(HostMatrixProduct, DoubleMatchesPlainLoopAndOverwritesResult) {
    expectPlainLoopResults<double>(zt_intel_matrix_matrix_mult_d, 1e-12, 7);
}

TEST_P(HostMatrixProduct, SingleMatchesPlainLoopAndOverwritesResult) {
    expectPlainLoopResults<float>(zt_intel_matrix_matrix_mult_f, 1e-5, 11);
}

// The one way the plug-in calls it: D * D^T, a symmetric result. The whole
// result is written, both triangles, over what was there. Long rows are
// summed in two halves on two threads.
TEST_P(HostMatrixProduct, GramProductOfOneBlockIsSymmetricAndComplete) {
    std::mt19937 random(3);
    for (int rows : {1, 2, 12, 100})
        for (int length : {40 + rows, 1701 + rows}) {
            SCOPED_TRACE(std::to_string(rows) + " x " + std::to_string(length));
            auto d = randomBlock<double>(rows * length, random);
            std::vector<double> c(rows * rows, std::numeric_limits<double>::quiet_NaN());
            zt_intel_matrix_matrix_mult_d(d.data(), d.data(), c.data(), rows, rows, length, false,
                                          true);
            auto expected = plainProduct(d, d, rows, rows, length, false, true);
            for (int i = 0; i < rows; ++i)
                for (int j = 0; j < rows; ++j) {
                    EXPECT_EQ(c[i * rows + j], c[j * rows + i]);
                    EXPECT_NEAR(c[i * rows + j], expected[i * rows + j], 1e-12 * length);
                }
        }
}

// The plain kind is the reference of bit-identity checks: each element is
// the sum over the inner dimension in ascending order, nothing else.
TEST(PlainMatrixProduct, SumsInAscendingOrderExactly) {
    setMatrixProductKind(ProductKind::kPlain);
    // 1 + 1e-16 + ... rounds differently from (1e-16 + 1e-16) + 1.
    const std::vector<double> a = {1.0, 1e-16, 1e-16};
    const std::vector<double> b = {1.0, 1.0, 1.0};
    double c = -1.0;
    zt_intel_matrix_matrix_mult_d(a.data(), b.data(), &c, 1, 1, 3, false, false);
    EXPECT_EQ(c, (1.0 + 1e-16) + 1e-16);
    const std::vector<double> reversed = {1e-16, 1e-16, 1.0};
    zt_intel_matrix_matrix_mult_d(reversed.data(), b.data(), &c, 1, 1, 3, false, false);
    EXPECT_EQ(c, (1e-16 + 1e-16) + 1.0);
    setMatrixProductKind(ProductKind::kBlas);
}

TEST_P(HostMatrixProduct, EmptyInnerDimensionGivesZeros) {
    std::vector<double> c(6, 5.0);
    zt_intel_matrix_matrix_mult_d(nullptr, nullptr, c.data(), 2, 3, 0, false, true);
    for (double value : c) EXPECT_EQ(value, 0.0);
}

TEST_P(HostMatrixProduct, MatrixVectorMatchesPlainLoopBothWays) {
    std::mt19937 random(5);
    const int m = 7, n = 13;
    auto a = randomBlock<double>(m * n, random);
    auto x = randomBlock<double>(n, random);
    auto xt = randomBlock<double>(m, random);
    std::vector<double> y(m, std::numeric_limits<double>::quiet_NaN());
    zt_intel_matrix_vector_mult_d(a.data(), x.data(), y.data(), m, n, false);
    for (int i = 0; i < m; ++i) {
        double sum = 0;
        for (int j = 0; j < n; ++j) sum += a[i * n + j] * x[j];
        EXPECT_NEAR(y[i], sum, 1e-12);
    }
    std::vector<double> yt(n, std::numeric_limits<double>::quiet_NaN());
    zt_intel_matrix_vector_mult_d(a.data(), xt.data(), yt.data(), m, n, true);
    for (int j = 0; j < n; ++j) {
        double sum = 0;
        for (int i = 0; i < m; ++i) sum += a[i * n + j] * xt[i];
        EXPECT_NEAR(yt[j], sum, 1e-12);
    }
    auto af = randomBlock<float>(m * n, random);
    auto xf = randomBlock<float>(n, random);
    std::vector<float> yf(m, std::numeric_limits<float>::quiet_NaN());
    zt_intel_matrix_vector_mult_f(af.data(), xf.data(), yf.data(), m, n, false);
    for (int i = 0; i < m; ++i) {
        double sum = 0;
        for (int j = 0; j < n; ++j) sum += static_cast<double>(af[i * n + j]) * xf[j];
        EXPECT_NEAR(yf[i], sum, 1e-5);
    }
}

}  // namespace
