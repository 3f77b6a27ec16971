#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "numeric/svd.h"
#include "tests/numeric/test_arrays.h"

namespace {

constexpr float kUntouched = -777.0f;

// Square matrices are given row by row; R is allocated one row and column
// larger than needed to see that nothing outside the n x n block is written.
struct Inverted {
    int32_t n;
    std::vector<float> result;
    bool untouchedOutside = true;
};

Inverted invert(int32_t n, const std::vector<float>& values) {
    OwnedMatrix a(0, n - 1 > 0 ? n - 1 : 0, 0, n - 1 > 0 ? n - 1 : 0);
    OwnedMatrix r(0, n, 0, n);
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j) a[i][j] = values[i * n + j];
    for (int32_t i = 0; i <= n; ++i)
        for (int32_t j = 0; j <= n; ++j) r[i][j] = kUntouched;
    EXPECT_TRUE(pseudo_inverse(a.handle(), r.handle(), n));
    Inverted inverted{n, {}, true};
    for (int32_t i = 0; i <= n; ++i) {
        for (int32_t j = 0; j <= n; ++j) {
            if (i < n && j < n)
                inverted.result.push_back(r[i][j]);
            else if (r[i][j] != kUntouched)
                inverted.untouchedOutside = false;
        }
    }
    // The input is left as it was, bit for bit (NaN included).
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j)
            EXPECT_EQ(std::memcmp(&a[i][j], &values[i * n + j], sizeof(float)), 0);
    return inverted;
}

TEST(PseudoInverse, WorkedExamples) {
    struct Case {
        const char* name;
        int32_t n;
        std::vector<float> input, expected;
    };
    const Case cases[] = {
        {"identity 1", 1, {1}, {1}},
        {"identity 3", 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"diag(2, 4)", 2, {2, 0, 0, 4}, {0.5f, 0, 0, 0.25f}},
        {"zero matrix", 3, std::vector<float>(9, 0.0f), std::vector<float>(9, 0.0f)},
        {"diag(1, 1e-7) drops the small value", 2, {1, 0, 0, 1e-7f}, {1, 0, 0, 0}},
        {"negative scalar", 1, {-5}, {-0.2f}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Inverted inverted = invert(test.n, test.input);
        EXPECT_EQ(inverted.result, test.expected);
        EXPECT_TRUE(inverted.untouchedOutside);
    }
}

TEST(PseudoInverse, EmptyMatrixWritesNothing) {
    OwnedMatrix a(0, 0, 0, 0);
    OwnedMatrix r(0, 0, 0, 0);
    r[0][0] = kUntouched;
    EXPECT_TRUE(pseudo_inverse(a.handle(), r.handle(), 0));
    EXPECT_EQ(r[0][0], kUntouched);
}

// Random full-rank and rank-deficient matrices (a Gram matrix of fewer
// vectors than its order is singular): A A+ A = A and A+ A A+ = A+.
TEST(PseudoInverse, SatisfiesPenroseIdentities) {
    struct Case {
        int32_t n, rank;
    };
    for (Case test : {Case{1, 1}, Case{2, 2}, Case{4, 4}, Case{6, 3}, Case{12, 12}, Case{25, 10},
                      Case{40, 40}, Case{120, 120}}) {
        const int32_t n = test.n;
        SCOPED_TRACE(testing::Message() << "n=" << n << " rank=" << test.rank);
        SeededFloats source(500 + 7 * n + test.rank);
        std::vector<double> left(n * test.rank), right(test.rank * n);
        for (double& value : left) value = source.next();
        for (double& value : right) value = source.next();
        std::vector<double> product = multiply(left, right, n, test.rank, n);
        std::vector<float> values(product.begin(), product.end());
        std::vector<double> a(values.begin(), values.end());

        Inverted inverted = invert(n, values);
        std::vector<double> plus(inverted.result.begin(), inverted.result.end());
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
// the same matrix times 2^-40 differ by exactly 2^40.
TEST(PseudoInverse, SmallEntriesScaleExactlyByPowersOfTwo) {
    const int32_t n = 6;
    SeededFloats source(123);
    std::vector<float> values(n * n);
    for (float& value : values) value = source.next();
    values[7] = 1.75f;  // largest magnitude in [1, 2)
    std::vector<float> tiny(values);
    for (float& value : tiny) value = std::ldexp(value, -40);

    Inverted reference = invert(n, values);
    Inverted scaled = invert(n, tiny);
    for (size_t k = 0; k < values.size(); ++k)
        EXPECT_EQ(scaled.result[k], std::ldexp(reference.result[k], 40)) << k;
}

// Exact results for a fixed input, identical on every compiler and at every
// optimisation level; a change here means the arithmetic changed.
TEST(PseudoInverse, ResultsArePinnedBitForBit) {
    const int32_t n = 7;
    SeededFloats source(77);
    std::vector<float> values(n * n);
    // Entries up to 2 in magnitude: the unscaled path.
    float largest = 0.0f;
    for (float& value : values) {
        value = 2.0f * source.next();
        largest = std::max(largest, std::fabs(value));
    }
    ASSERT_GE(largest, 1.0f);
    Inverted inverted = invert(n, values);
    OwnedMatrix result(0, n - 1, 0, n - 1);
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j) result[i][j] = inverted.result[i * n + j];
    EXPECT_EQ(bitFingerprint(result.handle(), 0, n, n), 4743055779475122570u);
}

// A Gram matrix of data in volts (entries near 1e-12) must give the same fit
// as the one in microvolts.
TEST(PseudoInverse, VoltScaleGramMatrixKeepsItsAccuracy) {
    const int32_t n = 5;
    SeededFloats source(321);
    std::vector<double> courses(n * 40);
    for (double& value : courses) value = 1e-6 * source.next();
    std::vector<double> gram = multiply(courses, transpose(courses, n, 40), n, 40, n);
    std::vector<float> values(gram.begin(), gram.end());
    std::vector<double> a(values.begin(), values.end());

    Inverted inverted = invert(n, values);
    std::vector<double> plus(inverted.result.begin(), inverted.result.end());
    std::vector<double> identity = multiply(a, plus, n, n, n);
    for (int32_t i = 0; i < n; ++i) identity[i * n + i] -= 1.0;
    EXPECT_LT(maxAbs(identity), 1e-4);
}

TEST(PseudoInverse, NonFiniteInputEnds) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf}) {
        std::vector<float> values = {1, 2, 3, 4, bad, 6, 7, 8, 10};
        Inverted inverted = invert(3, values);
        EXPECT_TRUE(inverted.untouchedOutside);
    }
}

}  // namespace
