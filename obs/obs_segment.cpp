#include "obs/obs_segment.h"

#include <cstring>

#include "host/host_api.h"
#include "numeric/eigen.h"
#include "numeric/matrix_helpers.h"
#include "numeric/pseudo_inverse.h"
#include "numeric/svd.h"
#include "numeric/vector_dispatch.h"
#include "obs/window_runs.h"

#ifdef KORU_PROFILE
#include <chrono>
#include <cstdio>
#endif

// One segment: the windows of A occurrences of one channel form the rows of
// X. Their principal components across occurrences (eigenvectors of the A x A
// covariance) weight the rows into K component time courses P; each written
// window loses its least-squares fit by those time courses,
//     x - P^T (P P^T)^+ P x,
// and gets its mean back.

namespace {

#ifdef KORU_PROFILE
// Where a run's time goes, for the benchmark's profiling build only: wall
// time of the window transfers, the host's product and the eigen-decomposition,
// summed over all segments of all channels.
struct SegmentProfile {
    double reads = 0, writes = 0, fits = 0, product = 0, eigen = 0, segments = 0;
    long long segmentCount = 0;
};
SegmentProfile profile;

class ProfileSpan {
public:
    explicit ProfileSpan(double& total) : total_(total), start_(Clock::now()) {}
    ~ProfileSpan() { total_ += std::chrono::duration<double>(Clock::now() - start_).count(); }
    ProfileSpan(const ProfileSpan&) = delete;
    ProfileSpan& operator=(const ProfileSpan&) = delete;

private:
    using Clock = std::chrono::steady_clock;
    double& total_;
    Clock::time_point start_;
};
#define KORU_PROFILE_SPAN(name, total) ProfileSpan name(profile.total)
#else
#define KORU_PROFILE_SPAN(name, total)
#endif

// The occurrence that row j of the segment starting at `firstOccurrence`
// holds. Past the last occurrence (only in a last, partial segment) the row
// repeats the occurrence at the same row of the previous segment, so the
// component analysis still sees A windows.
int32_t occurrenceOfRow(int32_t firstOccurrence, int32_t row, int32_t N, int32_t A) {
    const int32_t occurrence = firstOccurrence + row;
    return occurrence < N ? occurrence : occurrence - A;
}

// A window is used only when all of its samples lie within the channel. The
// test is made in 64 bits: triggers may lie anywhere in the signed range.
bool windowInBounds(const CtcFile& file, int32_t trigger, const ObsSettings& settings) {
    const int64_t firstSample = static_cast<int64_t>(trigger) - settings.pre;
    const int64_t lastSample = static_cast<int64_t>(trigger) + settings.post;
    return firstSample >= 0 && lastSample <= static_cast<int64_t>(file.NrOfSamples) - 1;
}

int64_t firstSampleOf(int32_t trigger, int32_t pre) {
    return static_cast<int64_t>(trigger) - pre;
}

// Row j holds the window of its occurrence, or zeros when that window is
// out of bounds (nothing is read for it).
bool fillRows(ObsWorkspace& ws, CtcFile& file, int32_t channel, int32_t firstOccurrence,
              OffsetIntVector T, int32_t N, const ObsSettings& settings) {
    for (int32_t j = 0; j < ws.A; ++j) {
        const int32_t t = occurrenceOfRow(firstOccurrence, j, N, ws.A);
        if (windowInBounds(file, T[t], settings)) {
            ws.windowStarts[j] = firstSampleOf(T[t], settings.pre);
        } else {
            ws.windowStarts[j] = kNoWindow;
            for (int32_t i = 0; i < ws.L; ++i) ws.X[j][i] = 0.0f;
        }
    }
    KORU_PROFILE_SPAN(span, reads);
    return readWindowRuns(file, static_cast<uint32_t>(channel), ws.windowStarts.get(), ws.A, ws.L,
                          ws.X.rows(), ws.runBuffer.get(), static_cast<int64_t>(ws.A) * ws.L);
}

// Removes each row's mean from X and widens the result into D for the
// host's product, in one pass over the rows.
KORU_VECTOR_CLONES
void removeRowMeansAndWiden(ObsWorkspace& ws) {
    // m[j] is the mean of row j as vec_mean forms it; the rows are summed
    // several at a time.
    mat_row_means(ws.X, ws.A, static_cast<uint32_t>(ws.L), ws.m);
    const int64_t L = ws.L;
    for (int32_t j = 0; j < ws.A; ++j) {
        float* row = ws.X.rowData(j);
        double* wide = ws.D.get() + j * L;
        const float mean = ws.m[j];
        for (int32_t i = 0; i < ws.L; ++i) {
            row[i] = row[i] - mean;
            wide[i] = static_cast<double>(row[i]);
        }
    }
}

// R = X X^T / L. The product is the one step in double precision; it goes to
// the host, whose product is the fast one.
KORU_VECTOR_CLONES
void covarianceOfOccurrences(ObsWorkspace& ws) {
    {
        KORU_PROFILE_SPAN(span, product);
        HostApi.zt_intel_matrix_matrix_mult_d(ws.D.get(), ws.D.get(), ws.C.get(), ws.A, ws.A, ws.L,
                                              false, true);
    }
    const int64_t A = ws.A;
    for (int32_t j = 0; j < ws.A; ++j)
        for (int32_t k = 0; k < ws.A; ++k)
            ws.R[k + 1][j + 1] = static_cast<float>(ws.C[j * A + k] / static_cast<double>(ws.L));
}

void componentBasis(ObsWorkspace& ws) {
    {
        KORU_PROFILE_SPAN(span, eigen);
        int32_t rotations = 0;
        jacobi_eigen(ws.R, ws.A, ws.e, ws.V, &rotations);
        sort_eigen(ws.e, ws.V, ws.A);
    }
    mat_copy(ws.V, ws.W, ws.A, ws.A, 3);
    mat_transpose(ws.W, ws.B, ws.A, ws.A);
    mat_mult(ws.B, ws.X, ws.P, ws.K, ws.A, ws.L);
    // G = P * P^T with every sum as over the transpose of P, in ascending
    // sample order; the transpose itself (L rows of A) is never formed.
    mat_mult_transposed(ws.P, ws.P, ws.G, ws.K, ws.L, ws.K);
    pseudo_inverse(ws.G, ws.H, ws.K);
    // The projection P * x of every row, as mat_vec_mult forms it for one
    // window; X does not change while the windows are written.
    mat_mult_transposed(ws.X, ws.P, ws.Y, ws.A, ws.L, ws.K);
}

// Fits the component time courses to row j (mean-free), subtracts the fit and
// restores the mean, into w.
KORU_VECTOR_CLONES
void removeFit(ObsWorkspace& ws, int32_t j, OffsetVector w) {
    // y = P * x, taken from the projections of all rows made at once.
    for (int32_t k = 0; k < ws.K; ++k) ws.y[k] = ws.Y[j][k];
    mat_vec_mult(ws.H, ws.y, ws.f, ws.K, ws.K);
    // Each sample is its window value less its K products, one after another
    // in ascending k, plus the mean at the end. With k outside, the inner loop
    // runs along whole component time courses; the first pass takes the
    // window from X and the last one adds the mean, so no pass only copies.
    const float* window = ws.X.rowData(j);
    float* samples = &w[0];
    const float mean = ws.m[j];
    for (int32_t k = 0; k < ws.K; ++k) {
        const float* source = k == 0 ? window : samples;
        const float* course = ws.P.rowData(k);
        const float weight = ws.f[k];
        if (k == ws.K - 1) {
            for (int32_t i = 0; i < ws.L; ++i) samples[i] = (source[i] - course[i] * weight) + mean;
        } else {
            for (int32_t i = 0; i < ws.L; ++i) samples[i] = source[i] - course[i] * weight;
        }
    }
}

}  // namespace

bool correctSegment(ObsWorkspace& ws, CtcFile& file, int32_t channel, int32_t firstOccurrence,
                    OffsetIntVector T, int32_t N, const ObsSettings& settings, OffsetVector w) {
#ifdef KORU_PROFILE
    ++profile.segmentCount;
#endif
    KORU_PROFILE_SPAN(whole, segments);
    // Every read comes before every write: the segment sees the file as the
    // previous segments left it.
    if (!fillRows(ws, file, channel, firstOccurrence, T, N, settings)) return false;
    removeRowMeansAndWiden(ws);
    covarianceOfOccurrences(ws);
    componentBasis(ws);
    // Rows past the last occurrence were read but are not written.
    for (int32_t j = 0; j < ws.A; ++j)
        if (firstOccurrence + j >= N) ws.windowStarts[j] = kNoWindow;
    const auto fill = [&](int32_t j, float* samples) {
        KORU_PROFILE_SPAN(fit, fits);
        removeFit(ws, j, w);
        std::memcpy(samples, &w[0], static_cast<size_t>(ws.L) * sizeof(float));
    };
    KORU_PROFILE_SPAN(span, writes);
    return writeWindowRuns(file, static_cast<uint32_t>(channel), ws.windowStarts.get(), ws.A, ws.L,
                           ws.runBuffer.get(), static_cast<int64_t>(ws.A) * ws.L, fill);
}

#ifdef KORU_PROFILE
// One line on standard error (the host's log is not touched), read by the
// benchmark script.
void printSegmentProfile(double correctionSeconds) {
    // The fits are made while the write runs are assembled; they count as
    // segment work, not as writes.
    const double writes = profile.writes - profile.fits;
    const double other =
        profile.segments - profile.reads - writes - profile.product - profile.eigen;
    std::fprintf(stderr,
                 "KORU profile: correction %.3f s in %lld segments: window reads %.3f s, window "
                 "writes %.3f s, product %.3f s, eigen-decomposition %.3f s, other segment work "
                 "%.3f s, outside segments %.3f s\n",
                 correctionSeconds, profile.segmentCount, profile.reads, writes, profile.product,
                 profile.eigen, other, correctionSeconds - profile.segments);
    profile = SegmentProfile();
}
#endif
