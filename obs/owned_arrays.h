#pragma once

// Arrays of the array routines (numeric/offset_array.h) held by handles that
// give them back when they go, with the bounds they were allocated with.
// Allocation is the routines' own: it never fails back to the caller (the
// process ends instead), so a handle holds an array or, moved from or made
// by default, nothing. Handles move and do not copy; the views they hand out
// are valid while the handle holds its array.

#include <array>
#include <cstdint>
#include <utility>

#include "numeric/offset_array.h"

namespace owned_arrays_detail {

// How each kind of array is allocated and released, its bounds in the order
// the routines take them.
struct FloatVector {
    using View = OffsetVector;
    using Bounds = std::array<int32_t, 2>;
    static View allocate(const Bounds& b) { return vector(b[0], b[1]); }
    static void release(View v, const Bounds& b) { release_vector(v, b[0], b[1]); }
};

struct IntVector {
    using View = OffsetIntVector;
    using Bounds = std::array<int32_t, 2>;
    static View allocate(const Bounds& b) { return ivector(b[0], b[1]); }
    static void release(View v, const Bounds& b) { release_ivector(v, b[0], b[1]); }
};

struct FloatMatrix {
    using View = OffsetMatrix;
    using Bounds = std::array<int32_t, 4>;
    static View allocate(const Bounds& b) { return matrix(b[0], b[1], b[2], b[3]); }
    static void release(View m, const Bounds& b) { release_matrix(m, b[0], b[1], b[2], b[3]); }
};

}  // namespace owned_arrays_detail

template <typename Kind>
class OwnedArray {
public:
    using View = typename Kind::View;

    OwnedArray() = default;
    // Allocates with the bounds in the order the array routine takes them:
    // lower and upper index of a vector, row then column bounds of a matrix.
    template <typename... Bound>
    explicit OwnedArray(Bound... bounds)
        : bounds_{bounds...}, view_(Kind::allocate(bounds_)), holding_(true) {
        static_assert(sizeof...(Bound) == std::tuple_size<typename Kind::Bounds>::value);
    }
    OwnedArray(OwnedArray&& other) noexcept
        : bounds_(other.bounds_),
          view_(std::exchange(other.view_, View{})),
          holding_(std::exchange(other.holding_, false)) {}
    OwnedArray& operator=(OwnedArray&& other) noexcept {
        if (this != &other) {
            release();
            bounds_ = other.bounds_;
            view_ = std::exchange(other.view_, View{});
            holding_ = std::exchange(other.holding_, false);
        }
        return *this;
    }
    OwnedArray(const OwnedArray&) = delete;
    OwnedArray& operator=(const OwnedArray&) = delete;
    ~OwnedArray() { release(); }

    // The array's view, for the routines that take one.
    operator View() const { return view_; }
    // An element of a vector, a row of a matrix.
    decltype(auto) operator[](int32_t index) const { return view_[index]; }
    // Matrices only: the start of a row, and the row table (whose first
    // entry is the row at the lower row bound).
    float* rowData(int32_t row) const { return view_.rowData(row); }
    float* const* rows() const { return view_.rows; }

private:
    void release() {
        if (holding_) Kind::release(view_, bounds_);
        view_ = View{};
        holding_ = false;
    }

    typename Kind::Bounds bounds_{};
    View view_{};
    bool holding_ = false;
};

using OwnedVector = OwnedArray<owned_arrays_detail::FloatVector>;
using OwnedIntVector = OwnedArray<owned_arrays_detail::IntVector>;
using OwnedMatrix = OwnedArray<owned_arrays_detail::FloatMatrix>;
