// Times jacobi_eigen on the covariance of one segment as the correction forms
// it (100 occurrences, windows of 1700 samples), against the plain in-place
// iteration it must match bit for bit. Prints the median and spread of many
// runs, and fails when the two disagree in any bit.
//
// Usage: jacobi_bench [order [window length [runs]]]

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/plain_jacobi.h"
#include "numeric/eigen.h"

namespace {

using Decomposer = bool (*)(OffsetMatrix, int32_t, OffsetVector, OffsetMatrix, int32_t*);

// Occurrences of one artifact shape with varying amplitude, a small timing
// jitter and background activity, in microvolts; their product summed in
// double and rounded to float, as the correction forms it.
std::vector<float> covarianceOfOccurrences(int32_t order, int32_t windowLength) {
    uint64_t state = 20261206;
    auto uniform = [&state]() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    };
    std::vector<double> occurrences(static_cast<size_t>(order) * windowLength);
    for (int32_t k = 0; k < order; ++k) {
        double amplitude = 80.0 * (0.7 + 0.6 * uniform());
        double jitter = 3.0 * (uniform() - 0.5);
        for (int32_t t = 0; t < windowLength; ++t) {
            double phase = (t + jitter) / windowLength;
            double shape = std::sin(2.0 * M_PI * 1.0 * phase) +
                           0.4 * std::sin(2.0 * M_PI * 7.0 * phase) +
                           std::exp(-std::pow((phase - 0.3) * 40.0, 2.0)) * 3.0;
            double background = 20.0 * (uniform() - 0.5) + 10.0 * (uniform() - 0.5);
            occurrences[static_cast<size_t>(k) * windowLength + t] = amplitude * shape + background;
        }
    }
    std::vector<float> covariance(static_cast<size_t>(order) * order);
    for (int32_t r = 0; r < order; ++r)
        for (int32_t c = 0; c < order; ++c) {
            double sum = 0.0;
            for (int32_t t = 0; t < windowLength; ++t)
                sum += occurrences[static_cast<size_t>(r) * windowLength + t] *
                       occurrences[static_cast<size_t>(c) * windowLength + t];
            covariance[static_cast<size_t>(r) * order + c] = static_cast<float>(sum);
        }
    return covariance;
}

struct Outcome {
    std::vector<float> values, vectors, matrix;
    int32_t rotations = 0;
    bool converged = false;
    double medianMs = 0.0, fastestMs = 0.0, slowestMs = 0.0;
};

Outcome timeDecomposer(Decomposer decompose, const std::vector<float>& input, int32_t order,
                       int32_t runs) {
    const size_t cells = static_cast<size_t>(order) * order;
    OffsetMatrix a = matrix(1, order, 1, order);
    OffsetMatrix v = matrix(1, order, 1, order);
    OffsetVector d = vector(1, order);
    Outcome outcome;
    std::vector<double> times;
    for (int32_t run = 0; run < runs; ++run) {
        std::memcpy(a.rowData(1), input.data(), cells * sizeof(float));
        auto start = std::chrono::steady_clock::now();
        outcome.converged = decompose(a, order, d, v, &outcome.rotations);
        auto stop = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::sort(times.begin(), times.end());
    outcome.medianMs = times[times.size() / 2];
    outcome.fastestMs = times.front();
    outcome.slowestMs = times.back();
    outcome.values.assign(&d[1], &d[1] + order);
    outcome.vectors.assign(v.rowData(1), v.rowData(1) + cells);
    outcome.matrix.assign(a.rowData(1), a.rowData(1) + cells);
    release_vector(d, 1, order);
    release_matrix(v, 1, order, 1, order);
    release_matrix(a, 1, order, 1, order);
    return outcome;
}

bool sameBits(const std::vector<float>& x, const std::vector<float>& y) {
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(float)) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int32_t order = argc > 1 ? std::atoi(argv[1]) : 100;
    int32_t windowLength = argc > 2 ? std::atoi(argv[2]) : 1700;
    int32_t runs = argc > 3 ? std::atoi(argv[3]) : 101;
    if (order < 1 || windowLength < 1 || runs < 1) {
        std::fprintf(stderr, "usage: jacobi_bench [order [window length [runs]]]\n");
        return 2;
    }
    std::vector<float> input = covarianceOfOccurrences(order, windowLength);
    Outcome plain = timeDecomposer(plain_jacobi_eigen, input, order, runs);
    Outcome fast = timeDecomposer(jacobi_eigen, input, order, runs);
    std::printf("order %d, window %d, %d runs, %d rotations, converged %d\n", order, windowLength,
                runs, fast.rotations, fast.converged ? 1 : 0);
    std::printf("plain iteration: median %.3f ms (fastest %.3f, slowest %.3f)\n", plain.medianMs,
                plain.fastestMs, plain.slowestMs);
    std::printf("jacobi_eigen:    median %.3f ms (fastest %.3f, slowest %.3f)\n", fast.medianMs,
                fast.fastestMs, fast.slowestMs);
    std::printf("speed-up: %.2f\n", plain.medianMs / fast.medianMs);
    bool identical = plain.rotations == fast.rotations && plain.converged == fast.converged &&
                     sameBits(plain.values, fast.values) && sameBits(plain.vectors, fast.vectors) &&
                     sameBits(plain.matrix, fast.matrix);
    std::printf("results bit-identical: %s\n", identical ? "yes" : "NO");
    return identical ? 0 : 1;
}
