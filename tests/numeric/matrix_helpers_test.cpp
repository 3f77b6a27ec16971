#include "numeric/matrix_helpers.h"

#include <gtest/gtest.h>

#include "tests/numeric/test_arrays.h"

namespace {

constexpr float kUntouched = -777.0f;

void fill(OwnedMatrix& m, int32_t rowLower, int32_t rowUpper, int32_t columnLower,
          int32_t columnUpper, float value) {
    for (int32_t r = rowLower; r <= rowUpper; ++r)
        for (int32_t c = columnLower; c <= columnUpper; ++c) m[r][c] = value;
}

TEST(VecMean, SumsInAscendingOrderInSinglePrecision) {
    struct Case {
        const char* name;
        std::vector<float> values;
        float mean;
    };
    const Case cases[] = {
        {"one element", {2.5f}, 2.5f},
        {"plain", {1.0f, 2.0f, 3.0f, 6.0f}, 3.0f},
        // 1e8 + 1 rounds back to 1e8 in float, so the 1 is lost; another order
        // or a wider sum would give 1 / 3.
        {"order pinned", {1e8f, 1.0f, -1e8f}, 0.0f},
        {"float accumulator", {16777216.0f, 1.0f, 1.0f}, 16777216.0f / 3.0f},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const uint32_t n = static_cast<uint32_t>(test.values.size());
        OwnedVector v(1, static_cast<int32_t>(n));
        for (uint32_t k = 0; k < n; ++k) v[static_cast<int32_t>(k) + 1] = test.values[k];
        float mean = kUntouched;
        vec_mean(v.handle(), n, &mean);
        EXPECT_EQ(mean, test.mean);
    }
}

TEST(VecMean, EmptyVectorGivesZero) {
    OwnedVector v(1, 1);
    float mean = kUntouched;
    vec_mean(v.handle(), 0, &mean);
    EXPECT_EQ(mean, 0.0f);
}

TEST(MatMult, MultipliesRectangularMatrices) {
    OwnedMatrix a(0, 1, 0, 2);  // 2 x 3
    OwnedMatrix b(0, 2, 0, 1);  // 3 x 2
    OwnedMatrix c(0, 2, 0, 2);
    const float aValues[2][3] = {{1, 2, 3}, {4, 5, 6}};
    const float bValues[3][2] = {{7, 8}, {9, 10}, {11, 12}};
    for (int r = 0; r < 2; ++r)
        for (int k = 0; k < 3; ++k) a[r][k] = aValues[r][k];
    for (int k = 0; k < 3; ++k)
        for (int col = 0; col < 2; ++col) b[k][col] = bValues[k][col];
    fill(c, 0, 2, 0, 2, kUntouched);
    mat_mult(a.handle(), b.handle(), c.handle(), 2, 3, 2);
    EXPECT_EQ(c[0][0], 58.0f);
    EXPECT_EQ(c[0][1], 64.0f);
    EXPECT_EQ(c[1][0], 139.0f);
    EXPECT_EQ(c[1][1], 154.0f);
    // Only the 2 x 2 result block is written.
    EXPECT_EQ(c[0][2], kUntouched);
    EXPECT_EQ(c[2][0], kUntouched);
}

TEST(MatMult, SumsInAscendingOrder) {
    OwnedMatrix a(0, 0, 0, 2);
    OwnedMatrix b(0, 2, 0, 0);
    OwnedMatrix c(0, 0, 0, 0);
    a[0][0] = 1e8f;
    a[0][1] = 1.0f;
    a[0][2] = -1e8f;
    for (int32_t k = 0; k < 3; ++k) b[k][0] = 1.0f;
    mat_mult(a.handle(), b.handle(), c.handle(), 1, 3, 1);
    EXPECT_EQ(c[0][0], 0.0f);
}

TEST(MatMult, EmptyInnerDimensionGivesZerosAndEmptyOuterWritesNothing) {
    OwnedMatrix a(0, 2, 0, 2);
    OwnedMatrix b(0, 2, 0, 2);
    OwnedMatrix c(0, 2, 0, 2);
    fill(a, 0, 2, 0, 2, 1.0f);
    fill(b, 0, 2, 0, 2, 1.0f);
    fill(c, 0, 2, 0, 2, kUntouched);
    mat_mult(a.handle(), b.handle(), c.handle(), 2, 0, 3);
    for (int32_t r = 0; r < 2; ++r)
        for (int32_t col = 0; col < 3; ++col) EXPECT_EQ(c[r][col], 0.0f);
    EXPECT_EQ(c[2][0], kUntouched);

    fill(c, 0, 2, 0, 2, kUntouched);
    mat_mult(a.handle(), b.handle(), c.handle(), 0, 3, 3);
    mat_mult(a.handle(), b.handle(), c.handle(), 3, 3, 0);
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t col = 0; col < 3; ++col) EXPECT_EQ(c[r][col], kUntouched);
}

TEST(MatVecMult, MultipliesAndZeroesForEmptyRows) {
    OwnedMatrix a(0, 1, 0, 1);
    OwnedVector x(0, 1);
    OwnedVector y(0, 2);
    a[0][0] = 1.0f;
    a[0][1] = 2.0f;
    a[1][0] = 3.0f;
    a[1][1] = 4.0f;
    x[0] = 5.0f;
    x[1] = 6.0f;
    y[2] = kUntouched;
    mat_vec_mult(a.handle(), x.handle(), y.handle(), 2, 2);
    EXPECT_EQ(y[0], 17.0f);
    EXPECT_EQ(y[1], 39.0f);
    EXPECT_EQ(y[2], kUntouched);

    mat_vec_mult(a.handle(), x.handle(), y.handle(), 2, 0);
    EXPECT_EQ(y[0], 0.0f);
    EXPECT_EQ(y[1], 0.0f);
    EXPECT_EQ(y[2], kUntouched);
}

TEST(MatTranspose, WritesOnlyTheTransposedBlockOfAWiderTarget) {
    // A 2 x 3 block into a 3 x 4 target: columns 2..3 of the target keep
    // their contents.
    OwnedMatrix a(0, 1, 0, 2);
    OwnedMatrix b(0, 2, 0, 3);
    fill(b, 0, 2, 0, 3, kUntouched);
    for (int32_t r = 0; r < 2; ++r)
        for (int32_t col = 0; col < 3; ++col) a[r][col] = static_cast<float>(10 * r + col);
    mat_transpose(a.handle(), b.handle(), 2, 3);
    for (int32_t r = 0; r < 3; ++r) {
        for (int32_t col = 0; col < 4; ++col) {
            float expected = col < 2 ? static_cast<float>(10 * col + r) : kUntouched;
            EXPECT_EQ(b[r][col], expected) << r << "," << col;
        }
    }
}

TEST(MatCopy, MovesBetweenIndexBases) {
    OwnedMatrix oneBased(1, 2, 1, 2);
    OwnedMatrix zeroBased(0, 1, 0, 1);
    OwnedMatrix back(1, 2, 1, 2);
    oneBased[1][1] = 1.0f;
    oneBased[1][2] = 2.0f;
    oneBased[2][1] = 3.0f;
    oneBased[2][2] = 4.0f;
    mat_copy(oneBased.handle(), zeroBased.handle(), 2, 2, 3);
    EXPECT_EQ(zeroBased[0][0], 1.0f);
    EXPECT_EQ(zeroBased[0][1], 2.0f);
    EXPECT_EQ(zeroBased[1][0], 3.0f);
    EXPECT_EQ(zeroBased[1][1], 4.0f);
    mat_copy(zeroBased.handle(), back.handle(), 2, 2, 2);
    for (int32_t r = 1; r <= 2; ++r)
        for (int32_t col = 1; col <= 2; ++col) EXPECT_EQ(back[r][col], oneBased[r][col]);
}

TEST(MatCopy, SameBaseModesAndUnknownModes) {
    struct Case {
        int32_t mode;
        bool copies;
    };
    for (Case test : {Case{0, true}, Case{1, true}, Case{4, false}, Case{-1, false}}) {
        SCOPED_TRACE(test.mode);
        OwnedMatrix source(0, 2, 0, 2);
        OwnedMatrix target(0, 2, 0, 2);
        for (int32_t r = 0; r <= 2; ++r)
            for (int32_t col = 0; col <= 2; ++col) source[r][col] = static_cast<float>(3 * r + col);
        fill(target, 0, 2, 0, 2, kUntouched);
        mat_copy(source.handle(), target.handle(), 2, 2, test.mode);
        // Mode 0 copies rows/columns 0..1, mode 1 rows/columns 1..2.
        int32_t base = test.mode == 1 ? 1 : 0;
        for (int32_t r = 0; r <= 2; ++r) {
            for (int32_t col = 0; col <= 2; ++col) {
                bool inBlock = r >= base && r < base + 2 && col >= base && col < base + 2;
                float expected = test.copies && inBlock ? source[r][col] : kUntouched;
                EXPECT_EQ(target[r][col], expected) << r << "," << col;
            }
        }
    }
}

TEST(MatScaleRows, ScalesEachRowByItsFactor) {
    OwnedMatrix a(0, 1, 0, 2);
    OwnedVector factors(0, 1);
    fill(a, 0, 1, 0, 2, 3.0f);
    factors[0] = 2.0f;
    factors[1] = -0.5f;
    mat_scale_rows(factors.handle(), a.handle(), 2, 2);
    EXPECT_EQ(a[0][0], 6.0f);
    EXPECT_EQ(a[0][1], 6.0f);
    EXPECT_EQ(a[1][0], -1.5f);
    EXPECT_EQ(a[1][1], -1.5f);
    EXPECT_EQ(a[0][2], 3.0f);  // outside the m x n block
}

}  // namespace

namespace {

// The batched helpers must give, row by row, exactly the single forms'
// results: their sums may not be reordered. Sizes straddle the batch width.
class BatchedHelpers : public ::testing::TestWithParam<int32_t> {};

TEST_P(BatchedHelpers, RowMeansEqualVecMeanBitForBit) {
    const int32_t rows = GetParam();
    const int32_t columns = 1013;
    SeededFloats source(static_cast<uint32_t>(rows) * 7919u);
    OwnedMatrix a(0, rows - 1, 0, columns - 1);
    fillRandom(a.handle(), 0, rows, columns, source);
    // Values of mixed magnitude make any change of summation order visible.
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < columns; c += 7) a[r][c] *= 1e6f;
    OwnedVector means(0, rows - 1);
    mat_row_means(a.handle(), rows, static_cast<uint32_t>(columns), means.handle());
    for (int32_t r = 0; r < rows; ++r) {
        float expected = kUntouched;
        vec_mean(OffsetVector{a.handle().rowData(r), 1}, static_cast<uint32_t>(columns), &expected);
        EXPECT_EQ(means[r], expected) << "row " << r;
    }
}

TEST_P(BatchedHelpers, ProductsWithTransposeEqualMatVecMultBitForBit) {
    const int32_t rows = GetParam();
    const int32_t columns = 1013;
    for (const int32_t courses : {3, 5}) {  // one batch of courses, and a batch and one
        SCOPED_TRACE(courses);
        SeededFloats source(static_cast<uint32_t>(rows) * 104729u);
        OwnedMatrix a(0, rows - 1, 0, columns - 1);
        OwnedMatrix b(0, courses - 1, 0, columns - 1);
        fillRandom(a.handle(), 0, rows, columns, source);
        fillRandom(b.handle(), 0, courses, columns, source);
        for (int32_t c = 0; c < columns; c += 5) b[1][c] *= 1e5f;
        OwnedMatrix c(0, rows - 1, 0, courses);
        fill(c, 0, rows - 1, 0, courses, kUntouched);
        mat_mult_transposed(a.handle(), b.handle(), c.handle(), rows, columns, courses);
        OwnedVector y(0, courses - 1);
        for (int32_t r = 0; r < rows; ++r) {
            mat_vec_mult(b.handle(), OffsetVector{a.handle().rowData(r), 0}, y.handle(), courses,
                         columns);
            for (int32_t k = 0; k < courses; ++k) EXPECT_EQ(c[r][k], y[k]) << r << ", " << k;
            EXPECT_EQ(c[r][courses], kUntouched);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, BatchedHelpers, ::testing::Values(1, 7, 8, 9, 17, 100));

}  // namespace
