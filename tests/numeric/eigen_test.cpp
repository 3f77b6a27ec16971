#include "numeric/eigen.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/numeric/test_arrays.h"

namespace {

// diag(2, 2) with off-diagonal 1: theta = 0, t = 1, one rotation in sweep 1,
// and the sum is exactly 0 at the start of sweep 2. The lower triangle is
// neither read nor changed.
TEST(JacobiEigen, TwoByTwoTakesOneRotationWithExactResults) {
    SquareDecomposition arrays(2);
    arrays.a.values = {2, 1, -9, 2};
    arrays.runJacobi(2);
    const float root = 1.0f / std::sqrt(2.0f);
    EXPECT_TRUE(arrays.converged);
    EXPECT_EQ(arrays.rotations, 1);
    EXPECT_EQ(arrays.values.values, (std::vector<float>{1, 3}));
    EXPECT_EQ(arrays.vectors.values, (std::vector<float>{root, root, -root, root}));
    EXPECT_EQ(arrays.a.values, (std::vector<float>{2, 0, -9, 2}));
}

// Equal largest values: the last of them comes first.
TEST(SortEigen, LastOfEqualLargestValuesComesFirst) {
    TestVector d(3);
    TestMatrix v(3, 3);
    d.values = {1, 3, 3};
    v.values = {11, 12, 13, 21, 22, 23, 31, 32, 33};
    sort_eigen(d.handle(), v.handle(), 3);
    EXPECT_EQ(d.values, (std::vector<float>{3, 3, 1}));
    EXPECT_EQ(v.values, (std::vector<float>{13, 12, 11, 23, 22, 21, 33, 32, 31}));
}

// Random symmetric matrices, given by the upper triangle and the diagonal:
// A V = V diag(d) with orthonormal V, and sorted values descend.
TEST(JacobiEigen, DecomposesRandomSymmetricMatrices) {
    for (int32_t n : {1, 2, 5, 17, 40, 120}) {
        SCOPED_TRACE(n);
        SeededFloats source(1000 + n);
        SquareDecomposition arrays(n);
        source.fill(arrays.a.values);
        std::vector<double> symmetric = arrays.a.dense();
        for (int32_t r = 0; r < n; ++r)
            for (int32_t c = 0; c < r; ++c) symmetric[r * n + c] = symmetric[c * n + r];
        arrays.runJacobi(n);
        EXPECT_TRUE(arrays.converged);

        std::vector<double> vectors = arrays.vectors.dense();
        std::vector<double> vd = vectors;
        for (size_t k = 0; k < vd.size(); ++k) vd[k] *= arrays.values.values[k % n];
        EXPECT_LT(maxAbsDifference(multiply(symmetric, vectors, n, n, n), vd) / maxAbs(symmetric),
                  2e-6 * n + 1e-6);
        EXPECT_LT(orthonormalityError(vectors, n, n), 2e-6 * n + 1e-6);
        sort_eigen(arrays.values.handle(), arrays.vectors.handle(), n);
        EXPECT_TRUE(std::is_sorted(arrays.values.values.rbegin(), arrays.values.values.rend()));
    }
}

// Exact results for fixed inputs, identical on every compiler and at every
// optimisation level; a change here means the arithmetic changed. The orders
// leave different remainders in the padded rows; the tiny matrix takes the
// subnormal path of the rotation angle.
TEST(JacobiEigen, ResultsArePinnedBitForBit) {
    struct Case {
        int32_t n;
        uint64_t seed;
        bool covariance;  // else unrelated upper and lower triangles
        float scale;
        int32_t rotations;
        uint64_t fingerprint;
    };
    const Case cases[] = {
        {3, 11, false, 1.0f, 9, 9029464418088984035u},
        {13, 5, false, 1e-38f, 344, 11378481615793786653u},
        {20, 7, true, 1.0f, 1110, 7831729316525352245u},
        {60, 8, true, 1.0f, 12450, 392585893026052514u},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << "n=" << test.n << " seed=" << test.seed);
        SeededFloats source(test.seed);
        SquareDecomposition arrays(test.n);
        if (test.covariance)
            fillCovariance(arrays.a.values, test.n, test.n / 2, source);
        else
            source.fill(arrays.a.values);
        for (float& value : arrays.a.values) value *= test.scale;
        arrays.runJacobi(test.n);
        EXPECT_EQ(arrays.rotations, test.rotations);
        uint64_t fingerprint =
            bitFingerprint(arrays.vectors.values, bitFingerprint(arrays.values.values));
        EXPECT_EQ(bitFingerprint(arrays.a.values, fingerprint), test.fingerprint);
    }
}

}  // namespace
