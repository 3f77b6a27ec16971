#include "numeric/matrix_helpers.h"

#include <gtest/gtest.h>

#include "tests/numeric/test_arrays.h"

namespace {

constexpr float U = -777.0f;  // an element the helper must leave untouched

TEST(VecMean, SumsInAscendingOrderInSinglePrecision) {
    struct Case {
        const char* name;
        std::vector<float> values;
        float mean;
    };
    const Case cases[] = {
        {"no elements", {}, 0.0f},
        // 1e8 + 1 rounds back to 1e8 in float, so the 1 is lost; another order
        // or a wider sum would give 1 / 3.
        {"order pinned", {1e8f, 1.0f, -1e8f}, 0.0f},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<float> values = test.values;
        float mean = U;
        vec_mean(OffsetVector{values.data(), 1}, static_cast<uint32_t>(values.size()), &mean);
        EXPECT_EQ(mean, test.mean);
    }
}

// The products sum in ascending order in single precision: 1e8 + 1 rounds back
// to 1e8, so the 1 is lost where a wider sum would keep it.
TEST(MatMult, MultipliesInAscendingOrderAndWritesOnlyTheResultBlock) {
    TestMatrix a(3, 3, 0, U), b(3, 3, 0, U), c(3, 3, 0, U);
    a.values = {1, 2, 3, 1e8f, 1, -1e8f, U, U, U};  // 2 x 3
    b.values = {7, 1, U, 9, 1, U, 11, 1, U};        // 3 x 2
    mat_mult(a.handle(), b.handle(), c.handle(), 2, 3, 2);
    EXPECT_EQ(c.values, (std::vector<float>{58, 6, U, -4e8, 0, U, U, U, U}));
    TestVector x(3, 0), y(3, 0, U);
    x.values = {1, 1, 1};
    mat_vec_mult(a.handle(), x.handle(), y.handle(), 2, 3);
    EXPECT_EQ(y.values, (std::vector<float>{6, 0, U}));

    // An empty inner dimension gives zeros; an empty outer one writes nothing.
    mat_mult(a.handle(), b.handle(), c.handle(), 2, 0, 1);
    mat_mult(a.handle(), b.handle(), c.handle(), 0, 3, 3);
    mat_mult(a.handle(), b.handle(), c.handle(), 3, 3, 0);
    EXPECT_EQ(c.values, (std::vector<float>{0, 6, U, 0, 0, U, U, U, U}));
}

// The batched helpers must give, row by row, exactly the single forms'
// results: their sums may not be reordered. Row counts straddle the batch
// width; course counts are below one batch of four and a batch and one.
class BatchedHelpers : public ::testing::TestWithParam<int32_t> {};

TEST_P(BatchedHelpers, EqualTheSingleFormsBitForBit) {
    const int32_t rows = GetParam();
    const int32_t columns = 1013;
    SeededFloats source(static_cast<uint32_t>(rows) * 7919u);
    TestMatrix a(rows, columns, 0);
    source.fill(a.values);
    // Values of mixed magnitude make any change of summation order visible.
    for (size_t k = 0; k < a.values.size(); k += 7) a.values[k] *= 1e6f;
    TestVector means(rows, 0);
    mat_row_means(a.handle(), rows, static_cast<uint32_t>(columns), means.handle());
    for (int32_t r = 0; r < rows; ++r) {
        float expected = U;
        vec_mean(OffsetVector{a.handle().rowData(r), 1}, static_cast<uint32_t>(columns), &expected);
        EXPECT_EQ(means[r], expected) << "row " << r;
    }

    for (const int32_t courses : {3, 5}) {
        SCOPED_TRACE(courses);
        TestMatrix b(courses, columns, 0), c(rows, courses + 1, 0, U);
        source.fill(b.values);
        for (int32_t k = 0; k < columns; k += 5) b[1][k] *= 1e5f;
        mat_mult_transposed(a.handle(), b.handle(), c.handle(), rows, columns, courses);
        TestVector y(courses + 1, 0, U);
        for (int32_t r = 0; r < rows; ++r) {
            mat_vec_mult(b.handle(), OffsetVector{a.handle().rowData(r), 0}, y.handle(), courses,
                         columns);
            for (int32_t k = 0; k <= courses; ++k) EXPECT_EQ(c[r][k], y[k]) << r << ", " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, BatchedHelpers, ::testing::Values(1, 7, 8, 9, 17, 100));

}  // namespace
