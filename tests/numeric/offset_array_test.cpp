#include "numeric/offset_array.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(OffsetVector, AddressesContiguousElementsFromAnyLowerBound) {
    for (int32_t lower : {1, 0, -3, 1000}) {
        SCOPED_TRACE(lower);
        OffsetVector v = vector(lower, lower + 6);
        OffsetIntVector iv = ivector(lower, lower + 6);
        for (int32_t i = lower; i <= lower + 6; ++i) {
            v[i] = static_cast<float>(i);
            iv[i] = i == lower ? INT32_MIN : INT32_MAX;
        }
        for (int32_t k = 0; k <= 6; ++k) {
            EXPECT_EQ(v.first[k], static_cast<float>(lower + k));
            EXPECT_EQ(iv.first[k], k == 0 ? INT32_MIN : INT32_MAX);
        }
        EXPECT_EQ(&v.rebased(lower + 1, 0)[0], v.first + 1);
        release_ivector(iv, lower, lower + 6);
        release_vector(v, lower, lower + 6);
    }
    // No elements is a valid request, not a failure.
    OffsetVector empty = vector(5, 4);
    EXPECT_NE(empty.first, nullptr);
    release_vector(empty, 5, 4);
}

TEST(OffsetMatrix, RowsFollowEachOtherWithoutGaps) {
    OffsetMatrix m = matrix(-2, 1, -1, 1);
    for (int32_t r = -2; r <= 1; ++r)
        for (int32_t c = -1; c <= 1; ++c) m[r][c] = static_cast<float>(3 * (r + 2) + c + 1);
    for (int32_t k = 0; k < 12; ++k) EXPECT_EQ(m.rowData(-2)[k], static_cast<float>(k));
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
