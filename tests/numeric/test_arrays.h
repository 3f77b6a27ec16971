#pragma once

// Arrays with their own storage, seeded inputs and dense double-precision
// references for the tests of the numerical kernels.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "numeric/eigen.h"
#include "numeric/offset_array.h"

// A rows x columns matrix whose rows and columns are indexed from `first`,
// stored row by row in `values`, every element starting as `fill`. Values may
// be replaced as a whole: the handle is formed anew at every use.
struct TestMatrix {
    TestMatrix(int32_t rows, int32_t columns, int32_t first = 1, float fill = 0.0f)
        : values(static_cast<size_t>(rows) * columns, fill), columns(columns), first(first) {}
    OffsetMatrix handle() {
        rowTable.clear();
        for (size_t k = 0; k < values.size(); k += columns) rowTable.push_back(&values[k]);
        return OffsetMatrix{rowTable.data(), first, first};
    }
    OffsetRow operator[](int32_t row) {
        return OffsetRow{&values[static_cast<size_t>(row - first) * columns], first};
    }
    std::vector<double> dense() const { return {values.begin(), values.end()}; }

    std::vector<float> values;
    std::vector<float*> rowTable;
    int32_t columns, first;
};

struct TestVector {
    explicit TestVector(int32_t count, int32_t first = 1, float fill = 0.0f)
        : values(count, fill), first(first) {}
    OffsetVector handle() { return OffsetVector{values.data(), first}; }
    float& operator[](int32_t index) { return values[static_cast<size_t>(index - first)]; }

    std::vector<float> values;
    int32_t first;
};

// A square matrix indexed from 1 with room for the values and the vectors of
// its decomposition, every element starting as `fill`, and the outcome of the
// last eigen-decomposition run on them.
struct SquareDecomposition {
    explicit SquareDecomposition(int32_t n, float fill = 0.0f)
        : a(n, n, 1, fill), values(n, 1, fill), vectors(n, n, 1, fill) {}
    void runJacobi(int32_t n) {
        converged = jacobi_eigen(a.handle(), n, values.handle(), vectors.handle(), &rotations);
    }

    TestMatrix a;
    TestVector values;
    TestMatrix vectors;
    bool converged = false;
    int32_t rotations = -1;
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
    void fill(std::vector<float>& values) {
        for (float& value : values) value = next();
    }

private:
    uint64_t state_;
};

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

// An n x n covariance as the correction forms it: products of occurrences of
// tens of microvolts, summed in double and rounded to float; fewer samples
// than n make it rank deficient.
inline void fillCovariance(std::vector<float>& a, int32_t n, int32_t samples,
                           SeededFloats& source) {
    std::vector<double> occurrences(static_cast<size_t>(n) * samples);
    for (double& value : occurrences) value = 40.0 * source.next();
    std::vector<double> product =
        multiply(occurrences, transpose(occurrences, n, samples), n, samples, n);
    std::copy(product.begin(), product.end(), a.begin());
}

// FNV-1a over the bit patterns of the values; pins results bit for bit.
inline uint64_t bitFingerprint(const std::vector<float>& values,
                               uint64_t hash = 14695981039346656037ull) {
    for (float value : values) {
        uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        for (int byte = 0; byte < 4; ++byte) {
            hash ^= (bits >> (8 * byte)) & 0xffu;
            hash *= 1099511628211ull;
        }
    }
    return hash;
}
