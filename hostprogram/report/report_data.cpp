#include "hostprogram/report/report_data.h"

#include <cmath>

#include "run/sample_conversions.h"

std::vector<int64_t> triggerSamples(const Protocol& protocol, int conditionIndex,
                                    float samplingFrequency) {
    std::vector<int64_t> triggers;
    if (conditionIndex < 0 || conditionIndex >= static_cast<int>(protocol.conditions.size()))
        return triggers;
    for (int32_t position : protocol.conditions[conditionIndex].starts) {
        triggers.push_back(protocol.timeUnit == TimeUnit::kSamples
                               ? position
                               : triggerSampleFromMicroseconds(position, samplingFrequency));
    }
    return triggers;
}

std::vector<double> averageWindow(const std::vector<float>& channel,
                                  const std::vector<int64_t>& triggers, int pre, int post) {
    return averageWindow(channel.data(), static_cast<int64_t>(channel.size()), triggers, pre, post);
}

std::vector<double> averageWindow(const float* channel, int64_t sampleCount,
                                  const std::vector<int64_t>& triggers, int pre, int post) {
    const int64_t length = static_cast<int64_t>(pre) + post + 1;
    if (length <= 0) return {};
    std::vector<double> sum(static_cast<std::size_t>(length), 0.0);
    int64_t used = 0;
    for (int64_t trigger : triggers) {
        const int64_t first = trigger - pre;
        if (first < 0 || trigger + post > sampleCount - 1) continue;
        for (int64_t i = 0; i < length; ++i) sum[i] += channel[first + i];
        ++used;
    }
    if (used == 0) return {};
    for (double& value : sum) value /= static_cast<double>(used);
    return sum;
}

WindowSpread windowSpread(const float* channel, int64_t sampleCount,
                          const std::vector<int64_t>& triggers, int pre, int post) {
    WindowSpread spread;
    spread.mean = averageWindow(channel, sampleCount, triggers, pre, post);
    if (spread.mean.empty()) return spread;
    // The mean of windows each taken from its own mean is the mean window
    // taken from its own mean.
    const auto length = static_cast<int64_t>(spread.mean.size());
    double meanLevel = 0.0;
    for (double value : spread.mean) meanLevel += value;
    meanLevel /= static_cast<double>(length);
    for (double& value : spread.mean) value -= meanLevel;
    // A second pass over the windows rather than a running sum of squares:
    // the deviations are small beside the stored values.
    std::vector<double> sumOfSquares(spread.mean.size(), 0.0);
    for (int64_t trigger : triggers) {
        const int64_t first = trigger - pre;
        if (first < 0 || trigger + post > sampleCount - 1) continue;
        double level = 0.0;
        for (int64_t i = 0; i < length; ++i) level += channel[first + i];
        level /= static_cast<double>(length);
        for (int64_t i = 0; i < length; ++i) {
            const double deviation = channel[first + i] - level - spread.mean[i];
            sumOfSquares[i] += deviation * deviation;
        }
        ++spread.windows;
    }
    for (double sum : sumOfSquares)
        spread.standardDeviation.push_back(std::sqrt(sum / static_cast<double>(spread.windows)));
    return spread;
}
