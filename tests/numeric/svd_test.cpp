#include "numeric/svd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "numeric/pseudo_inverse.h"
#include "tests/numeric/test_arrays.h"

namespace {

TEST(SafeHypot, NeitherOverflowsNorUnderflows) {
    // a, b and the hypotenuse.
    const float cases[][3] = {
        {4.0f, -3.0f, 5.0f},
        {0.0f, 0.0f, 0.0f},
        {1e30f, 1e30f, 1.41421356e30f},
        {-1e-30f, 1e-30f, 1.41421356e-30f},
        {3e38f, 3e38f, INFINITY},  // the true value exceeds the float range
    };
    // Within four units in the last place of the true value.
    for (const auto& [a, b, expected] : cases) EXPECT_FLOAT_EQ(safe_hypot(a, b), expected) << a;
}

constexpr float kUntouched = -777.0f;

// The pseudo-inverse of a square matrix given row by row. The result matrix
// has a row and column more than needed, to see that nothing outside the
// n x n block is written, and the input must come back unchanged, bit for bit.
std::vector<float> invert(int32_t n, const std::vector<float>& values) {
    TestMatrix a(n, n, 0), r(n + 1, n + 1, 0, kUntouched);
    a.values = values;
    EXPECT_TRUE(pseudo_inverse(a.handle(), r.handle(), n));
    EXPECT_EQ(std::memcmp(a.values.data(), values.data(), values.size() * sizeof(float)), 0);
    EXPECT_EQ(std::count(r.values.begin(), r.values.end(), kUntouched), 2 * n + 1);
    std::vector<float> result;
    for (int32_t i = 0; i < n; ++i) result.insert(result.end(), &r[i][0], &r[i][n]);
    return result;
}

TEST(PseudoInverse, WorkedExamples) {
    struct Case {
        const char* name;
        int32_t n;
        std::vector<float> input, expected;
    };
    const Case cases[] = {
        {"zero matrix", 3, std::vector<float>(9, 0.0f), std::vector<float>(9, 0.0f)},
        {"diag(1, 1e-7) drops the small value", 2, {1, 0, 0, 1e-7f}, {1, 0, 0, 0}},
        {"negative scalar", 1, {-5}, {-0.2f}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(invert(test.n, test.input), test.expected);
    }
}

// Orders below one return at once: no allocation (which would end the process
// for a negative order), nothing written, success.
TEST(NumericKernels, EmptyOrdersWriteNothing) {
    for (int32_t n : {0, -3}) {
        SCOPED_TRACE(n);
        SquareDecomposition arrays(1, kUntouched);
        arrays.runJacobi(n);
        EXPECT_TRUE(arrays.converged);
        EXPECT_EQ(arrays.rotations, 0);
        svd_not_converged = true;
        svd_decompose(arrays.a.handle(), n, n, arrays.values.handle(), arrays.vectors.handle());
        EXPECT_FALSE(svd_not_converged);
        EXPECT_TRUE(pseudo_inverse(arrays.a.handle(), arrays.vectors.handle(), n));
        const std::vector<float> untouched{kUntouched};
        EXPECT_EQ(arrays.a.values, untouched);
        EXPECT_EQ(arrays.values.values, untouched);
        EXPECT_EQ(arrays.vectors.values, untouched);
    }
}

// Random matrices, square and tall, full-rank and rank-deficient (a product
// through fewer dimensions than the order is singular): A = U diag(w) V^T
// with orthonormal U and V and non-negative w, and for square ones
// A A+ A = A and A+ A A+ = A+.
TEST(SvdDecompose, ReconstructsAndPseudoInvertsRandomMatrices) {
    const int32_t shapes[][3] = {{1, 1, 1},    {4, 4, 4},    {6, 6, 3},      {9, 4, 4},
                                 {33, 17, 17}, {25, 25, 10}, {120, 120, 120}};
    for (const auto& [m, n, rank] : shapes) {
        SCOPED_TRACE(testing::Message() << m << " x " << n << " of rank " << rank);
        SeededFloats source(500 + 7 * m + n + rank);
        std::vector<float> left(m * rank), right(rank * n);
        source.fill(left);
        source.fill(right);
        std::vector<double> product =
            multiply({left.begin(), left.end()}, {right.begin(), right.end()}, m, rank, n);
        TestMatrix a(m, n), v(n, n);
        TestVector w(n);
        std::copy(product.begin(), product.end(), a.values.begin());
        std::vector<double> original = a.dense();
        svd_not_converged = true;
        svd_decompose(a.handle(), m, n, w.handle(), v.handle());
        EXPECT_FALSE(svd_not_converged);
        std::vector<double> uw = a.dense();
        for (size_t k = 0; k < uw.size(); ++k) uw[k] *= w.values[k % n];
        std::vector<double> rebuilt = multiply(uw, transpose(v.dense(), n, n), m, n, n);
        EXPECT_LT(maxAbsDifference(rebuilt, original) / maxAbs(original), 1e-6 * n + 1e-6);
        EXPECT_LT(orthonormalityError(a.dense(), m, n), 1e-6 * n + 1e-6);
        EXPECT_LT(orthonormalityError(v.dense(), n, n), 1e-6 * n + 1e-6);
        EXPECT_GE(*std::min_element(w.values.begin(), w.values.end()), 0.0f);
        if (m != n) continue;

        std::vector<float> inverse = invert(n, {original.begin(), original.end()});
        std::vector<double> plus(inverse.begin(), inverse.end());
        std::vector<double> apa = multiply(multiply(original, plus, n, n, n), original, n, n, n);
        std::vector<double> pap = multiply(multiply(plus, original, n, n, n), plus, n, n, n);
        // The tolerance grows with the condition number, which for random
        // matrices grows with n.
        EXPECT_LT(maxAbsDifference(apa, original) / maxAbs(original), 1e-5 * n);
        EXPECT_LT(maxAbsDifference(pap, plus) / maxAbs(plus), 1e-5 * n);
    }
}

// The decomposition's negligibility bound is absolute, so the input is
// brought into [1, 2) by a power of two first; the results of a matrix and of
// the same matrix times 2^-40 (a Gram matrix of data in volts instead of
// microvolts is this small) differ by exactly 2^40.
TEST(PseudoInverse, SmallEntriesScaleExactlyByPowersOfTwo) {
    const int32_t n = 6;
    SeededFloats source(123);
    std::vector<float> values(n * n);
    source.fill(values);
    values[7] = 1.75f;  // largest magnitude in [1, 2)
    std::vector<float> tiny(values);
    for (float& value : tiny) value = std::ldexp(value, -40);

    std::vector<float> reference = invert(n, values);
    std::vector<float> scaled = invert(n, tiny);
    for (size_t k = 0; k < values.size(); ++k)
        EXPECT_EQ(scaled[k], std::ldexp(reference[k], 40)) << k;
}

// Exact results for a fixed input, identical on every compiler and at every
// optimisation level; a change here means the arithmetic of the pseudo-inverse
// or of the decomposition under it changed. Entries up to 2 in magnitude take
// the unscaled path.
TEST(PseudoInverse, ResultsArePinnedBitForBit) {
    std::vector<float> values(7 * 7);
    SeededFloats source(77);
    for (float& value : values) value = 2.0f * source.next();
    EXPECT_EQ(bitFingerprint(invert(7, values)), 4743055779475122570u);
}

// Non-finite input never converges, but every singular value still gets at
// most 100 steps; the flag reports it and the next good decomposition clears
// it again. The pseudo-inverse's scaling must not hang on it either.
TEST(SvdDecompose, NonFiniteInputEndsAndRaisesFlagUntilNextDecomposition) {
    const int32_t n = 5;
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        SCOPED_TRACE(bad);
        SeededFloats source(9);
        SquareDecomposition arrays(n);
        source.fill(arrays.a.values);
        arrays.a[2][3] = bad;
        svd_decompose(arrays.a.handle(), n, n, arrays.values.handle(), arrays.vectors.handle());
        EXPECT_TRUE(svd_not_converged);

        source.fill(arrays.a.values);
        svd_decompose(arrays.a.handle(), n, n, arrays.values.handle(), arrays.vectors.handle());
        EXPECT_FALSE(svd_not_converged);
        invert(2, {1e-3f, 0, 0, bad});
    }
}

}  // namespace
