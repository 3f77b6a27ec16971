#include "numeric/matrix_helpers.h"

#include <gtest/gtest.h>

#include "tests/numeric/test_arrays.h"

namespace {

constexpr float kUntouched = -777.0f;

// Writes `values` row by row into the block of m that starts at (first, first)
// and is `columns` wide; every other element of m up to `last` gets the marker.
void load(OwnedMatrix& m, int32_t first, int32_t last, int32_t columns,
          const std::vector<float>& values) {
    for (int32_t r = first; r <= last; ++r)
        for (int32_t c = first; c <= last; ++c) m[r][c] = kUntouched;
    for (size_t k = 0; k < values.size(); ++k)
        m[first + static_cast<int32_t>(k) / columns][first + static_cast<int32_t>(k) % columns] =
            values[k];
}

TEST(VecMean, SumsInAscendingOrderInSinglePrecision) {
    struct Case {
        const char* name;
        std::vector<float> values;
        float mean;
    };
    const Case cases[] = {
        {"no elements", {}, 0.0f},
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
        OwnedVector v(1, 1 + static_cast<int32_t>(n));
        for (uint32_t k = 0; k < n; ++k) v[static_cast<int32_t>(k) + 1] = test.values[k];
        float mean = kUntouched;
        vec_mean(v.handle(), n, &mean);
        EXPECT_EQ(mean, test.mean);
    }
}

TEST(MatMult, MultipliesInAscendingOrderAndWritesOnlyTheResultBlock) {
    OwnedMatrix a(0, 2, 0, 2), b(0, 2, 0, 2), c(0, 2, 0, 2);
    load(a, 0, 2, 3, {1, 2, 3, 1e8f, 1, -1e8f});  // 2 x 3
    load(b, 0, 2, 2, {7, 1, 9, 1, 11, 1});        // 3 x 2
    load(c, 0, 2, 3, {});
    mat_mult(a.handle(), b.handle(), c.handle(), 2, 3, 2);
    // 1e8 + 1 rounds back to 1e8 in float, so the 1 is lost; a wider sum
    // would keep it.
    EXPECT_EQ(toDense(c.handle(), 0, 3, 3),
              (std::vector<double>{58, 6, kUntouched, -4e8, 0, kUntouched, kUntouched, kUntouched,
                                   kUntouched}));

    // An empty inner dimension gives zeros; an empty outer one writes nothing.
    mat_mult(a.handle(), b.handle(), c.handle(), 2, 0, 1);
    mat_mult(a.handle(), b.handle(), c.handle(), 0, 3, 3);
    mat_mult(a.handle(), b.handle(), c.handle(), 3, 3, 0);
    EXPECT_EQ(toDense(c.handle(), 0, 3, 3),
              (std::vector<double>{0, 6, kUntouched, 0, 0, kUntouched, kUntouched, kUntouched,
                                   kUntouched}));
}

TEST(MatVecMult, MultipliesAndZeroesForNoColumns) {
    OwnedMatrix a(0, 1, 0, 1);
    OwnedVector x(0, 1), y(0, 2);
    load(a, 0, 1, 2, {1, 2, 3, 4});
    x[0] = 5.0f;
    x[1] = 6.0f;
    y[2] = kUntouched;
    mat_vec_mult(a.handle(), x.handle(), y.handle(), 2, 2);
    EXPECT_EQ(y[0], 17.0f);
    EXPECT_EQ(y[1], 39.0f);
    mat_vec_mult(a.handle(), x.handle(), y.handle(), 2, 0);
    EXPECT_EQ(y[0], 0.0f);
    EXPECT_EQ(y[1], 0.0f);
    EXPECT_EQ(y[2], kUntouched);
}

TEST(MatTransposeAndScaleRows, WriteOnlyTheirBlock) {
    OwnedMatrix a(0, 2, 0, 2), b(0, 2, 0, 2);
    OwnedVector factors(0, 1);
    load(a, 0, 2, 3, {1, 2, 3, 4, 5, 6});
    load(b, 0, 2, 3, {});
    mat_transpose(a.handle(), b.handle(), 2, 3);
    EXPECT_EQ(toDense(b.handle(), 0, 3, 3),
              (std::vector<double>{1, 4, kUntouched, 2, 5, kUntouched, 3, 6, kUntouched}));
    factors[0] = 2.0f;
    factors[1] = -0.5f;
    mat_scale_rows(factors.handle(), a.handle(), 2, 2);
    EXPECT_EQ(toDense(a.handle(), 0, 3, 3),
              (std::vector<double>{2, 4, 3, -2, -2.5, 6, kUntouched, kUntouched, kUntouched}));
}

TEST(MatCopy, MovesABlockBetweenIndexBasesByMode) {
    struct Case {
        int32_t mode, sourceBase, targetBase;  // a base of -1: nothing is copied
    };
    for (Case test : {Case{0, 0, 0}, Case{1, 1, 1}, Case{2, 0, 1}, Case{3, 1, 0}, Case{4, -1, -1},
                      Case{-1, -1, -1}}) {
        SCOPED_TRACE(test.mode);
        OwnedMatrix source(0, 2, 0, 2), target(0, 2, 0, 2);
        load(source, 0, 2, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
        load(target, 0, 2, 3, {});
        mat_copy(source.handle(), target.handle(), 2, 2, test.mode);
        for (int32_t r = 0; r < 3; ++r)
            for (int32_t c = 0; c < 3; ++c) {
                const int32_t row = r - test.targetBase, column = c - test.targetBase;
                const bool copied =
                    test.targetBase >= 0 && row >= 0 && row < 2 && column >= 0 && column < 2;
                EXPECT_EQ(
                    target[r][c],
                    copied ? source[row + test.sourceBase][column + test.sourceBase] : kUntouched)
                    << r << ", " << c;
            }
    }
}

// The batched helpers must give, row by row, exactly the single forms'
// results: their sums may not be reordered. Sizes straddle the batch width;
// course counts are below one batch of four and a batch and one.
class BatchedHelpers : public ::testing::TestWithParam<int32_t> {};

TEST_P(BatchedHelpers, EqualTheSingleFormsBitForBit) {
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

    for (const int32_t courses : {3, 5}) {
        SCOPED_TRACE(courses);
        OwnedMatrix b(0, courses - 1, 0, columns - 1);
        fillRandom(b.handle(), 0, courses, columns, source);
        for (int32_t c = 0; c < columns; c += 5) b[1][c] *= 1e5f;
        OwnedMatrix c(0, rows - 1, 0, courses);
        for (int32_t r = 0; r < rows; ++r) c[r][courses] = kUntouched;
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
