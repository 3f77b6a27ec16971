#pragma once

// Owning wrappers, seeded inputs and dense double-precision references for
// the tests of the numerical kernels.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "numeric/offset_array.h"

// A matrix that is released when the test ends, also after a failed assertion.
class OwnedMatrix {
public:
    OwnedMatrix(int32_t rowLower, int32_t rowUpper, int32_t columnLower, int32_t columnUpper)
        : handle_(matrix(rowLower, rowUpper, columnLower, columnUpper)),
          bounds_{rowLower, rowUpper, columnLower, columnUpper} {}
    ~OwnedMatrix() { release_matrix(handle_, bounds_[0], bounds_[1], bounds_[2], bounds_[3]); }
    OwnedMatrix(const OwnedMatrix&) = delete;
    OwnedMatrix& operator=(const OwnedMatrix&) = delete;

    OffsetMatrix handle() const { return handle_; }
    OffsetRow operator[](int32_t row) const { return handle_[row]; }

private:
    OffsetMatrix handle_;
    int32_t bounds_[4];
};

class OwnedVector {
public:
    OwnedVector(int32_t lower, int32_t upper)
        : handle_(vector(lower, upper)), lower_(lower), upper_(upper) {}
    ~OwnedVector() { release_vector(handle_, lower_, upper_); }
    OwnedVector(const OwnedVector&) = delete;
    OwnedVector& operator=(const OwnedVector&) = delete;

    OffsetVector handle() const { return handle_; }
    float& operator[](int32_t index) const { return handle_[index]; }

private:
    OffsetVector handle_;
    int32_t lower_, upper_;
};

// A square matrix indexed from 1 (rows and columns 1..n) with room for the
// values and the vectors of its decomposition.
struct SquareDecomposition {
    explicit SquareDecomposition(int32_t n) : a(1, n, 1, n), values(1, n), vectors(1, n, 1, n) {}
    OwnedMatrix a;
    OwnedVector values;
    OwnedMatrix vectors;
};

// Deterministic pseudo-random floats in [-1, 1) from a seed, the same on every
// platform (the standard distributions are not), so that exact results can
// be pinned.
class SeededFloats {
public:
    explicit SeededFloats(uint64_t seed) : state_(seed) {}
    float next() {
        // 64-bit linear congruential step; the top 24 bits give an exact float.
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<float>(static_cast<uint32_t>(state_ >> 40)) / 8388608.0f - 1.0f;
    }

private:
    uint64_t state_;
};

// Fills rows/columns first..first+rows-1 x first..first+columns-1.
inline void fillRandom(OffsetMatrix m, int32_t first, int32_t rows, int32_t columns,
                       SeededFloats& source) {
    for (int32_t r = first; r < first + rows; ++r)
        for (int32_t c = first; c < first + columns; ++c) m[r][c] = source.next();
}

// A dense copy in double, element (r, c) at [r * columns + c], read from a
// matrix whose indices start at `first`.
inline std::vector<double> toDense(OffsetMatrix m, int32_t first, int32_t rows, int32_t columns) {
    std::vector<double> dense(static_cast<size_t>(rows) * columns);
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < columns; ++c)
            dense[static_cast<size_t>(r) * columns + c] = m[first + r][first + c];
    return dense;
}

inline double maxAbsDifference(const std::vector<double>& x, const std::vector<double>& y) {
    double largest = 0.0;
    for (size_t i = 0; i < x.size(); ++i) largest = std::max(largest, std::fabs(x[i] - y[i]));
    return largest;
}

inline double maxAbs(const std::vector<double>& x) {
    return maxAbsDifference(x, std::vector<double>(x.size(), 0.0));
}

// Dense product (rows x inner) * (inner x columns), in double.
inline std::vector<double> multiply(const std::vector<double>& a, const std::vector<double>& b,
                                    int32_t rows, int32_t inner, int32_t columns) {
    std::vector<double> product(static_cast<size_t>(rows) * columns, 0.0);
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t k = 0; k < inner; ++k)
            for (int32_t c = 0; c < columns; ++c)
                product[static_cast<size_t>(r) * columns + c] +=
                    a[static_cast<size_t>(r) * inner + k] * b[static_cast<size_t>(k) * columns + c];
    return product;
}

inline std::vector<double> transpose(const std::vector<double>& a, int32_t rows, int32_t columns) {
    std::vector<double> result(a.size());
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < columns; ++c)
            result[static_cast<size_t>(c) * rows + r] = a[static_cast<size_t>(r) * columns + c];
    return result;
}

// Largest |Q^T Q - I| for a dense rows x columns array with orthonormal columns.
inline double orthonormalityError(const std::vector<double>& q, int32_t rows, int32_t columns) {
    std::vector<double> gram = multiply(transpose(q, rows, columns), q, columns, rows, columns);
    for (int32_t i = 0; i < columns; ++i) gram[static_cast<size_t>(i) * columns + i] -= 1.0;
    return maxAbs(gram);
}

// A 1..n x 1..n covariance as the correction forms it: products of occurrences
// of tens of microvolts (around a common level when `common`), summed in double
// and rounded to float; fewer samples than n make it rank deficient.
inline void fillCovariance(OffsetMatrix a, int32_t n, int32_t samples, bool common,
                           SeededFloats& source) {
    std::vector<double> occurrences(static_cast<size_t>(n) * samples);
    double level = common ? 60.0 * source.next() : 0.0;
    for (double& value : occurrences) value = level + 40.0 * source.next();
    std::vector<double> product =
        multiply(occurrences, transpose(occurrences, n, samples), n, samples, n);
    for (int32_t r = 1; r <= n; ++r)
        for (int32_t c = 1; c <= n; ++c)
            a[r][c] = static_cast<float>(product[static_cast<size_t>(r - 1) * n + (c - 1)]);
}

// FNV-1a over the bit patterns of `count` elements from index `first`; pins
// results bit for bit.
inline uint64_t bitFingerprint(OffsetVector v, int32_t first, int32_t count,
                               uint64_t hash = 14695981039346656037ull) {
    for (int32_t i = first; i < first + count; ++i) {
        uint32_t bits = 0;
        std::memcpy(&bits, &v[i], sizeof bits);
        for (int byte = 0; byte < 4; ++byte) {
            hash ^= (bits >> (8 * byte)) & 0xffu;
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

// The same over rows x columns elements, row by row.
inline uint64_t bitFingerprint(OffsetMatrix m, int32_t first, int32_t rows, int32_t columns,
                               uint64_t hash = 14695981039346656037ull) {
    for (int32_t r = first; r < first + rows; ++r)
        hash = bitFingerprint(OffsetVector{&m[r][first], first}, first, columns, hash);
    return hash;
}
