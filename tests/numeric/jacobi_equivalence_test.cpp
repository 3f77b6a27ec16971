// jacobi_eigen against the plain in-place iteration: the same eigenvalues,
// eigenvectors, matrix contents, rotation count and result, bit for bit, on
// many seeded inputs of every order from 1 up and of every kind of scale.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "numeric/eigen.h"
#include "tests/numeric/plain_jacobi.h"
#include "tests/numeric/test_arrays.h"

namespace {

// Each filler writes the whole of a 1..n x 1..n matrix; only the diagonal and
// the strict upper triangle are the input, the strict lower triangle must come
// through unchanged.
using Filler = void (*)(OffsetMatrix a, int32_t n, SeededFloats& source);

void fillUnrelatedTriangles(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillRandom(a, 1, n, n, source);
}

void fillFullRankCovariance(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillCovariance(a, n, 2 * n + 3, true, source);
}

void fillLowRankCovariance(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillCovariance(a, n, n / 3 + 1, true, source);
}

// Each element from two draws, mapped by the kind.
void fillElementwise(OffsetMatrix a, int32_t n, SeededFloats& source, float (*map)(float, float)) {
    for (int32_t r = 1; r <= n; ++r)
        for (int32_t c = 1; c <= n; ++c) {
            float x = source.next();
            a[r][c] = map(x, source.next());
        }
}

// Few distinct values: equal diagonal elements (h = 0, theta = 0) and equal
// off-diagonal elements throughout.
void fillTies(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillElementwise(a, n, source, [](float x, float) { return std::floor(2.0f * x) * 0.5f; });
    for (int32_t k = 1; k <= n; ++k) a[k][k] = 2.0f;
}

// Mostly zeros, with negative zeros among them, and a few isolated elements.
void fillSparse(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillElementwise(a, n, source, [](float x, float) {
        return x > 0.8f ? 3.0f * x : (x < -0.5f ? -0.0f : 0.0f);
    });
}

// Magnitudes spread over many decades in one matrix.
void fillMixedScales(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillElementwise(a, n, source,
                    [](float x, float y) { return x * std::ldexp(1.0f, int(60.0f * y)); });
}

// A dominant diagonal: small rotation angles, and from the fifth sweep on
// many elements dropped as negligible.
void fillDiagonallyDominant(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillRandom(a, 1, n, n, source);
    for (int32_t k = 1; k <= n; ++k) a[k][k] = 1000.0f * (2.0f + a[k][k]);
    for (int32_t r = 1; r <= n; ++r)
        for (int32_t c = 1; c <= n; ++c) a[r][c] *= r == c ? 1.0f : 1e-3f;
}

// A few NaN and infinite elements; the iteration must still agree.
void fillNonFinite(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillRandom(a, 1, n, n, source);
    if (n < 2) return;
    a[1 + static_cast<int32_t>((source.next() + 1.0f) * 0.5f * (n - 1))][n] = INFINITY;
    a[n][n] = -INFINITY;
    if (n > 3) a[1][2] = NAN;
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
    {"sparse with signed zeros", fillSparse, 1.0f},
    {"tiny", fillUnrelatedTriangles, 1e-36f},
    {"huge", fillUnrelatedTriangles, 1e37f},
    {"mixed scales", fillMixedScales, 1.0f},
    {"diagonally dominant", fillDiagonallyDominant, 1.0f},
    {"non-finite", fillNonFinite, 1.0f},
};

// The arrays after one decomposition, with every output element starting out
// as a marker so that a value the routine fails to write shows up.
struct Outcome {
    bool converged = false;
    int32_t rotations = -1;
    std::vector<float> arrays;
};

using Routine = bool (*)(OffsetMatrix, int32_t, OffsetVector, OffsetMatrix, int32_t*);

Outcome decompose(Routine routine, const Kind& kind, int32_t n, uint64_t seed) {
    SquareDecomposition arrays(n);
    SeededFloats source(seed);
    kind.fill(arrays.a.handle(), n, source);
    for (int32_t r = 1; r <= n; ++r) {
        arrays.values[r] = -7.5f;
        for (int32_t c = 1; c <= n; ++c) {
            arrays.a[r][c] *= kind.scale;
            arrays.vectors[r][c] = -7.5f;
        }
    }
    Outcome run;
    run.converged = routine(arrays.a.handle(), n, arrays.values.handle(), arrays.vectors.handle(),
                            &run.rotations);
    for (int32_t r = 1; r <= n; ++r) {
        run.arrays.push_back(arrays.values[r]);
        for (int32_t c = 1; c <= n; ++c) {
            run.arrays.push_back(arrays.a[r][c]);
            run.arrays.push_back(arrays.vectors[r][c]);
        }
    }
    return run;
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
    Outcome plain = decompose(plain_jacobi_eigen, kind, n, seed);
    Outcome fast = decompose(jacobi_eigen, kind, n, seed);
    EXPECT_EQ(fast.converged, plain.converged);
    EXPECT_EQ(fast.rotations, plain.rotations);
    EXPECT_EQ(firstDifference(fast.arrays, plain.arrays), -1)
        << "per row: the value, then matrix and vector elements interleaved";
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
