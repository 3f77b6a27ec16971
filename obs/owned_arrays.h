#pragma once

// Arrays of the array routines (numeric/offset_array.h) held by handles that
// give them back when they go, with the bounds they were allocated with.
// Allocation is the routines' own: it never fails back to the caller (the
// process ends instead), so a handle holds an array or, moved from or made
// empty, nothing. Handles move and do not copy; the views they hand out are
// valid while the handle holds its array.

#include <cstdint>
#include <utility>

#include "numeric/offset_array.h"

namespace owned_arrays_detail {

// How a vector of each element type is allocated and released.
template <typename Element>
struct VectorRoutines;

template <>
struct VectorRoutines<float> {
    static OffsetVector allocate(int32_t lower, int32_t upper) { return vector(lower, upper); }
    static void release(OffsetVector v, int32_t lower, int32_t upper) {
        release_vector(v, lower, upper);
    }
};

template <>
struct VectorRoutines<int32_t> {
    static OffsetIntVector allocate(int32_t lower, int32_t upper) { return ivector(lower, upper); }
    static void release(OffsetIntVector v, int32_t lower, int32_t upper) {
        release_ivector(v, lower, upper);
    }
};

}  // namespace owned_arrays_detail

template <typename Element>
class OwnedVectorOf {
public:
    using View = OffsetVectorOf<Element>;

    OwnedVectorOf() = default;
    OwnedVectorOf(int32_t lower, int32_t upper)
        : view_(Routines::allocate(lower, upper)), upper_(upper) {}
    OwnedVectorOf(OwnedVectorOf&& other) noexcept
        : view_(std::exchange(other.view_, View{})), upper_(other.upper_) {}
    OwnedVectorOf& operator=(OwnedVectorOf&& other) noexcept {
        if (this != &other) {
            release();
            view_ = std::exchange(other.view_, View{});
            upper_ = other.upper_;
        }
        return *this;
    }
    OwnedVectorOf(const OwnedVectorOf&) = delete;
    OwnedVectorOf& operator=(const OwnedVectorOf&) = delete;
    ~OwnedVectorOf() { release(); }

    // The array's view, for the routines that take one.
    operator View() const { return view_; }
    Element& operator[](int32_t index) const { return view_[index]; }

private:
    using Routines = owned_arrays_detail::VectorRoutines<Element>;

    void release() {
        if (view_.first) Routines::release(view_, view_.lower, upper_);
        view_ = View{};
    }

    View view_;
    int32_t upper_ = 0;
};

using OwnedVector = OwnedVectorOf<float>;
using OwnedIntVector = OwnedVectorOf<int32_t>;

class OwnedMatrix {
public:
    OwnedMatrix() = default;
    OwnedMatrix(int32_t rowLower, int32_t rowUpper, int32_t columnLower, int32_t columnUpper)
        : view_(matrix(rowLower, rowUpper, columnLower, columnUpper)),
          rowUpper_(rowUpper),
          columnUpper_(columnUpper) {}
    OwnedMatrix(OwnedMatrix&& other) noexcept
        : view_(std::exchange(other.view_, OffsetMatrix{})),
          rowUpper_(other.rowUpper_),
          columnUpper_(other.columnUpper_) {}
    OwnedMatrix& operator=(OwnedMatrix&& other) noexcept {
        if (this != &other) {
            release();
            view_ = std::exchange(other.view_, OffsetMatrix{});
            rowUpper_ = other.rowUpper_;
            columnUpper_ = other.columnUpper_;
        }
        return *this;
    }
    OwnedMatrix(const OwnedMatrix&) = delete;
    OwnedMatrix& operator=(const OwnedMatrix&) = delete;
    ~OwnedMatrix() { release(); }

    // The matrix's view, for the routines that take one.
    operator OffsetMatrix() const { return view_; }
    OffsetRow operator[](int32_t row) const { return view_[row]; }
    float* rowData(int32_t row) const { return view_.rowData(row); }
    // The row table: rows()[0] is the row at the lower row bound.
    float* const* rows() const { return view_.rows; }

private:
    void release() {
        if (view_.rows)
            release_matrix(view_, view_.rowLower, rowUpper_, view_.columnLower, columnUpper_);
        view_ = OffsetMatrix{};
    }

    OffsetMatrix view_;
    int32_t rowUpper_ = 0;
    int32_t columnUpper_ = 0;
};
