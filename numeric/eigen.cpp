#include "numeric/eigen.h"

#include <cmath>
#include <cstdlib>
#include <limits>

// The iteration works on a private copy of the matrix that holds both
// triangles, and on the eigenvectors transposed, so that every rotation runs
// over whole contiguous rows. Each element still goes through exactly the same
// single-precision operations on the same operands as in a rotation of the
// upper triangle in place, so the results do not depend on the layout.

namespace {

constexpr int32_t kMaxSweeps = 50;

// Rows are padded to a whole number of these groups; the padding starts at
// zero, takes part in the rotations and is never read back.
constexpr int64_t kLanes = 8;
typedef float Lanes __attribute__((vector_size(kLanes * sizeof(float))));

// The working copies: element (r, c) of the symmetric matrix at
// matrixRows[r * stride + c] and component r of eigenvector c at
// vectorRows[c * stride + r], both indexed from 0.
struct Workspace {
    float* block = nullptr;
    float* matrixRows = nullptr;
    float* vectorRows = nullptr;
    int64_t stride = 0;
};

// The block is empty when the memory cannot be had.
Workspace allocateWorkspace(int32_t n) {
    Workspace work;
    work.stride = (static_cast<int64_t>(n) + kLanes - 1) / kLanes * kLanes;
    size_t rowBytes = static_cast<size_t>(work.stride) * sizeof(float);
    size_t rowCount = 2 * static_cast<size_t>(n);
    if (rowBytes <= std::numeric_limits<size_t>::max() / rowCount)
        work.block = static_cast<float*>(std::aligned_alloc(sizeof(Lanes), rowBytes * rowCount));
    if (!work.block) return work;
    work.matrixRows = work.block;
    work.vectorRows = work.block + static_cast<int64_t>(n) * work.stride;
    return work;
}

// True when adding g to |value| in single precision leaves it unchanged, i.e.
// g is below the resolution of value. The sum is stored in a float before the
// comparison so that no wider intermediate can take part in the decision.
inline bool isNegligibleNext(float value, float g) {
    float magnitude = std::fabs(value);
    float sum = magnitude + g;
    return sum == magnitude;
}

// theta = 0.5 h / apq rounded to single precision, as if divided in double.
// Double carries more than twice the float precision plus two bits, so
// rounding the exact quotient first to double and then to float gives the same
// float as rounding it once; the single-precision division is therefore
// exact-equivalent whenever 0.5 h is itself exact, i.e. not subnormal. It
// saves a conversion and the slower double division on the chain of
// dependent operations that sets the pace of the sweeps.
inline float halfRatio(float h, float apq) {
    if (std::fabs(h) >= 0x1p-125f) return (0.5f * h) / apq;
    return static_cast<float>(0.5 * static_cast<double>(h) / static_cast<double>(apq));
}

// Tangent of the rotation angle that annihilates apq, for h = d[q] - d[p].
// theta = cot(2 * angle); the smaller root of t^2 + 2 t theta - 1 = 0 keeps
// the angle below pi/4. When h dwarfs apq, theta^2 would overflow and
// t = apq / h is the accurate limit.
inline float rotationTangent(float apq, float h, float g) {
    if (isNegligibleNext(h, g)) return apq / h;
    float theta = halfRatio(h, apq);
    double thetaWide = static_cast<double>(theta);
    float t =
        static_cast<float>(1.0 / (std::fabs(thetaWide) + std::sqrt(1.0 + thetaWide * thetaWide)));
    if (theta < 0.0f) t = -t;
    return t;
}

// Replaces each pair (x[j], y[j]) by its image under the plane rotation with
// sine s and tau = s / (1 + c). Written in this form rather than with the
// cosine because it loses less accuracy when the rotation angle is small.
__attribute__((always_inline)) inline void rotateRows(float* x, float* y, int64_t stride, float s,
                                                      float tau) {
    const Lanes sine = {s, s, s, s, s, s, s, s};
    const Lanes ratio = {tau, tau, tau, tau, tau, tau, tau, tau};
    for (int64_t j = 0; j < stride; j += kLanes) {
        // Copied in and out, as the rows are plain floats.
        Lanes oldX, oldY;
        __builtin_memcpy(&oldX, x + j, sizeof oldX);
        __builtin_memcpy(&oldY, y + j, sizeof oldY);
        Lanes newX = oldX - sine * (oldY + oldX * ratio);
        Lanes newY = oldY + sine * (oldX - oldY * ratio);
        __builtin_memcpy(x + j, &newX, sizeof newX);
        __builtin_memcpy(y + j, &newY, sizeof newY);
    }
}

// The angle of one rotation in the plane (p, q), p < q.
struct PlaneRotation {
    int32_t p = 0, q = 0;
    float s = 0.0f;    // sine
    float tau = 0.0f;  // s / (1 + cosine)
};

// The new value of x in a pair (x, y) under rotation r.
inline float rotatedX(float x, float y, const PlaneRotation& r) {
    return x - r.s * (y + x * r.tau);
}

// Chooses the rotation that annihilates apq (the element (p, q)) and moves
// the diagonal estimates d and the per-sweep corrections z accordingly.
inline PlaneRotation chooseRotation(float apq, int32_t p, int32_t q, float g, float* d, float* z) {
    PlaneRotation r;
    r.p = p;
    r.q = q;
    float t = rotationTangent(apq, d[q] - d[p], g);
    float c = 1.0f / std::sqrt(1.0f + t * t);
    r.s = t * c;
    r.tau = static_cast<float>(static_cast<double>(r.s) / (1.0 + static_cast<double>(c)));
    float h = t * apq;
    z[p] -= h;
    z[q] += h;
    d[p] -= h;
    d[q] += h;
    return r;
}

// Applies rotation r to rows p and q of the matrix copy and of the
// eigenvectors. The sweeps run p = 0..n-2 and within each q = p+1..n-1;
// rotating rows p and q leaves their copies in columns p and q stale, and not
// all of them need refreshing at once:
// - a row k < p is not read again during this sweep, and the pairs it shares
//   with later rows change only through those rows; at the end of the sweep
//   every pair (k, m), k < m, is current in row m, the lower triangle;
// - column p of a row k > p is read only by rotation (p, k), which recomputes
//   that element (it is a[p][k]) from row p, so it is refreshed once when the
//   rotations of row p are done;
// - column q of every row k > p is refreshed at once.
// The diagonal of the copy and the stale element (q, p) are never read; they
// are set to zero because, left to the rotations, they drift into subnormal
// and non-finite values, which slow the arithmetic down.
__attribute__((always_inline)) inline void applyRotation(const Workspace& work, int32_t n,
                                                         const PlaneRotation& r) {
    const int64_t stride = work.stride;
    float* rowP = work.matrixRows + r.p * stride;
    float* rowQ = work.matrixRows + r.q * stride;
    rotateRows(rowP, rowQ, stride, r.s, r.tau);
    rowP[r.p] = 0.0f;
    rowP[r.q] = 0.0f;
    rowQ[r.p] = 0.0f;
    rowQ[r.q] = 0.0f;
    // The stores to column q are strided and many; unrolled, they carry less
    // loop overhead into the shadow of the next rotation's angle computation.
    float* columnQ = work.matrixRows + r.q;
#pragma GCC unroll 4
    for (int64_t k = r.p + 1; k < n; ++k) columnQ[k * stride] = rowQ[k];
    rotateRows(work.vectorRows + r.p * stride, work.vectorRows + r.q * stride, stride, r.s, r.tau);
}

// One pass over the elements (p, q), q = p+1..n-1, in order. Each rotation's
// angle is a long chain of divisions and square roots, and the next element
// depends on the previous rotation; so the element that decides the next
// rotation is brought up to date on its own and its angle found before the
// rows of the previous rotation are rotated, which lets the two overlap.
// Returns the number of rotations.
__attribute__((always_inline)) inline int32_t sweepRow(const Workspace& work, int32_t n, float* d,
                                                       float* z, int32_t p, bool dropNegligible,
                                                       float threshold) {
    const int64_t stride = work.stride;
    float* rowP = work.matrixRows + p * stride;
    int32_t rotations = 0;
    PlaneRotation pending;
    bool isPending = false;
    for (int32_t q = p + 1; q < n; ++q) {
        float apq = rowP[q];
        if (isPending) apq = rotatedX(apq, work.matrixRows[pending.q * stride + q], pending);
        float g = 100.0f * std::fabs(apq);
        // Late in the iteration an element below the resolution of both
        // diagonal elements is dropped outright; this is what lets the
        // off-diagonal sum reach exactly zero.
        if (dropNegligible && isNegligibleNext(d[p], g) && isNegligibleNext(d[q], g)) {
            if (isPending) applyRotation(work, n, pending);
            isPending = false;
            rowP[q] = 0.0f;
        } else if (std::fabs(apq) > threshold) {
            PlaneRotation next = chooseRotation(apq, p, q, g, d, z);
            if (isPending) applyRotation(work, n, pending);
            pending = next;
            isPending = true;
            ++rotations;
        }
    }
    if (isPending) applyRotation(work, n, pending);
    for (int32_t k = p + 1; k < n; ++k) work.matrixRows[k * stride + p] = rowP[k];
    return rotations;
}

// Off-diagonal sum over the upper triangle, row by row, in single precision.
float offDiagonalSum(const Workspace& work, int32_t n) {
    float sum = 0.0f;
    for (int32_t p = 0; p < n - 1; ++p) {
        const float* row = work.matrixRows + p * work.stride;
        for (int32_t q = p + 1; q < n; ++q) sum += std::fabs(row[q]);
    }
    return sum;
}

// The sweeps of the iteration on the working copies; d, b and z are indexed
// from 0. Compiled once per vector unit and chosen at run time: the rotations
// gain most from wide vectors, and only unfused single operations are used,
// so every variant gives the same bits.
__attribute__((target_clones("avx2", "default"))) bool runSweeps(const Workspace& work, int32_t n,
                                                                 float* d, float* b, float* z,
                                                                 int32_t* rotationCount) {
    const int64_t stride = work.stride;
    float* rows = work.matrixRows;
    int32_t rotations = 0;
    bool converged = false;
    for (int32_t sweep = 1; sweep <= kMaxSweeps; ++sweep) {
        float sum = offDiagonalSum(work, n);
        if (sum == 0.0f) {
            converged = true;
            break;
        }
        // The first sweeps rotate only the large elements, so that work is not
        // spent on elements the large rotations would disturb again.
        float threshold = 0.0f;
        if (sweep < 4)
            threshold = static_cast<float>(0.2 * static_cast<double>(sum) /
                                           (static_cast<double>(n) * static_cast<double>(n)));
        for (int32_t p = 0; p < n - 1; ++p)
            rotations += sweepRow(work, n, d, z, p, sweep > 4, threshold);
        for (int32_t r = 0; r < n; ++r)
            for (int32_t k = r + 1; k < n; ++k) rows[r * stride + k] = rows[k * stride + r];
        for (int32_t p = 0; p < n; ++p) {
            b[p] += z[p];
            d[p] = b[p];
            z[p] = 0.0f;
        }
    }
    *rotationCount = rotations;
    return converged;
}

}  // namespace

bool jacobi_eigen(OffsetMatrix a, int32_t n, OffsetVector d, OffsetMatrix v,
                  int32_t* rotationCount) {
    *rotationCount = 0;
    // Nothing to diagonalise; also keeps a negative order away from the
    // allocation, which would end the process.
    if (n < 1) return true;

    // b holds the diagonal at the start of the sweep and z the sum of the
    // changes made to it during the sweep. Folding z into b once per sweep
    // keeps the rounding of many small updates out of d.
    OffsetVector b = vector(1, n);
    OffsetVector z = vector(1, n);
    Workspace work = allocateWorkspace(n);
    if (!work.block) {
        // The copies are work storage like b and z and fail the same way;
        // b and z are given back first so that a leak checker running at
        // exit does not report them.
        release_vector(z, 1, n);
        release_vector(b, 1, n);
        numeric_fatal_error("allocation failure in vector()");
    }
    const int64_t stride = work.stride;
    for (int32_t p = 1; p <= n; ++p) {
        b[p] = d[p] = a[p][p];
        z[p] = 0.0f;
    }
    // Both triangles of the copy from the upper one; the eigenvectors start
    // as the identity.
    for (int32_t r = 0; r < n; ++r) {
        float* row = work.matrixRows + r * stride;
        float* vectorRow = work.vectorRows + r * stride;
        for (int64_t c = 0; c < stride; ++c) {
            row[c] = 0.0f;
            vectorRow[c] = 0.0f;
        }
        for (int32_t c = 0; c < n; ++c)
            if (c != r) row[c] = r < c ? a[r + 1][c + 1] : a[c + 1][r + 1];
        vectorRow[r] = 1.0f;
    }

    bool converged = runSweeps(work, n, &d[1], &b[1], &z[1], rotationCount);

    // The upper triangle gets the values an in-place iteration leaves there.
    for (int32_t r = 0; r < n; ++r) {
        const float* row = work.matrixRows + r * stride;
        for (int32_t c = r + 1; c < n; ++c) a[r + 1][c + 1] = row[c];
        const float* vectorRow = work.vectorRows + r * stride;
        for (int32_t c = 0; c < n; ++c) v[c + 1][r + 1] = vectorRow[c];
    }
    std::free(work.block);
    release_vector(z, 1, n);
    release_vector(b, 1, n);
    return converged;
}

void sort_eigen(OffsetVector d, OffsetMatrix v, int32_t n) {
    if (n < 2) return;
    for (int32_t i = 1; i <= n - 1; ++i) {
        int32_t k = i;
        float best = d[i];
        // Greater-or-equal: among equal largest values the last one wins.
        for (int32_t j = i + 1; j <= n; ++j) {
            if (d[j] >= best) {
                best = d[j];
                k = j;
            }
        }
        if (k != i) {
            d[k] = d[i];
            d[i] = best;
            for (int32_t j = 1; j <= n; ++j) {
                float swapped = v[j][i];
                v[j][i] = v[j][k];
                v[j][k] = swapped;
            }
        }
    }
}
