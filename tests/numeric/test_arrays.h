#pragma once

// Owning wrappers and seeded inputs for the tests of the numerical kernels.

#include <cstdint>
#include <vector>

#include "numeric/offset_array.h"

// A matrix that is released when the test ends, also after a failed assertion.
class OwnedMatrix {
public:
    OwnedMatrix(int32_t rowLower, int32_t rowUpper, int32_t columnLower, int32_t columnUpper);
    ~OwnedMatrix();
    OwnedMatrix(const OwnedMatrix&) = delete;
    OwnedMatrix& operator=(const OwnedMatrix&) = delete;

    OffsetMatrix handle() const { return handle_; }
    OffsetRow operator[](int32_t row) const { return handle_[row]; }

private:
    OffsetMatrix handle_;
    int32_t rowLower_, rowUpper_, columnLower_, columnUpper_;
};

class OwnedVector {
public:
    OwnedVector(int32_t lower, int32_t upper);
    ~OwnedVector();
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
    float next();

private:
    uint64_t state_;
};

// Fills rows/columns first..first+rows-1 x first..first+columns-1.
void fillRandom(OffsetMatrix m, int32_t first, int32_t rows, int32_t columns, SeededFloats& source);

// A dense copy in double, element (r, c) at [r * columns + c], read from a
// matrix whose indices start at `first`.
std::vector<double> toDense(OffsetMatrix m, int32_t first, int32_t rows, int32_t columns);

// Largest |x - y| over two dense arrays of the same size.
double maxAbsDifference(const std::vector<double>& x, const std::vector<double>& y);

// Largest |x| of a dense array.
double maxAbs(const std::vector<double>& x);

// Dense product (rows x inner) * (inner x columns), in double.
std::vector<double> multiply(const std::vector<double>& a, const std::vector<double>& b,
                             int32_t rows, int32_t inner, int32_t columns);

// Transpose of a dense rows x columns array.
std::vector<double> transpose(const std::vector<double>& a, int32_t rows, int32_t columns);

// Largest |Q^T Q - I| for a dense rows x columns array with orthonormal columns.
double orthonormalityError(const std::vector<double>& q, int32_t rows, int32_t columns);

// FNV-1a over the bit patterns of rows x columns elements from index `first`;
// pins results bit for bit.
uint64_t bitFingerprint(OffsetMatrix m, int32_t first, int32_t rows, int32_t columns,
                        uint64_t hash = 14695981039346656037ull);
uint64_t bitFingerprint(OffsetVector v, int32_t first, int32_t count,
                        uint64_t hash = 14695981039346656037ull);
