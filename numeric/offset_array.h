#pragma once

// Vectors and matrices addressed with arbitrary lower index bounds. The
// decompositions work from index 1, the rest of the system from index 0.
//
// A handle keeps the address of the element at its lower bound together with
// that bound, and subtracts the bound on access: v[i] and m[r][c] stay plain
// index operations and no pointer is ever formed outside the allocated block.
// Handles are small values; copying one copies the view, not the elements.
// The bounds are not stored beyond that: the owner passes the same lower
// bounds back when releasing. Elements are not initialised.

#include <cstdint>

template <typename Element>
struct OffsetVectorOf {
    Element* first = nullptr;  // the element at index `lower`
    int32_t lower = 0;

    Element& operator[](int32_t index) const { return first[static_cast<int64_t>(index) - lower]; }
    // The same elements, addressed from another lower bound (index `newLower`
    // then names the element that `at` names now).
    OffsetVectorOf rebased(int32_t at, int32_t newLower) const {
        return OffsetVectorOf{&(*this)[at], newLower};
    }
};

using OffsetVector = OffsetVectorOf<float>;
using OffsetIntVector = OffsetVectorOf<int32_t>;

// One row of a matrix, addressed by column index.
struct OffsetRow {
    float* first = nullptr;  // the element at column `lower`
    int32_t lower = 0;

    float& operator[](int32_t column) const { return first[static_cast<int64_t>(column) - lower]; }
};

// A row table over one contiguous, row-major element block: row r + 1 starts
// right after row r ends, so a whole matrix can be handed to routines that
// expect one dense block starting at m[nrl][ncl].
struct OffsetMatrix {
    float** rows = nullptr;  // the row table; rows[0] is row `rowLower`
    int32_t rowLower = 0;
    int32_t columnLower = 0;

    OffsetRow operator[](int32_t row) const {
        return OffsetRow{rows[static_cast<int64_t>(row) - rowLower], columnLower};
    }
    // Start of row `row` as a plain pointer to its first column.
    float* rowData(int32_t row) const { return rows[static_cast<int64_t>(row) - rowLower]; }
};

// Allocation never returns an empty handle: when the elements cannot be had
// (memory exhausted, or a count that is negative or too large) the process
// ends through numeric_fatal_error with the routine's message.
OffsetVector vector(int32_t nl, int32_t nh);
OffsetIntVector ivector(int32_t nl, int32_t nh);
OffsetMatrix matrix(int32_t nrl, int32_t nrh, int32_t ncl, int32_t nch);

void release_vector(OffsetVector v, int32_t nl, int32_t nh);
void release_ivector(OffsetIntVector v, int32_t nl, int32_t nh);
void release_matrix(OffsetMatrix m, int32_t nrl, int32_t nrh, int32_t ncl, int32_t nch);

// Writes "Numerical run-time error...", the message and "...now exiting to
// system..." to the standard error stream, one line each, and ends the
// process with exit status 1.
[[noreturn]] void numeric_fatal_error(const char* message);
