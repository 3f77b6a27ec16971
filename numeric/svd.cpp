#include "numeric/svd.h"

#include <algorithm>
#include <cmath>

#include "numeric/matrix_helpers.h"

bool svd_not_converged = false;

namespace {

constexpr int32_t kMaxIterations = 100;

// Absolute: the decomposition itself does not scale its tolerance by the size
// of the entries (pseudo_inverse scales its input instead).
constexpr float kNegligible = 1e-6f;

inline bool isNegligible(float value) {
    return std::fabs(value) < kNegligible;
}

// |magnitude| carrying the sign of signSource, with +0 and -0 both counted
// as non-negative.
inline float withSignOf(float magnitude, float signSource) {
    float absolute = std::fabs(magnitude);
    return signSource >= 0.0f ? absolute : -absolute;
}

// Reciprocal formed in double and rounded once to single precision.
inline float reciprocal(float value) {
    return static_cast<float>(1.0 / static_cast<double>(value));
}

// Applies the plane rotation (c, s) to columns first and second of rows
// 1..rowCount: (x, y) becomes (x c + y s, y c - x s).
void rotateColumns(OffsetMatrix m, int32_t rowCount, int32_t first, int32_t second, float c,
                   float s) {
    for (int32_t row = 1; row <= rowCount; ++row) {
        float x = m[row][first];
        float y = m[row][second];
        m[row][first] = x * c + y * s;
        m[row][second] = y * c - x * s;
    }
}

// Householder reduction of a (m x n) to upper bidiagonal form: the diagonal
// goes to w, the super-diagonal to e (e[1] = 0), the reflections stay in a.
// Returns the g of the last step, from which the right-hand accumulation
// continues.
float reduceToBidiagonal(OffsetMatrix a, int32_t m, int32_t n, OffsetVector w, OffsetVector e) {
    float g = 0.0f;
    float scale = 0.0f;
    float s = 0.0f;
    for (int32_t i = 1; i <= n; ++i) {
        int32_t l = i + 1;
        e[i] = scale * g;
        g = s = scale = 0.0f;
        if (i <= m) {
            // Reflection of column i below the diagonal. Dividing by the sum
            // of magnitudes first keeps the squares from overflowing.
            for (int32_t k = i; k <= m; ++k) scale += std::fabs(a[k][i]);
            if (scale != 0.0f) {
                for (int32_t k = i; k <= m; ++k) {
                    a[k][i] /= scale;
                    s += a[k][i] * a[k][i];
                }
                float f = a[i][i];
                g = -withSignOf(std::sqrt(s), f);
                float h = f * g - s;
                a[i][i] = f - g;
                for (int32_t j = l; j <= n; ++j) {
                    float dot = 0.0f;
                    for (int32_t k = i; k <= m; ++k) dot += a[k][i] * a[k][j];
                    f = dot / h;
                    for (int32_t k = i; k <= m; ++k) a[k][j] += f * a[k][i];
                }
                for (int32_t k = i; k <= m; ++k) a[k][i] *= scale;
            }
        }
        w[i] = scale * g;
        g = s = scale = 0.0f;
        if (i <= m && i != n) {
            // Reflection of row i right of the super-diagonal.
            for (int32_t k = l; k <= n; ++k) scale += std::fabs(a[i][k]);
            if (scale != 0.0f) {
                for (int32_t k = l; k <= n; ++k) {
                    a[i][k] /= scale;
                    s += a[i][k] * a[i][k];
                }
                float f = a[i][l];
                g = -withSignOf(std::sqrt(s), f);
                float h = f * g - s;
                a[i][l] = f - g;
                for (int32_t k = l; k <= n; ++k) e[k] = a[i][k] / h;
                for (int32_t j = l; j <= m; ++j) {
                    float dot = 0.0f;
                    for (int32_t k = l; k <= n; ++k) dot += a[j][k] * a[i][k];
                    for (int32_t k = l; k <= n; ++k) a[j][k] += dot * e[k];
                }
                for (int32_t k = l; k <= n; ++k) a[i][k] *= scale;
            }
        }
    }
    return g;
}

// Builds V from the row reflections stored in a, last reflection first.
void accumulateRight(OffsetMatrix a, int32_t n, OffsetVector e, OffsetMatrix v, float g) {
    int32_t l = n + 1;
    for (int32_t i = n; i >= 1; --i) {
        if (i < n) {
            if (g != 0.0f) {
                // Two divisions rather than one by the product, which could
                // underflow.
                for (int32_t j = l; j <= n; ++j) v[j][i] = (a[i][j] / a[i][l]) / g;
                for (int32_t j = l; j <= n; ++j) {
                    float dot = 0.0f;
                    for (int32_t k = l; k <= n; ++k) dot += a[i][k] * v[k][j];
                    for (int32_t k = l; k <= n; ++k) v[k][j] += dot * v[k][i];
                }
            }
            for (int32_t j = l; j <= n; ++j) v[i][j] = v[j][i] = 0.0f;
        }
        v[i][i] = 1.0f;
        g = e[i];
        l = i;
    }
}

// Turns a into U from the column reflections it holds, last reflection first.
void accumulateLeft(OffsetMatrix a, int32_t m, int32_t n, OffsetVector w) {
    for (int32_t i = std::min(m, n); i >= 1; --i) {
        int32_t l = i + 1;
        float g = w[i];
        for (int32_t j = l; j <= n; ++j) a[i][j] = 0.0f;
        if (g != 0.0f) {
            g = reciprocal(g);
            for (int32_t j = l; j <= n; ++j) {
                float dot = 0.0f;
                for (int32_t k = l; k <= m; ++k) dot += a[k][i] * a[k][j];
                float f = (dot / a[i][i]) * g;
                for (int32_t k = i; k <= m; ++k) a[k][j] += f * a[k][i];
            }
            for (int32_t j = i; j <= m; ++j) a[j][i] *= g;
        } else {
            for (int32_t j = i; j <= m; ++j) a[j][i] = 0.0f;
        }
        a[i][i] += 1.0f;
    }
}

// Index l of the top of the unreduced block ending at k: e[l] negligible
// means the block splits there. Sets *cancelAbove when w[l - 1] is negligible
// instead, so that e[l] must first be rotated away.
int32_t findSplit(OffsetVector w, OffsetVector e, int32_t k, bool* cancelAbove) {
    *cancelAbove = false;
    int32_t l = k;
    // e[1] is always 0, so the search ends at l = 1 at the latest.
    for (; l > 1; --l) {
        if (isNegligible(e[l])) return l;
        if (isNegligible(w[l - 1])) {
            *cancelAbove = true;
            return l;
        }
    }
    return l;
}

// w[l - 1] is negligible: chase e[l..k] out with rotations from the left.
void cancelSuperDiagonal(OffsetMatrix a, int32_t m, OffsetVector w, OffsetVector e, int32_t l,
                         int32_t k) {
    int32_t nm = l - 1;
    float c = 0.0f;
    float s = 1.0f;
    for (int32_t i = l; i <= k; ++i) {
        float f = s * e[i];
        e[i] = c * e[i];
        if (isNegligible(f)) break;
        float g = w[i];
        float h = safe_hypot(f, g);
        w[i] = h;
        h = reciprocal(h);
        c = g * h;
        s = -f * h;
        rotateColumns(a, m, nm, i, c, s);
    }
}

// One implicit-shift QR step on the block l..k, shifted by the eigenvalue of
// the bottom 2 x 2 minor closer to its last diagonal element.
void qrStep(OffsetMatrix a, int32_t m, int32_t n, OffsetVector w, OffsetVector e, OffsetMatrix v,
            int32_t l, int32_t k) {
    float z = w[k];
    float x = w[l];
    int32_t nm = k - 1;
    float y = w[nm];
    float g = e[nm];
    float h = e[k];
    float f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0f * h * y);
    g = safe_hypot(f, 1.0f);
    f = ((x - z) * (x + z) + h * (y / (f + withSignOf(g, f)) - h)) / x;

    float c = 1.0f;
    float s = 1.0f;
    for (int32_t j = l; j <= nm; ++j) {
        int32_t i = j + 1;
        g = e[i];
        y = w[i];
        h = s * g;
        g = c * g;
        z = safe_hypot(f, h);
        e[j] = z;
        c = f / z;
        s = h / z;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y = y * c;
        rotateColumns(v, n, j, i, c, s);
        z = safe_hypot(f, h);
        w[j] = z;
        // With z = 0 the rotation angle is arbitrary; the previous one is kept.
        if (z != 0.0f) {
            z = reciprocal(z);
            c = f * z;
            s = h * z;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        rotateColumns(a, m, j, i, c, s);
    }
    e[l] = 0.0f;
    e[k] = f;
    w[k] = x;
}

// Diagonalises the bidiagonal form, bottom singular value first.
void diagonalise(OffsetMatrix a, int32_t m, int32_t n, OffsetVector w, OffsetVector e,
                 OffsetMatrix v) {
    for (int32_t k = n; k >= 1; --k) {
        for (int32_t iteration = 1; iteration <= kMaxIterations; ++iteration) {
            bool cancelAbove = false;
            int32_t l = findSplit(w, e, k, &cancelAbove);
            if (cancelAbove) cancelSuperDiagonal(a, m, w, e, l, k);
            if (l == k) {
                // Converged; singular values are made non-negative.
                if (w[k] < 0.0f) {
                    w[k] = -w[k];
                    for (int32_t j = 1; j <= n; ++j) v[j][k] = -v[j][k];
                }
                break;
            }
            // The last permitted step is still taken; the value keeps whatever
            // it reaches and the flag tells the caller.
            if (iteration == kMaxIterations) svd_not_converged = true;
            qrStep(a, m, n, w, e, v, l, k);
        }
    }
}

}  // namespace

void svd_decompose(OffsetMatrix a, int32_t m, int32_t n, OffsetVector w, OffsetMatrix v) {
    svd_not_converged = false;
    // Nothing to decompose; also keeps a negative order away from the
    // allocation, which would end the process.
    if (n < 1) return;
    OffsetVector e = vector(1, n);
    float g = reduceToBidiagonal(a, m, n, w, e);
    accumulateRight(a, n, e, v, g);
    accumulateLeft(a, m, n, w);
    diagonalise(a, m, n, w, e, v);
    release_vector(e, 1, n);
}

float safe_hypot(float a, float b) {
    // Factoring out the larger magnitude keeps the square from overflowing or
    // underflowing; the root is taken in double and rounded once.
    float p = std::fabs(a);
    float q = std::fabs(b);
    float larger = p;
    float smaller = q;
    if (!(p > q)) {
        if (q == 0.0f) return 0.0f;
        larger = q;
        smaller = p;
    }
    float r = smaller / larger;
    float rSquared = r * r;
    return larger * static_cast<float>(std::sqrt(1.0 + static_cast<double>(rSquared)));
}
