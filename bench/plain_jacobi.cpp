#include "bench/plain_jacobi.h"

#include <cmath>

namespace {

// True when adding g to |value| in single precision leaves it unchanged.
bool sumLeaves(float value, float g) {
    return std::fabs(value) + g == std::fabs(value);
}

}  // namespace

bool plain_jacobi_eigen(OffsetMatrix a, int32_t n, OffsetVector d, OffsetMatrix v,
                        int32_t* rotationCount) {
    *rotationCount = 0;
    if (n < 1) return true;
    OffsetVector b = vector(1, n);
    OffsetVector z = vector(1, n);
    for (int32_t p = 1; p <= n; ++p) {
        for (int32_t q = 1; q <= n; ++q) v[p][q] = 0.0f;
        v[p][p] = 1.0f;
    }
    for (int32_t p = 1; p <= n; ++p) {
        b[p] = a[p][p];
        d[p] = a[p][p];
        z[p] = 0.0f;
    }
    for (int32_t i = 1; i <= 50; ++i) {
        float sm = 0.0f;
        for (int32_t p = 1; p <= n - 1; ++p)
            for (int32_t q = p + 1; q <= n; ++q) sm += std::fabs(a[p][q]);
        if (sm == 0.0f) {
            release_vector(z, 1, n);
            release_vector(b, 1, n);
            return true;
        }
        float tresh = 0.0f;
        if (i < 4) tresh = static_cast<float>(0.2 * double(sm) / (double(n) * double(n)));
        for (int32_t p = 1; p <= n - 1; ++p) {
            for (int32_t q = p + 1; q <= n; ++q) {
                float g = 100.0f * std::fabs(a[p][q]);
                if (i > 4 && sumLeaves(d[p], g) && sumLeaves(d[q], g)) {
                    a[p][q] = 0.0f;
                    continue;
                }
                if (!(std::fabs(a[p][q]) > tresh)) continue;
                float h = d[q] - d[p];
                float t;
                if (sumLeaves(h, g)) {
                    t = a[p][q] / h;
                } else {
                    float theta = static_cast<float>(0.5 * double(h) / double(a[p][q]));
                    t = static_cast<float>(1.0 / (std::fabs(double(theta)) +
                                                  std::sqrt(1.0 + double(theta) * double(theta))));
                    if (theta < 0.0f) t = -t;
                }
                float c = 1.0f / std::sqrt(1.0f + t * t);
                float s = t * c;
                float tau = static_cast<float>(double(s) / (1.0 + double(c)));
                h = t * a[p][q];
                z[p] -= h;
                z[q] += h;
                d[p] -= h;
                d[q] += h;
                a[p][q] = 0.0f;
                for (int32_t j = 1; j <= n; ++j) {
                    if (j == p || j == q) continue;
                    float& x = j < p ? a[j][p] : a[p][j];
                    float& y = j < q ? a[j][q] : a[q][j];
                    float oldX = x;
                    float oldY = y;
                    x = oldX - s * (oldY + oldX * tau);
                    y = oldY + s * (oldX - oldY * tau);
                }
                for (int32_t j = 1; j <= n; ++j) {
                    float oldX = v[j][p];
                    float oldY = v[j][q];
                    v[j][p] = oldX - s * (oldY + oldX * tau);
                    v[j][q] = oldY + s * (oldX - oldY * tau);
                }
                ++*rotationCount;
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
    return false;
}
