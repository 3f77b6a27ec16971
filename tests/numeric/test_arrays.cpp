#include "tests/numeric/test_arrays.h"

#include <algorithm>
#include <cmath>
#include <cstring>

OwnedMatrix::OwnedMatrix(int32_t rowLower, int32_t rowUpper, int32_t columnLower,
                         int32_t columnUpper)
    : handle_(matrix(rowLower, rowUpper, columnLower, columnUpper)),
      rowLower_(rowLower),
      rowUpper_(rowUpper),
      columnLower_(columnLower),
      columnUpper_(columnUpper) {}

OwnedMatrix::~OwnedMatrix() {
    release_matrix(handle_, rowLower_, rowUpper_, columnLower_, columnUpper_);
}

OwnedVector::OwnedVector(int32_t lower, int32_t upper)
    : handle_(vector(lower, upper)), lower_(lower), upper_(upper) {}

OwnedVector::~OwnedVector() {
    release_vector(handle_, lower_, upper_);
}

float SeededFloats::next() {
    // 64-bit linear congruential step; the top 24 bits give an exact float.
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    uint32_t bits = static_cast<uint32_t>(state_ >> 40);
    return static_cast<float>(bits) / 8388608.0f - 1.0f;
}

void fillRandom(OffsetMatrix m, int32_t first, int32_t rows, int32_t columns,
                SeededFloats& source) {
    for (int32_t r = first; r < first + rows; ++r)
        for (int32_t c = first; c < first + columns; ++c) m[r][c] = source.next();
}

std::vector<double> toDense(OffsetMatrix m, int32_t first, int32_t rows, int32_t columns) {
    std::vector<double> dense(static_cast<size_t>(rows) * columns);
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < columns; ++c)
            dense[static_cast<size_t>(r) * columns + c] = m[first + r][first + c];
    return dense;
}

double maxAbsDifference(const std::vector<double>& x, const std::vector<double>& y) {
    double largest = 0.0;
    for (size_t i = 0; i < x.size(); ++i) largest = std::max(largest, std::fabs(x[i] - y[i]));
    return largest;
}

double maxAbs(const std::vector<double>& x) {
    double largest = 0.0;
    for (double value : x) largest = std::max(largest, std::fabs(value));
    return largest;
}

std::vector<double> multiply(const std::vector<double>& a, const std::vector<double>& b,
                             int32_t rows, int32_t inner, int32_t columns) {
    std::vector<double> product(static_cast<size_t>(rows) * columns, 0.0);
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t k = 0; k < inner; ++k)
            for (int32_t c = 0; c < columns; ++c)
                product[static_cast<size_t>(r) * columns + c] +=
                    a[static_cast<size_t>(r) * inner + k] * b[static_cast<size_t>(k) * columns + c];
    return product;
}

std::vector<double> transpose(const std::vector<double>& a, int32_t rows, int32_t columns) {
    std::vector<double> result(a.size());
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < columns; ++c)
            result[static_cast<size_t>(c) * rows + r] = a[static_cast<size_t>(r) * columns + c];
    return result;
}

double orthonormalityError(const std::vector<double>& q, int32_t rows, int32_t columns) {
    std::vector<double> gram = multiply(transpose(q, rows, columns), q, columns, rows, columns);
    for (int32_t i = 0; i < columns; ++i) gram[static_cast<size_t>(i) * columns + i] -= 1.0;
    return maxAbs(gram);
}

namespace {

uint64_t mixFloat(uint64_t hash, float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int byte = 0; byte < 4; ++byte) {
        hash ^= (bits >> (8 * byte)) & 0xffu;
        hash *= 1099511628211ull;
    }
    return hash;
}

}  // namespace

uint64_t bitFingerprint(OffsetMatrix m, int32_t first, int32_t rows, int32_t columns,
                        uint64_t hash) {
    for (int32_t r = first; r < first + rows; ++r)
        for (int32_t c = first; c < first + columns; ++c) hash = mixFloat(hash, m[r][c]);
    return hash;
}

uint64_t bitFingerprint(OffsetVector v, int32_t first, int32_t count, uint64_t hash) {
    for (int32_t i = first; i < first + count; ++i) hash = mixFloat(hash, v[i]);
    return hash;
}
