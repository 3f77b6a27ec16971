// jacobi_eigen against the plain in-place iteration: the same eigenvalues,
// eigenvectors, matrix contents, rotation count and result, bit for bit, on
// many seeded inputs of every order from 1 up and of every kind of scale.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "numeric/eigen.h"
#include "tests/numeric/plain_jacobi.h"
#include "tests/numeric/test_arrays.h"

namespace {

// Fills the whole of a 1..n x 1..n matrix; only the diagonal and the strict
// upper triangle are the input, the strict lower triangle must come through
// unchanged.
using Filler = void (*)(OffsetMatrix a, int32_t n, SeededFloats& source);

void fillUnrelatedTriangles(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillRandom(a, 1, n, n, source);
}

void scaleAll(OffsetMatrix a, int32_t n, float factor) {
    for (int32_t r = 1; r <= n; ++r)
        for (int32_t c = 1; c <= n; ++c) a[r][c] *= factor;
}

// Products of occurrences of tens of microvolts summed in double and rounded
// to float, as the correction forms its covariance; fewer occurrence samples
// than the order make it rank deficient.
void fillCovariance(OffsetMatrix a, int32_t n, int32_t samples, SeededFloats& source) {
    std::vector<double> occurrences(static_cast<size_t>(n) * samples);
    double common = 60.0 * source.next();
    for (double& value : occurrences) value = common + 40.0 * source.next();
    std::vector<double> product =
        multiply(occurrences, transpose(occurrences, n, samples), n, samples, n);
    for (int32_t r = 1; r <= n; ++r)
        for (int32_t c = 1; c <= n; ++c)
            a[r][c] = static_cast<float>(product[static_cast<size_t>(r - 1) * n + (c - 1)]);
}

void fillFullRankCovariance(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillCovariance(a, n, 2 * n + 3, source);
}

void fillLowRankCovariance(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillCovariance(a, n, n / 3 + 1, source);
}

// Few distinct values: equal diagonal elements (h = 0, theta = 0) and equal
// off-diagonal elements throughout.
void fillTies(OffsetMatrix a, int32_t n, SeededFloats& source) {
    for (int32_t r = 1; r <= n; ++r)
        for (int32_t c = 1; c <= n; ++c)
            a[r][c] = r == c ? 2.0f : std::floor(2.0f * source.next()) * 0.5f;
}

// Mostly zeros, with negative zeros among them, and a few isolated elements.
void fillSparse(OffsetMatrix a, int32_t n, SeededFloats& source) {
    for (int32_t r = 1; r <= n; ++r)
        for (int32_t c = 1; c <= n; ++c) {
            float value = source.next();
            a[r][c] = value > 0.8f ? 3.0f * value : (value < -0.5f ? -0.0f : 0.0f);
        }
}

// Values near the bottom of the float range, where products underflow to
// subnormals and zero.
void fillTiny(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillRandom(a, 1, n, n, source);
    scaleAll(a, n, 1e-36f);
}

// Values near the top, where the off-diagonal sum and the squares overflow.
void fillHuge(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillRandom(a, 1, n, n, source);
    scaleAll(a, n, 1e37f);
}

// Magnitudes spread over many decades in one matrix.
void fillMixedScales(OffsetMatrix a, int32_t n, SeededFloats& source) {
    for (int32_t r = 1; r <= n; ++r)
        for (int32_t c = 1; c <= n; ++c) {
            float value = source.next();
            a[r][c] = value * std::ldexp(1.0f, static_cast<int>(60.0f * source.next()));
        }
}

// A dominant diagonal: small rotation angles, and from the fifth sweep on
// many elements dropped as negligible.
void fillDiagonallyDominant(OffsetMatrix a, int32_t n, SeededFloats& source) {
    for (int32_t r = 1; r <= n; ++r)
        for (int32_t c = 1; c <= n; ++c)
            a[r][c] = r == c ? 1000.0f * (2.0f + source.next()) : 1e-3f * source.next();
}

// A few NaN and infinite elements; the iteration must still agree.
void fillNonFinite(OffsetMatrix a, int32_t n, SeededFloats& source) {
    fillRandom(a, 1, n, n, source);
    if (n < 2) return;
    int32_t row = 1 + static_cast<int32_t>((source.next() + 1.0f) * 0.5f * (n - 1));
    a[row][n] = std::numeric_limits<float>::infinity();
    a[n][n] = -std::numeric_limits<float>::infinity();
    if (n > 3) a[1][2] = std::numeric_limits<float>::quiet_NaN();
}

struct Outcome {
    bool converged = false;
    int32_t rotations = -1;
    std::vector<float> values, vectors, matrix;
};

// Output arrays start out filled with a marker, so that a value the routine
// fails to write shows up as a difference.
Outcome decompose(bool (*routine)(OffsetMatrix, int32_t, OffsetVector, OffsetMatrix, int32_t*),
                  const std::vector<float>& input, int32_t n) {
    SquareDecomposition arrays(n);
    for (int32_t r = 1; r <= n; ++r) {
        arrays.values[r] = -7.5f;
        for (int32_t c = 1; c <= n; ++c) {
            arrays.a[r][c] = input[static_cast<size_t>(r - 1) * n + (c - 1)];
            arrays.vectors[r][c] = -7.5f;
        }
    }
    Outcome run;
    run.converged = routine(arrays.a.handle(), n, arrays.values.handle(), arrays.vectors.handle(),
                            &run.rotations);
    for (int32_t r = 1; r <= n; ++r) {
        run.values.push_back(arrays.values[r]);
        for (int32_t c = 1; c <= n; ++c) {
            run.matrix.push_back(arrays.a[r][c]);
            run.vectors.push_back(arrays.vectors[r][c]);
        }
    }
    return run;
}

// Equal bit patterns; any two NaNs count as equal, since which NaN an
// operation on two NaNs returns is up to the compiler's operand order.
bool sameBits(float x, float y) {
    if (std::isnan(x) && std::isnan(y)) return true;
    uint32_t xBits = 0, yBits = 0;
    std::memcpy(&xBits, &x, sizeof x);
    std::memcpy(&yBits, &y, sizeof y);
    return xBits == yBits;
}

// The first differing element of two equally long arrays, or -1.
int64_t firstDifference(const std::vector<float>& x, const std::vector<float>& y) {
    for (size_t i = 0; i < x.size(); ++i)
        if (!sameBits(x[i], y[i])) return static_cast<int64_t>(i);
    return -1;
}

void expectIdentical(const std::vector<float>& input, int32_t n) {
    Outcome plain = decompose(plain_jacobi_eigen, input, n);
    Outcome fast = decompose(jacobi_eigen, input, n);
    EXPECT_EQ(fast.converged, plain.converged);
    EXPECT_EQ(fast.rotations, plain.rotations);
    EXPECT_EQ(firstDifference(fast.values, plain.values), -1) << "eigenvalues";
    EXPECT_EQ(firstDifference(fast.vectors, plain.vectors), -1) << "eigenvectors (row-major)";
    EXPECT_EQ(firstDifference(fast.matrix, plain.matrix), -1) << "matrix (row-major)";
}

std::vector<float> generate(Filler fill, int32_t n, uint64_t seed) {
    SquareDecomposition arrays(n);
    SeededFloats source(seed);
    fill(arrays.a.handle(), n, source);
    std::vector<float> input;
    for (int32_t r = 1; r <= n; ++r)
        for (int32_t c = 1; c <= n; ++c) input.push_back(arrays.a[r][c]);
    return input;
}

struct Kind {
    const char* name;
    Filler fill;
};

const Kind kKinds[] = {
    {"unrelated triangles", fillUnrelatedTriangles},
    {"full-rank covariance", fillFullRankCovariance},
    {"low-rank covariance", fillLowRankCovariance},
    {"ties", fillTies},
    {"sparse with signed zeros", fillSparse},
    {"tiny", fillTiny},
    {"huge", fillHuge},
    {"mixed scales", fillMixedScales},
    {"diagonally dominant", fillDiagonallyDominant},
    {"non-finite", fillNonFinite},
};

// Every kind at every order up to 64 covers each position of the last
// element within a vector group; beyond, up to 130, every order with the
// kinds taking turns.
TEST(JacobiEquivalence, MatchesPlainIterationOnEveryKindOfInput) {
    for (const Kind& kind : kKinds) {
        for (int32_t n = 1; n <= 64; ++n) {
            SCOPED_TRACE(testing::Message() << kind.name << ", n=" << n);
            expectIdentical(generate(kind.fill, n, 100 + n), n);
            if (HasFailure()) return;
        }
    }
}

TEST(JacobiEquivalence, MatchesPlainIterationAtLargeOrders) {
    const int32_t kindCount = static_cast<int32_t>(sizeof kKinds / sizeof kKinds[0]);
    for (int32_t n = 65; n <= 130; ++n) {
        const Kind& kind = kKinds[n % kindCount];
        SCOPED_TRACE(testing::Message() << kind.name << ", n=" << n);
        expectIdentical(generate(kind.fill, n, 7000 + n), n);
        if (HasFailure()) return;
    }
    // The order of the correction's segment covariance, in both ranks.
    expectIdentical(generate(fillFullRankCovariance, 100, 1), 100);
    expectIdentical(generate(fillLowRankCovariance, 100, 2), 100);
}

// Inputs that are exactly diagonal, or become so within a sweep, end with the
// off-diagonal sum exactly zero; the same must hold for those that run all 50
// sweeps (a NaN never lets the sum reach zero).
TEST(JacobiEquivalence, AgreesOnTheResultFlag) {
    const int32_t n = 9;
    std::vector<float> diagonal(n * n, 0.0f);
    for (int32_t k = 0; k < n; ++k) diagonal[k * n + k] = static_cast<float>(k % 3);
    expectIdentical(diagonal, n);
    std::vector<float> withNaN = generate(fillUnrelatedTriangles, n, 3);
    withNaN[2 * n + 5] = std::numeric_limits<float>::quiet_NaN();
    Outcome fast = decompose(jacobi_eigen, withNaN, n);
    EXPECT_FALSE(fast.converged);
    expectIdentical(withNaN, n);
}

// The iteration divides 0.5 h by a[p][q] in single precision where the
// angle is defined by a double-precision division rounded to float; the two
// must agree whenever 0.5 h is exact, across the whole exponent range,
// including quotients that overflow or become subnormal.
TEST(JacobiEquivalence, HalvedQuotientRoundsAlikeInSingleAndDouble) {
    SeededFloats source(99);
    int64_t compared = 0;
    for (int32_t i = 0; i < 2000000; ++i) {
        float h = std::ldexp(source.next(), static_cast<int>(125.0f * source.next()));
        float apq = std::ldexp(source.next(), static_cast<int>(148.0f * source.next()));
        if (!(std::fabs(h) >= 0x1p-125f) || apq == 0.0f) continue;
        float single = (0.5f * h) / apq;
        float wide = static_cast<float>(0.5 * static_cast<double>(h) / static_cast<double>(apq));
        ASSERT_TRUE(sameBits(single, wide)) << h << " / " << apq;
        ++compared;
    }
    EXPECT_GT(compared, 1000000);
}

}  // namespace
