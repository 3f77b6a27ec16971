#include "numeric/eigen.h"

#include <cmath>

namespace {

constexpr int32_t kMaxSweeps = 50;

// Replaces the pair (x, y) by its image under the plane rotation with sine s
// and tau = s / (1 + c). Written in this form rather than with the cosine
// because it loses less accuracy when the rotation angle is small.
inline void rotatePair(float& x, float& y, float s, float tau) {
    float oldX = x;
    float oldY = y;
    x = oldX - s * (oldY + oldX * tau);
    y = oldY + s * (oldX - oldY * tau);
}

// True when adding g to |value| in single precision leaves it unchanged, i.e.
// g is below the resolution of value. The sum is stored in a float before the
// comparison so that no wider intermediate can take part in the decision.
inline bool isNegligibleNext(float value, float g) {
    float magnitude = std::fabs(value);
    float sum = magnitude + g;
    return sum == magnitude;
}

float offDiagonalSum(OffsetMatrix a, int32_t n) {
    float sum = 0.0f;
    for (int32_t p = 1; p <= n - 1; ++p)
        for (int32_t q = p + 1; q <= n; ++q) sum += std::fabs(a[p][q]);
    return sum;
}

// Tangent of the rotation angle that annihilates a[p][q], for h = d[q] - d[p].
// theta = cot(2 * angle); the smaller root of t^2 + 2 t theta - 1 = 0 keeps
// the angle below pi/4. When h dwarfs a[p][q], theta^2 would overflow and
// t = a[p][q] / h is the accurate limit.
float rotationTangent(float apq, float h, float g) {
    if (isNegligibleNext(h, g)) return apq / h;
    float theta = static_cast<float>(0.5 * static_cast<double>(h) / static_cast<double>(apq));
    double thetaWide = static_cast<double>(theta);
    float t =
        static_cast<float>(1.0 / (std::fabs(thetaWide) + std::sqrt(1.0 + thetaWide * thetaWide)));
    if (theta < 0.0f) t = -t;
    return t;
}

// Annihilates a[p][q] (p < q) by one rotation, updating the diagonal
// estimates d, the per-sweep corrections z, the strict upper triangle of a
// and the columns p and q of v.
void rotate(OffsetMatrix a, int32_t n, OffsetVector d, OffsetVector z, OffsetMatrix v, int32_t p,
            int32_t q, float g) {
    float apq = a[p][q];
    float t = rotationTangent(apq, d[q] - d[p], g);
    float c = 1.0f / std::sqrt(1.0f + t * t);
    float s = t * c;
    float tau = static_cast<float>(static_cast<double>(s) / (1.0 + static_cast<double>(c)));
    float h = t * apq;
    z[p] -= h;
    z[q] += h;
    d[p] -= h;
    d[q] += h;
    a[p][q] = 0.0f;
    // Only the strict upper triangle holds the matrix, so row and column
    // p and q are reached through whichever of a[x][y], a[y][x] lies above
    // the diagonal.
    for (int32_t j = 1; j <= p - 1; ++j) rotatePair(a[j][p], a[j][q], s, tau);
    for (int32_t j = p + 1; j <= q - 1; ++j) rotatePair(a[p][j], a[j][q], s, tau);
    for (int32_t j = q + 1; j <= n; ++j) rotatePair(a[p][j], a[q][j], s, tau);
    for (int32_t j = 1; j <= n; ++j) rotatePair(v[j][p], v[j][q], s, tau);
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
    for (int32_t p = 1; p <= n; ++p) {
        for (int32_t q = 1; q <= n; ++q) v[p][q] = 0.0f;
        v[p][p] = 1.0f;
    }
    for (int32_t p = 1; p <= n; ++p) {
        b[p] = d[p] = a[p][p];
        z[p] = 0.0f;
    }

    bool converged = false;
    for (int32_t sweep = 1; sweep <= kMaxSweeps; ++sweep) {
        float sum = offDiagonalSum(a, n);
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
        for (int32_t p = 1; p <= n - 1; ++p) {
            for (int32_t q = p + 1; q <= n; ++q) {
                float g = 100.0f * std::fabs(a[p][q]);
                // Late in the iteration an element below the resolution of both
                // diagonal elements is dropped outright; this is what lets the
                // off-diagonal sum reach exactly zero.
                if (sweep > 4 && isNegligibleNext(d[p], g) && isNegligibleNext(d[q], g)) {
                    a[p][q] = 0.0f;
                } else if (std::fabs(a[p][q]) > threshold) {
                    rotate(a, n, d, z, v, p, q, g);
                    ++*rotationCount;
                }
            }
        }
        for (int32_t p = 1; p <= n; ++p) {
            b[p] += z[p];
            d[p] = b[p];
            z[p] = 0.0f;
        }
    }
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
