#include "numeric/matrix_helpers.h"

void vec_mean(OffsetVector v, uint32_t n, float* mean) {
    // An empty vector has no mean; 0 keeps a caller that subtracts it from
    // turning data into NaN.
    if (n == 0) {
        *mean = 0.0f;
        return;
    }
    float sum = 0.0f;
    for (uint32_t k = 1; k <= n; ++k) sum += v[static_cast<int32_t>(k)];
    *mean = sum / static_cast<float>(n);
}

void mat_mult(OffsetMatrix a, OffsetMatrix b, OffsetMatrix c, int32_t m, int32_t n, int32_t p) {
    for (int32_t i = 0; i < m; ++i) {
        for (int32_t j = 0; j < p; ++j) {
            float sum = 0.0f;
            for (int32_t k = 0; k < n; ++k) sum += a[i][k] * b[k][j];
            c[i][j] = sum;
        }
    }
}

void mat_vec_mult(OffsetMatrix a, OffsetVector x, OffsetVector y, int32_t m, int32_t n) {
    for (int32_t i = 0; i < m; ++i) {
        float sum = 0.0f;
        for (int32_t k = 0; k < n; ++k) sum += a[i][k] * x[k];
        y[i] = sum;
    }
}

void mat_transpose(OffsetMatrix a, OffsetMatrix b, int32_t m, int32_t n) {
    for (int32_t i = 0; i < m; ++i)
        for (int32_t j = 0; j < n; ++j) b[j][i] = a[i][j];
}

void mat_copy(OffsetMatrix a, OffsetMatrix b, int32_t m, int32_t n, int32_t mode) {
    // Modes 0..3: zero to zero, one to one, zero to one, one to zero.
    if (mode < 0 || mode > 3) return;
    int32_t sourceBase = (mode == 1 || mode == 3) ? 1 : 0;
    int32_t targetBase = (mode == 1 || mode == 2) ? 1 : 0;
    for (int32_t i = 0; i < m; ++i)
        for (int32_t j = 0; j < n; ++j)
            b[i + targetBase][j + targetBase] = a[i + sourceBase][j + sourceBase];
}

void mat_scale_rows(OffsetVector v, OffsetMatrix a, int32_t m, int32_t n) {
    for (int32_t i = 0; i < m; ++i)
        for (int32_t j = 0; j < n; ++j) a[i][j] = a[i][j] * v[i];
}
