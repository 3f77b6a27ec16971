// jacobi_eigen against the plain in-place iteration: the same eigenvalues,
// eigenvectors, matrix contents, rotation count and result, bit for bit, on
// many seeded inputs of every order from 1 up and of every kind of scale.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "numeric/eigen.h"
#include "tests/numeric/plain_jacobi.h"
#include "tests/numeric/test_arrays.h"

namespace {

// Each filler writes the whole of an n x n matrix, row by row; only the
// diagonal and the strict upper triangle are the input, the strict lower
// triangle must come through unchanged.
using Filler = void (*)(std::vector<float>& a, int32_t n, SeededFloats& source);

void fillUnrelatedTriangles(std::vector<float>& a, int32_t, SeededFloats& source) {
    source.fill(a);
}

void fillFullRankCovariance(std::vector<float>& a, int32_t n, SeededFloats& source) {
    fillCovariance(a, n, 2 * n + 3, true, source);
}

void fillLowRankCovariance(std::vector<float>& a, int32_t n, SeededFloats& source) {
    fillCovariance(a, n, n / 3 + 1, true, source);
}

// Few distinct values: equal diagonal elements (h = 0, theta = 0) and equal
// off-diagonal elements throughout.
void fillTies(std::vector<float>& a, int32_t n, SeededFloats& source) {
    for (float& value : a) value = std::floor(2.0f * source.next()) * 0.5f;
    for (int32_t k = 0; k < n; ++k) a[k * n + k] = 2.0f;
}

// Magnitudes spread over many decades in one matrix.
void fillMixedScales(std::vector<float>& a, int32_t, SeededFloats& source) {
    for (float& value : a) {
        float x = source.next();
        value = x * std::ldexp(1.0f, static_cast<int>(60.0f * source.next()));
    }
}

// A few NaN and infinite elements: the iteration must still agree, and end
// within its sweeps.
void fillNonFinite(std::vector<float>& a, int32_t n, SeededFloats& source) {
    source.fill(a);
    if (n < 2) return;
    a[static_cast<int32_t>((source.next() + 1.0f) * 0.5f * (n - 1)) * n + n - 1] = INFINITY;
    a[a.size() - 1] = -INFINITY;
    if (n > 3) a[1] = NAN;
}

struct Kind {
    const char* name;
    Filler fill;
    float scale;  // tiny values underflow to subnormals, huge ones overflow
};

const Kind kKinds[] = {
    {"unrelated triangles", fillUnrelatedTriangles, 1.0f},
    {"full-rank covariance", fillFullRankCovariance, 1.0f},
    {"low-rank covariance", fillLowRankCovariance, 1.0f},
    {"ties", fillTies, 1.0f},
    {"tiny", fillUnrelatedTriangles, 1e-36f},
    {"huge", fillUnrelatedTriangles, 1e37f},
    {"mixed scales", fillMixedScales, 1.0f},
    {"non-finite", fillNonFinite, 1.0f},
};

// The outputs start out as a marker, so that a value the routine fails to
// write shows up.
SquareDecomposition decompose(SquareDecomposition::Decomposer decomposer, const Kind& kind,
                              int32_t n, uint64_t seed) {
    SquareDecomposition arrays(n, -7.5f);
    SeededFloats source(seed);
    kind.fill(arrays.a.values, n, source);
    for (float& value : arrays.a.values) value *= kind.scale;
    arrays.run(decomposer, n);
    return arrays;
}

// The first element whose bit patterns differ, or -1. Any two NaNs count as
// equal, since which NaN an operation on two NaNs returns is up to the
// compiler's operand order.
int64_t firstDifference(const std::vector<float>& x, const std::vector<float>& y) {
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::isnan(x[i]) && std::isnan(y[i])) continue;
        if (std::memcmp(&x[i], &y[i], sizeof(float)) != 0) return static_cast<int64_t>(i);
    }
    return -1;
}

void expectIdentical(const Kind& kind, int32_t n, uint64_t seed) {
    SCOPED_TRACE(testing::Message() << kind.name << ", n=" << n);
    SquareDecomposition plain = decompose(plain_jacobi_eigen, kind, n, seed);
    SquareDecomposition fast = decompose(jacobi_eigen, kind, n, seed);
    EXPECT_EQ(fast.converged, plain.converged);
    EXPECT_EQ(fast.rotations, plain.rotations);
    EXPECT_EQ(firstDifference(fast.values.values, plain.values.values), -1) << "values";
    EXPECT_EQ(firstDifference(fast.vectors.values, plain.vectors.values), -1) << "vectors";
    EXPECT_EQ(firstDifference(fast.a.values, plain.a.values), -1) << "matrix";
}

// Every kind at every order up to 64 covers each position of the last element
// within a vector group; beyond, up to 130, every order with the kinds taking
// turns.
TEST(JacobiEquivalence, MatchesPlainIterationOnEveryKindOfInput) {
    for (const Kind& kind : kKinds)
        for (int32_t n = 1; n <= 64 && !HasFailure(); ++n) expectIdentical(kind, n, 100 + n);
    const int32_t kindCount = static_cast<int32_t>(sizeof kKinds / sizeof kKinds[0]);
    for (int32_t n = 65; n <= 130 && !HasFailure(); ++n)
        expectIdentical(kKinds[n % kindCount], n, 7000 + n);
}

}  // namespace
