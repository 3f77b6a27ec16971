#include "numeric/offset_array.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Element access is a plain index from any lower bound; a matrix's rows
// follow each other without gaps, and no elements is a valid request.
TEST(OffsetArrays, AddressContiguousElementsFromAnyLowerBound) {
    for (int32_t lower : {-3, 0, 1000}) {
        SCOPED_TRACE(lower);
        OffsetVector v = vector(lower, lower + 6);
        OffsetMatrix m = matrix(lower, lower + 3, lower, lower + 2);
        v[lower + 6] = 1.0f;
        for (int32_t k = 0; k < 12; ++k) m[lower + k / 3][lower + k % 3] = static_cast<float>(k);
        EXPECT_EQ(v.first[6], 1.0f);
        for (int32_t k = 0; k < 12; ++k) EXPECT_EQ(m.rowData(lower)[k], static_cast<float>(k));
        release_matrix(m, lower, lower + 3, lower, lower + 2);
        release_vector(v, lower, lower + 6);
    }
    OffsetIntVector empty = ivector(5, 4);
    OffsetMatrix noColumns = matrix(1, 3, 1, 0);
    EXPECT_NE(empty.first, nullptr);
    EXPECT_NE(noColumns.rows, nullptr);
    release_matrix(noColumns, 1, 3, 1, 0);
    release_ivector(empty, 5, 4);
}

// The fatal path writes exactly three lines and ends with status 1.
TEST(NumericFatalErrorDeathTest, WritesThreeLinesAndExitsWithOne) {
    struct Case {
        const char* name;
        void (*request)();
        const char* message;
    };
    const Case cases[] = {
        {"negative vector count", [] { vector(5, 3); }, "allocation failure in vector()"},
        {"negative integer vector count", [] { ivector(0, -2); },
         "allocation failure in ivector()"},
        {"negative row count", [] { matrix(1, -1, 1, 3); }, "allocation failure 1 in matrix()"},
        {"element block refused", [] { matrix(1, 3, 1, -1); }, "allocation failure 2 in matrix()"},
    };
    for (const Case& fatal : cases) {
        SCOPED_TRACE(fatal.name);
        EXPECT_EXIT(fatal.request(), testing::ExitedWithCode(1),
                    testing::Eq("Numerical run-time error...\n" + std::string(fatal.message) +
                                "\n...now exiting to system...\n"));
    }
}

}  // namespace
