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

// Every c(i, j) is still the float sum over k in ascending order, started at
// zero; running k outside j only makes the inner loop walk contiguous rows of
// b and c, which the compiler can vectorise. c never shares storage with a or b.
void mat_mult(OffsetMatrix a, OffsetMatrix b, OffsetMatrix c, int32_t m, int32_t n, int32_t p) {
    for (int32_t i = 0; i < m; ++i) {
        float* row = &c[i][0];
        for (int32_t j = 0; j < p; ++j) row[j] = 0.0f;
        for (int32_t k = 0; k < n; ++k) {
            const float aik = a[i][k];
            const float* brow = &b[k][0];
            for (int32_t j = 0; j < p; ++j) row[j] += aik * brow[j];
        }
    }
}

void mat_vec_mult(OffsetMatrix a, OffsetVector x, OffsetVector y, int32_t m, int32_t n) {
    // Each row's sum is one long chain of dependent additions; taking several
    // rows at a time lets independent chains overlap. Every y(i) is still
    // summed on its own, in ascending k.
    int32_t i = 0;
    for (; i + 4 <= m; i += 4) {
        float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
        for (int32_t k = 0; k < n; ++k) {
            const float xk = x[k];
            s0 += a[i][k] * xk;
            s1 += a[i + 1][k] * xk;
            s2 += a[i + 2][k] * xk;
            s3 += a[i + 3][k] * xk;
        }
        y[i] = s0;
        y[i + 1] = s1;
        y[i + 2] = s2;
        y[i + 3] = s3;
    }
    for (; i + 3 <= m; i += 3) {
        float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f;
        for (int32_t k = 0; k < n; ++k) {
            const float xk = x[k];
            s0 += a[i][k] * xk;
            s1 += a[i + 1][k] * xk;
            s2 += a[i + 2][k] * xk;
        }
        y[i] = s0;
        y[i + 1] = s1;
        y[i + 2] = s2;
    }
    for (; i < m; ++i) {
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

namespace {

// Rows handled together by the batched helpers: enough independent chains of
// additions to keep the floating-point units busy.
constexpr int32_t kRowBatch = 8;

}  // namespace

void mat_row_means(OffsetMatrix a, int32_t m, uint32_t n, OffsetVector means) {
    int32_t i = 0;
    for (; i + kRowBatch <= m; i += kRowBatch) {
        const float* rows[kRowBatch];
        float sums[kRowBatch];
        for (int32_t r = 0; r < kRowBatch; ++r) {
            rows[r] = a.rowData(i + r);
            sums[r] = 0.0f;
        }
        for (uint32_t k = 0; k < n; ++k)
            for (int32_t r = 0; r < kRowBatch; ++r) sums[r] += rows[r][k];
        for (int32_t r = 0; r < kRowBatch; ++r) means[i + r] = sums[r] / static_cast<float>(n);
    }
    for (; i < m; ++i) vec_mean(OffsetVector{a.rowData(i), 1}, n, &means[i]);
}

void mat_mult_transposed(OffsetMatrix a, OffsetMatrix b, OffsetMatrix c, int32_t m, int32_t n,
                         int32_t p) {
    int32_t i = 0;
    for (; i + kRowBatch <= m; i += kRowBatch) {
        const float* rows[kRowBatch];
        for (int32_t r = 0; r < kRowBatch; ++r) rows[r] = a.rowData(i + r);
        for (int32_t k = 0; k < p; ++k) {
            const float* weights = b.rowData(k);
            float sums[kRowBatch] = {};
            for (int32_t j = 0; j < n; ++j)
                for (int32_t r = 0; r < kRowBatch; ++r) sums[r] += weights[j] * rows[r][j];
            for (int32_t r = 0; r < kRowBatch; ++r) c[i + r][k] = sums[r];
        }
    }
    for (; i < m; ++i) {
        const float* row = a.rowData(i);
        for (int32_t k = 0; k < p; ++k) {
            const float* weights = b.rowData(k);
            float sum = 0.0f;
            for (int32_t j = 0; j < n; ++j) sum += weights[j] * row[j];
            c[i][k] = sum;
        }
    }
}
