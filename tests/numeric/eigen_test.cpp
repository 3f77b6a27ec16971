#include "numeric/eigen.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "tests/numeric/test_arrays.h"

namespace {

struct Decomposition {
    bool converged = false;
    int32_t rotations = -1;
};

Decomposition decompose(SquareDecomposition& arrays, int32_t n) {
    Decomposition result;
    result.converged = jacobi_eigen(arrays.a.handle(), n, arrays.values.handle(),
                                    arrays.vectors.handle(), &result.rotations);
    return result;
}

// diag(2, 2) with off-diagonal 1: theta = 0, t = 1, one rotation in sweep 1,
// and the sum is exactly 0 at the start of sweep 2.
TEST(JacobiEigen, TwoByTwoTakesOneRotationWithExactResults) {
    SquareDecomposition arrays(2);
    arrays.a[1][1] = 2.0f;
    arrays.a[1][2] = 1.0f;
    arrays.a[2][1] = 1.0f;
    arrays.a[2][2] = 2.0f;
    Decomposition result = decompose(arrays, 2);
    const float root = 1.0f / std::sqrt(2.0f);
    EXPECT_TRUE(result.converged);
    EXPECT_EQ(result.rotations, 1);
    EXPECT_EQ(arrays.values[1], 1.0f);
    EXPECT_EQ(arrays.values[2], 3.0f);
    EXPECT_EQ(toDense(arrays.vectors.handle(), 1, 2, 2),
              (std::vector<double>{root, root, -root, root}));
    EXPECT_EQ(arrays.a[1][2], 0.0f);
    EXPECT_EQ(arrays.a[2][1], 1.0f);

    sort_eigen(arrays.values.handle(), arrays.vectors.handle(), 2);
    EXPECT_EQ(arrays.values[1], 3.0f);
    EXPECT_EQ(arrays.values[2], 1.0f);
    EXPECT_EQ(toDense(arrays.vectors.handle(), 1, 2, 2),
              (std::vector<double>{root, root, root, -root}));
}

TEST(SortEigen, LastOfEqualLargestValuesComesFirst) {
    OwnedVector d(1, 3);
    OwnedMatrix v(1, 3, 1, 3);
    d[1] = 1.0f;
    d[2] = 3.0f;
    d[3] = 3.0f;
    // Column k is tagged with k in every row.
    for (int32_t r = 1; r <= 3; ++r)
        for (int32_t c = 1; c <= 3; ++c) v[r][c] = static_cast<float>(10 * r + c);
    sort_eigen(d.handle(), v.handle(), 3);
    EXPECT_EQ(d[1], 3.0f);
    EXPECT_EQ(d[2], 3.0f);
    EXPECT_EQ(d[3], 1.0f);
    for (int32_t r = 1; r <= 3; ++r)
        for (int32_t c = 1; c <= 3; ++c) EXPECT_EQ(v[r][c], static_cast<float>(10 * r + 4 - c));
}

// Random symmetric matrices: only the upper triangle and the diagonal are
// meaningful; the lower triangle holds unrelated values that must be neither
// read nor changed.
TEST(JacobiEigen, DecomposesRandomSymmetricMatrices) {
    for (int32_t n : {1, 2, 5, 17, 40, 120}) {
        SCOPED_TRACE(n);
        SeededFloats source(1000 + n);
        SquareDecomposition arrays(n);
        fillRandom(arrays.a.handle(), 1, n, n, source);
        std::vector<double> before = toDense(arrays.a.handle(), 1, n, n);
        std::vector<double> symmetric = before;
        for (int32_t r = 0; r < n; ++r)
            for (int32_t c = 0; c < r; ++c) symmetric[r * n + c] = symmetric[c * n + r];

        EXPECT_TRUE(decompose(arrays, n).converged);
        std::vector<double> after = toDense(arrays.a.handle(), 1, n, n);
        for (int32_t r = 0; r < n; ++r)
            for (int32_t c = 0; c <= r; ++c) ASSERT_EQ(after[r * n + c], before[r * n + c]);

        std::vector<double> vectors = toDense(arrays.vectors.handle(), 1, n, n);
        std::vector<double> vd = vectors;
        for (int32_t r = 0; r < n; ++r)
            for (int32_t c = 0; c < n; ++c) vd[r * n + c] *= arrays.values[c + 1];
        double residual =
            maxAbsDifference(multiply(symmetric, vectors, n, n, n), vd) / maxAbs(symmetric);
        double orthonormality = orthonormalityError(vectors, n, n);
        std::printf("jacobi n=%3d |AV-VD|/|A|=%.2e |VtV-I|=%.2e\n", n, residual, orthonormality);
        EXPECT_LT(residual, 2e-6 * n + 1e-6);
        EXPECT_LT(orthonormality, 2e-6 * n + 1e-6);

        sort_eigen(arrays.values.handle(), arrays.vectors.handle(), n);
        for (int32_t k = 2; k <= n; ++k) EXPECT_GE(arrays.values[k - 1], arrays.values[k]);
    }
}

// Exact results for a fixed input, identical on every compiler and at every
// optimisation level; a change here means the arithmetic changed.
TEST(JacobiEigen, ResultsArePinnedBitForBit) {
    struct Case {
        int32_t n;
        uint64_t seed;
        bool covariance;  // else unrelated upper and lower triangles
        int32_t rotations;
        uint64_t fingerprint;
    };
    const Case cases[] = {
        {3, 11, false, 9, 9029464418088984035u},
        {24, 2024, false, 1523, 6167294234048502769u},
        {20, 7, true, 1110, 7831729316525352245u},
        {60, 8, true, 12450, 392585893026052514u},
    };
    for (const Case& test : cases) {
        const int32_t n = test.n;
        SCOPED_TRACE(testing::Message() << "n=" << n << " seed=" << test.seed);
        SeededFloats source(test.seed);
        SquareDecomposition arrays(n);
        if (test.covariance)
            fillCovariance(arrays.a.handle(), n, n / 2, false, source);
        else
            fillRandom(arrays.a.handle(), 1, n, n, source);
        Decomposition result = decompose(arrays, n);
        uint64_t fingerprint = bitFingerprint(arrays.vectors.handle(), 1, n, n,
                                              bitFingerprint(arrays.values.handle(), 1, n));
        EXPECT_EQ(result.rotations, test.rotations);
        EXPECT_EQ(bitFingerprint(arrays.a.handle(), 1, n, n, fingerprint), test.fingerprint);
    }
}

TEST(JacobiEigen, EndsInBoundedTimeOnNonFiniteInput) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // An infinite diagonal element makes every rotation with it the identity
    // (t = a[p][q] / h = 0), so its elements are simply dropped and the
    // iteration converges; NaN never lets the sum reach zero.
    struct Case {
        const char* name;
        int32_t row, column;
        float value;
        bool converges;
    };
    const Case cases[] = {
        {"NaN off the diagonal", 1, 3, nan, false},
        {"NaN on the diagonal", 2, 2, nan, false},
        {"infinity off the diagonal", 2, 4, inf, false},
        {"infinity on the diagonal", 3, 3, -inf, true},
    };
    const int32_t n = 6;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        SeededFloats source(5);
        SquareDecomposition arrays(n);
        fillRandom(arrays.a.handle(), 1, n, n, source);
        arrays.a[test.row][test.column] = test.value;
        auto start = std::chrono::steady_clock::now();
        Decomposition result = decompose(arrays, n);
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(result.converged, test.converges);
        EXPECT_LE(result.rotations, 50 * n * (n - 1) / 2);
        EXPECT_LT(elapsed.count(), 5.0);
    }
}

// An order whose work storage cannot be had (some petabytes for 2^24 rows,
// while the work vectors take some megabytes) ends the process like a
// refused work vector. Nothing is read before the work storage is allocated,
// so one element on the stack stands in for the matrix, and nothing is left
// for a leak checker in the dying process.
void decomposeBeyondWorkStorage() {
    float element = 1.0f;
    float* row = &element;
    OffsetMatrix single{&row, 1, 1};
    int32_t rotations = 0;
    jacobi_eigen(single, int32_t{1} << 24, OffsetVector{&element, 1}, single, &rotations);
}

TEST(JacobiEigenDeathTest, RefusedWorkStorageEndsLikeARefusedVector) {
    // Not anchored at the start: an address sanitizer reports the refused
    // allocation on its own line first.
    EXPECT_EXIT(decomposeBeyondWorkStorage(), testing::ExitedWithCode(1),
                "Numerical run-time error\\.\\.\\.\nallocation failure in vector\\(\\)\n"
                "\\.\\.\\.now exiting to system\\.\\.\\.\n$");
}

}  // namespace
