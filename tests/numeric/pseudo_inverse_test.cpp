#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "numeric/eigen.h"
#include "numeric/svd.h"
#include "tests/numeric/test_arrays.h"

namespace {

constexpr float kUntouched = -777.0f;

// Square matrices are given row by row; R is allocated one row and column
// larger than needed to see that nothing outside the n x n block is written.
std::vector<float> invert(int32_t n, const std::vector<float>& values) {
    OwnedMatrix a(0, n - 1, 0, n - 1);
    OwnedMatrix r(0, n, 0, n);
    for (int32_t i = 0; i <= n; ++i)
        for (int32_t j = 0; j <= n; ++j) {
            if (i < n && j < n) a[i][j] = values[i * n + j];
            r[i][j] = kUntouched;
        }
    EXPECT_TRUE(pseudo_inverse(a.handle(), r.handle(), n));
    std::vector<float> result;
    for (int32_t i = 0; i <= n; ++i)
        for (int32_t j = 0; j <= n; ++j) {
            if (i < n && j < n) {
                result.push_back(r[i][j]);
                // The input is left as it was, bit for bit (NaN included).
                EXPECT_EQ(std::memcmp(&a[i][j], &values[i * n + j], sizeof(float)), 0);
            } else {
                EXPECT_EQ(r[i][j], kUntouched) << "outside the result at " << i << ", " << j;
            }
        }
    return result;
}

TEST(PseudoInverse, WorkedExamples) {
    struct Case {
        const char* name;
        int32_t n;
        std::vector<float> input, expected;
    };
    const Case cases[] = {
        {"identity", 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"diag(2, 4)", 2, {2, 0, 0, 4}, {0.5f, 0, 0, 0.25f}},
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
        SquareDecomposition arrays(1);
        arrays.a[1][1] = arrays.values[1] = arrays.vectors[1][1] = kUntouched;
        int32_t rotations = -1;
        EXPECT_TRUE(jacobi_eigen(arrays.a.handle(), n, arrays.values.handle(),
                                 arrays.vectors.handle(), &rotations));
        EXPECT_EQ(rotations, 0);
        svd_not_converged = true;
        svd_decompose(arrays.a.handle(), n, n, arrays.values.handle(), arrays.vectors.handle());
        EXPECT_FALSE(svd_not_converged);
        EXPECT_TRUE(pseudo_inverse(arrays.a.handle(), arrays.vectors.handle(), n));
        EXPECT_EQ(arrays.a[1][1], kUntouched);
        EXPECT_EQ(arrays.values[1], kUntouched);
        EXPECT_EQ(arrays.vectors[1][1], kUntouched);
    }
}

// Random full-rank and rank-deficient matrices (a product through fewer
// dimensions than the order is singular): A A+ A = A and A+ A A+ = A+.
TEST(PseudoInverse, SatisfiesPenroseIdentities) {
    struct Case {
        int32_t n, rank;
    };
    for (Case test : {Case{1, 1}, Case{4, 4}, Case{6, 3}, Case{25, 10}, Case{120, 120}}) {
        const int32_t n = test.n;
        SCOPED_TRACE(testing::Message() << "n=" << n << " rank=" << test.rank);
        SeededFloats source(500 + 7 * n + test.rank);
        std::vector<double> left(n * test.rank), right(test.rank * n);
        for (double& value : left) value = source.next();
        for (double& value : right) value = source.next();
        std::vector<double> product = multiply(left, right, n, test.rank, n);
        std::vector<float> values(product.begin(), product.end());
        std::vector<double> a(values.begin(), values.end());
        std::vector<float> inverse = invert(n, values);
        std::vector<double> plus(inverse.begin(), inverse.end());

        std::vector<double> apa = multiply(multiply(a, plus, n, n, n), a, n, n, n);
        std::vector<double> pap = multiply(multiply(plus, a, n, n, n), plus, n, n, n);
        double first = maxAbsDifference(apa, a) / maxAbs(a);
        double second = maxAbsDifference(pap, plus) / maxAbs(plus);
        std::printf("pinv n=%3d rank=%3d |AA+A-A|/|A|=%.2e |A+AA+-A+|/|A+|=%.2e\n", n, test.rank,
                    first, second);
        // The tolerance grows with the condition number, which for random
        // matrices grows with n.
        EXPECT_LT(first, 1e-5 * n);
        EXPECT_LT(second, 1e-5 * n);
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
    for (float& value : values) value = source.next();
    values[7] = 1.75f;  // largest magnitude in [1, 2)
    std::vector<float> tiny(values);
    for (float& value : tiny) value = std::ldexp(value, -40);

    std::vector<float> reference = invert(n, values);
    std::vector<float> scaled = invert(n, tiny);
    for (size_t k = 0; k < values.size(); ++k)
        EXPECT_EQ(scaled[k], std::ldexp(reference[k], 40)) << k;
}

// Exact results for a fixed input, identical on every compiler and at every
// optimisation level; a change here means the arithmetic changed. Entries up
// to 2 in magnitude take the unscaled path.
TEST(PseudoInverse, ResultsArePinnedBitForBit) {
    const int32_t n = 7;
    SeededFloats source(77);
    std::vector<float> values(n * n);
    for (float& value : values) value = 2.0f * source.next();
    std::vector<float> inverse = invert(n, values);
    EXPECT_EQ(bitFingerprint(OffsetVector{inverse.data(), 0}, 0, n * n), 4743055779475122570u);
}

// Non-finite input must neither hang the scaling nor write outside the result.
TEST(PseudoInverse, NonFiniteInputEnds) {
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), -INFINITY}) {
        SCOPED_TRACE(bad);
        invert(3, {1e-3f, 2, 3, 4, bad, 6, 7, 8, 10});
        invert(2, {1e-3f, 0, 0, bad});
    }
}

}  // namespace
