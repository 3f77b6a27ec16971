#include "numeric/matrix_helpers.h"

#include <cstring>

#include "numeric/vector_dispatch.h"

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
// zero. Running k outside j makes the inner loop walk contiguous rows of b and
// c, which vectorises; a few rows of c at a time share each pass over b, which
// for the tall b of the correction (the windows) saves most of the traffic.
// c never shares storage with a or b.
KORU_VECTOR_CLONES
void mat_mult(OffsetMatrix a, OffsetMatrix b, OffsetMatrix c, int32_t m, int32_t n, int32_t p) {
    constexpr int32_t kRowsPerPass = 4;
    for (int32_t first = 0; first < m; first += kRowsPerPass) {
        const int32_t end = first + kRowsPerPass < m ? first + kRowsPerPass : m;
        for (int32_t i = first; i < end; ++i) {
            float* row = c.rowData(i);
            for (int32_t j = 0; j < p; ++j) row[j] = 0.0f;
        }
        for (int32_t k = 0; k < n; ++k) {
            const float* brow = b.rowData(k);
            for (int32_t i = first; i < end; ++i) {
                const float aik = a[i][k];
                float* row = c.rowData(i);
                for (int32_t j = 0; j < p; ++j) row[j] += aik * brow[j];
            }
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

// Rows handled together by the batched helpers: each row's sum is one long
// chain of dependent additions, and a batch of rows gives as many independent
// chains, one per vector lane.
constexpr int32_t kRowBatch = 8;
typedef float RowLanes __attribute__((vector_size(kRowBatch * sizeof(float))));

// Calls use(column, j) for j = 0, 1, ... below `columns` (a multiple of the
// batch) in ascending order, with lane r of column holding rows[r][j]. The
// rows are read a square tile at a time and turned in memory, so that every
// load is contiguous.
template <typename Use>
__attribute__((always_inline)) inline void forEachBatchColumn(const float* const* rows,
                                                              int32_t columns, Use use) {
    for (int32_t first = 0; first < columns; first += kRowBatch) {
        float tile[kRowBatch][kRowBatch];  // tile[j][r] = rows[r][first + j]
        for (int32_t r = 0; r < kRowBatch; ++r)
            for (int32_t j = 0; j < kRowBatch; ++j) tile[j][r] = rows[r][first + j];
        for (int32_t j = 0; j < kRowBatch; ++j) {
            RowLanes column;
            std::memcpy(&column, tile[j], sizeof column);
            use(column, first + j);
        }
    }
}

// The rows of a batch starting at row i.
struct RowBatch {
    const float* rows[kRowBatch];
    RowBatch(OffsetMatrix a, int32_t i) {
        for (int32_t r = 0; r < kRowBatch; ++r) rows[r] = a.rowData(i + r);
    }
};

// Columns of the weights (rows of b) taken in one pass over a row batch.
constexpr int32_t kWeightBatch = 4;

// c(i + r, first + w) for w < Count: the sums over j of b(first + w, j) *
// a(i + r, j), each in ascending j, the first `blocked` terms in vector lanes.
template <int32_t Count>
__attribute__((always_inline)) inline void weightedSums(const RowBatch& batch, OffsetMatrix b,
                                                        OffsetMatrix c, int32_t i, int32_t first,
                                                        int32_t n, int32_t blocked) {
    const float* weights[Count];
    for (int32_t w = 0; w < Count; ++w) weights[w] = b.rowData(first + w);
    RowLanes sums[Count] = {};
    forEachBatchColumn(batch.rows, blocked, [&](const RowLanes& column, int32_t j) {
        for (int32_t w = 0; w < Count; ++w) sums[w] += weights[w][j] * column;
    });
    for (int32_t w = 0; w < Count; ++w)
        for (int32_t r = 0; r < kRowBatch; ++r) {
            float sum = sums[w][r];
            for (int32_t j = blocked; j < n; ++j) sum += weights[w][j] * batch.rows[r][j];
            c[i + r][first + w] = sum;
        }
}

}  // namespace

// A transposed tile does not pay here: with one sum per row there is too
// little arithmetic per element to win back the turning of the tile.
KORU_VECTOR_CLONES
void mat_row_means(OffsetMatrix a, int32_t m, uint32_t n, OffsetVector means) {
    int32_t i = 0;
    for (; i + kRowBatch <= m; i += kRowBatch) {
        const RowBatch batch(a, i);
        float sums[kRowBatch] = {};
        for (uint32_t k = 0; k < n; ++k)
            for (int32_t r = 0; r < kRowBatch; ++r) sums[r] += batch.rows[r][k];
        for (int32_t r = 0; r < kRowBatch; ++r) means[i + r] = sums[r] / static_cast<float>(n);
    }
    for (; i < m; ++i) vec_mean(OffsetVector{a.rowData(i), 1}, n, &means[i]);
}

KORU_VECTOR_CLONES
void mat_mult_transposed(OffsetMatrix a, OffsetMatrix b, OffsetMatrix c, int32_t m, int32_t n,
                         int32_t p) {
    const int32_t blocked = n / kRowBatch * kRowBatch;
    int32_t i = 0;
    for (; i + kRowBatch <= m; i += kRowBatch) {
        const RowBatch batch(a, i);
        int32_t first = 0;
        for (; first + kWeightBatch <= p; first += kWeightBatch)
            weightedSums<kWeightBatch>(batch, b, c, i, first, n, blocked);
        switch (p - first) {
            case 3:
                weightedSums<3>(batch, b, c, i, first, n, blocked);
                break;
            case 2:
                weightedSums<2>(batch, b, c, i, first, n, blocked);
                break;
            case 1:
                weightedSums<1>(batch, b, c, i, first, n, blocked);
                break;
            default:
                break;
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
