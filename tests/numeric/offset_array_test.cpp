#include "numeric/offset_array.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(OffsetVector, AddressesContiguousElementsFromAnyLowerBound) {
    struct Case {
        int32_t lower, upper;
    };
    for (Case bounds : {Case{1, 7}, Case{0, 6}, Case{-3, 3}, Case{1000, 1006}}) {
        OffsetVector v = vector(bounds.lower, bounds.upper);
        for (int32_t i = bounds.lower; i <= bounds.upper; ++i) v[i] = static_cast<float>(i);
        EXPECT_EQ(&v[bounds.lower], v.first);
        EXPECT_EQ(&v[bounds.upper] - &v[bounds.lower], 6);
        for (int32_t i = bounds.lower; i <= bounds.upper; ++i)
            EXPECT_EQ(v.first[i - bounds.lower], static_cast<float>(i));
        release_vector(v, bounds.lower, bounds.upper);
    }
}

TEST(OffsetVector, IntegerVectorHoldsFullRange) {
    OffsetIntVector v = ivector(-2, 2);
    v[-2] = INT32_MIN;
    v[2] = INT32_MAX;
    EXPECT_EQ(&v[2] - &v[-2], 4);
    EXPECT_EQ(v.first[0], INT32_MIN);
    EXPECT_EQ(v.first[4], INT32_MAX);
    release_ivector(v, -2, 2);
}

TEST(OffsetVector, ZeroCountSucceeds) {
    OffsetVector v = vector(5, 4);
    EXPECT_NE(v.first, nullptr);
    release_vector(v, 5, 4);
    OffsetIntVector iv = ivector(0, -1);
    EXPECT_NE(iv.first, nullptr);
    release_ivector(iv, 0, -1);
}

TEST(OffsetVector, RebasedNamesTheSameElements) {
    OffsetVector v = vector(1, 4);
    for (int32_t i = 1; i <= 4; ++i) v[i] = static_cast<float>(10 * i);
    OffsetVector zeroBased = v.rebased(1, 0);
    EXPECT_EQ(&zeroBased[0], &v[1]);
    EXPECT_EQ(zeroBased[3], 40.0f);
    release_vector(v, 1, 4);
}

TEST(OffsetMatrix, RowsFollowEachOtherWithoutGaps) {
    OffsetMatrix m = matrix(0, 2, 0, 3);
    EXPECT_EQ(&m[1][0], &m[0][3] + 1);
    EXPECT_EQ(&m[2][3], &m[0][0] + 11);
    EXPECT_EQ(m.rowData(2), &m[2][0]);
    release_matrix(m, 0, 2, 0, 3);
}

TEST(OffsetMatrix, OneAndZeroBasedHoldTheSameLayout) {
    const int32_t n = 5;
    OffsetMatrix oneBased = matrix(1, n, 1, n);
    OffsetMatrix zeroBased = matrix(0, n - 1, 0, n - 1);
    EXPECT_EQ(&oneBased[n][n] - &oneBased[1][1], n * n - 1);
    EXPECT_EQ(&zeroBased[n - 1][n - 1] - &zeroBased[0][0], n * n - 1);
    // Writing through the row handles fills the block in row-major order.
    for (int32_t r = 1; r <= n; ++r)
        for (int32_t c = 1; c <= n; ++c) oneBased[r][c] = static_cast<float>((r - 1) * n + c - 1);
    for (int32_t k = 0; k < n * n; ++k) EXPECT_EQ(oneBased.rowData(1)[k], static_cast<float>(k));
    release_matrix(zeroBased, 0, n - 1, 0, n - 1);
    release_matrix(oneBased, 1, n, 1, n);
}

TEST(OffsetMatrix, NegativeLowerBoundsAndNoColumns) {
    OffsetMatrix m = matrix(-2, 1, -1, 1);
    EXPECT_EQ(&m[1][1] - &m[-2][-1], 11);
    release_matrix(m, -2, 1, -1, 1);
    OffsetMatrix noColumns = matrix(1, 3, 1, 0);
    EXPECT_NE(noColumns.rows, nullptr);
    release_matrix(noColumns, 1, 3, 1, 0);
}

// The fatal path writes exactly three lines and ends with status 1.
struct FatalCase {
    const char* name;
    void (*request)();
    const char* message;
};

std::string threeLines(const std::string& message) {
    std::string escaped;
    for (char ch : message) {
        if (std::string("\\^$.|?*+()[]{}").find(ch) != std::string::npos) escaped += '\\';
        escaped += ch;
    }
    return "^Numerical run-time error\\.\\.\\.\n" + escaped +
           "\n\\.\\.\\.now exiting to system\\.\\.\\.\n$";
}

const FatalCase kFatalCases[] = {
    {"negative vector count", [] { vector(5, 3); }, "allocation failure in vector()"},
    {"negative integer vector count", [] { ivector(0, -2); }, "allocation failure in ivector()"},
    {"negative row count", [] { matrix(1, -1, 1, 3); }, "allocation failure 1 in matrix()"},
    {"element block refused", [] { matrix(1, 3, 1, -1); }, "allocation failure 2 in matrix()"},
    {"caller's own message", [] { numeric_fatal_error("singular (matrix)"); }, "singular (matrix)"},
};

TEST(NumericFatalErrorDeathTest, WritesThreeLinesAndExitsWithOne) {
    for (const FatalCase& fatal : kFatalCases) {
        SCOPED_TRACE(fatal.name);
        EXPECT_EXIT(fatal.request(), testing::ExitedWithCode(1), threeLines(fatal.message));
    }
}

}  // namespace
