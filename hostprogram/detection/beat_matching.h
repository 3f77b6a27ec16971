#pragma once

// Scores detected beats against the true ones: a detection within the
// matching window of a true beat, each used at most once, is a hit. The
// timing errors of the hits are what the detector is judged on besides the
// counts, so they are returned sorted for percentiles.

#include <cstdint>
#include <vector>

// A detection this close to a true beat is a hit.
constexpr double kBeatMatchingWindowSeconds = 0.05;

struct BeatMatch {
    int64_t truePositives = 0;
    int64_t falseNegatives = 0;         // true beats without a detection
    int64_t falsePositives = 0;         // detections without a true beat
    std::vector<double> errorsSeconds;  // absolute, ascending
    double sensitivity() const;
    double positivePredictivity() const;
    double errorPercentile(double fraction) const;  // seconds; 0 when there are no hits
};

// Both lists ascending, in samples.
BeatMatch matchBeats(const std::vector<int64_t>& truth, const std::vector<int64_t>& detected,
                     double samplingFrequency, double windowSeconds);
