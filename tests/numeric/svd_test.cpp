#include "numeric/svd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "tests/numeric/test_arrays.h"

namespace {

TEST(SafeHypot, NeitherOverflowsNorUnderflows) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float a, b, expected;
    };
    const Case cases[] = {
        {3.0f, 4.0f, 5.0f},
        {4.0f, -3.0f, 5.0f},
        {0.0f, 0.0f, 0.0f},
        {0.0f, -7.5f, 7.5f},
        {1e30f, 1e30f, 1.41421356e30f},
        {-1e-30f, 1e-30f, 1.41421356e-30f},
        {3e38f, 3e38f, inf},  // the true value exceeds the float range
        {inf, 1.0f, inf},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << test.a << ", " << test.b);
        // Within four units in the last place of the true value.
        EXPECT_FLOAT_EQ(safe_hypot(test.a, test.b), test.expected);
    }
}

// A = U diag(w) V^T with orthonormal U and V and non-negative w, for square
// and tall matrices.
TEST(SvdDecompose, ReconstructsRandomMatrices) {
    struct Shape {
        int32_t rows, columns;
    };
    for (Shape shape :
         {Shape{1, 1}, Shape{2, 2}, Shape{7, 7}, Shape{9, 4}, Shape{33, 17}, Shape{120, 120}}) {
        const int32_t m = shape.rows;
        const int32_t n = shape.columns;
        SCOPED_TRACE(testing::Message() << m << " x " << n);
        SeededFloats source(31 * m + n);
        OwnedMatrix a(1, m, 1, n);
        OwnedVector w(1, n);
        OwnedMatrix v(1, n, 1, n);
        fillRandom(a.handle(), 1, m, n, source);
        std::vector<double> original = toDense(a.handle(), 1, m, n);
        svd_not_converged = true;
        svd_decompose(a.handle(), m, n, w.handle(), v.handle());
        EXPECT_FALSE(svd_not_converged);

        std::vector<double> u = toDense(a.handle(), 1, m, n);
        std::vector<double> vDense = toDense(v.handle(), 1, n, n);
        std::vector<double> uw = u;
        for (int32_t r = 0; r < m; ++r)
            for (int32_t c = 0; c < n; ++c) uw[r * n + c] *= w[c + 1];
        std::vector<double> rebuilt = multiply(uw, transpose(vDense, n, n), m, n, n);
        double residual = maxAbsDifference(rebuilt, original) / maxAbs(original);
        double uError = orthonormalityError(u, m, n);
        double vError = orthonormalityError(vDense, n, n);
        std::printf("svd %3dx%3d |UWVt-A|/|A|=%.2e |UtU-I|=%.2e |VtV-I|=%.2e\n", m, n, residual,
                    uError, vError);
        EXPECT_LT(residual, 1e-6 * n + 1e-6);
        EXPECT_LT(uError, 1e-6 * n + 1e-6);
        EXPECT_LT(vError, 1e-6 * n + 1e-6);
        for (int32_t k = 1; k <= n; ++k) EXPECT_GE(w[k], 0.0f);
    }
}

// Exact results for a fixed input, identical on every compiler and at every
// optimisation level; a change here means the arithmetic changed.
TEST(SvdDecompose, ResultsArePinnedBitForBit) {
    const int32_t n = 16;
    SeededFloats source(4242);
    SquareDecomposition arrays(n);
    fillRandom(arrays.a.handle(), 1, n, n, source);
    svd_decompose(arrays.a.handle(), n, n, arrays.values.handle(), arrays.vectors.handle());
    uint64_t fingerprint =
        bitFingerprint(arrays.a.handle(), 1, n, n, bitFingerprint(arrays.values.handle(), 1, n));
    EXPECT_EQ(bitFingerprint(arrays.vectors.handle(), 1, n, n, fingerprint), 6127817164516840630u);
}

// Non-finite input never converges, but every singular value still gets at
// most 100 steps; the flag reports it and the next good decomposition clears
// it again.
TEST(SvdDecompose, NonFiniteInputEndsAndRaisesFlagUntilNextDecomposition) {
    const float inf = std::numeric_limits<float>::infinity();
    const int32_t n = 5;
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), inf, -inf}) {
        SCOPED_TRACE(bad);
        SeededFloats source(9);
        SquareDecomposition arrays(n);
        fillRandom(arrays.a.handle(), 1, n, n, source);
        arrays.a[2][3] = bad;
        svd_decompose(arrays.a.handle(), n, n, arrays.values.handle(), arrays.vectors.handle());
        EXPECT_TRUE(svd_not_converged);

        fillRandom(arrays.a.handle(), 1, n, n, source);
        svd_decompose(arrays.a.handle(), n, n, arrays.values.handle(), arrays.vectors.handle());
        EXPECT_FALSE(svd_not_converged);
    }
}

}  // namespace
