#include "hostprogram/detection/beat_matching.h"

#include <algorithm>
#include <cmath>

double BeatMatch::sensitivity() const {
    const int64_t total = truePositives + falseNegatives;
    return total > 0 ? static_cast<double>(truePositives) / static_cast<double>(total) : 0.0;
}

double BeatMatch::positivePredictivity() const {
    const int64_t total = truePositives + falsePositives;
    return total > 0 ? static_cast<double>(truePositives) / static_cast<double>(total) : 0.0;
}

double BeatMatch::errorPercentile(double fraction) const {
    if (errorsSeconds.empty()) return 0.0;
    const auto rank = static_cast<std::size_t>(
        std::ceil(fraction * static_cast<double>(errorsSeconds.size())) - 1.0);
    return errorsSeconds[std::min(rank, errorsSeconds.size() - 1)];
}

// One pass over both ascending lists: beats are at least the refractory
// period apart, far more than the window, so the nearest pairing is unique.
BeatMatch matchBeats(const std::vector<int64_t>& truth, const std::vector<int64_t>& detected,
                     double samplingFrequency, double windowSeconds) {
    BeatMatch match;
    const double window = windowSeconds * samplingFrequency;
    std::size_t t = 0;
    std::size_t d = 0;
    while (t < truth.size() && d < detected.size()) {
        const double difference = static_cast<double>(detected[d] - truth[t]);
        if (std::fabs(difference) <= window) {
            ++match.truePositives;
            match.errorsSeconds.push_back(std::fabs(difference) / samplingFrequency);
            ++t;
            ++d;
        } else if (difference < 0) {
            ++match.falsePositives;
            ++d;
        } else {
            ++match.falseNegatives;
            ++t;
        }
    }
    match.falseNegatives += static_cast<int64_t>(truth.size() - t);
    match.falsePositives += static_cast<int64_t>(detected.size() - d);
    std::sort(match.errorsSeconds.begin(), match.errorsSeconds.end());
    return match;
}
