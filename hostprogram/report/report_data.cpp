#include "hostprogram/report/report_data.h"

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
    const int64_t length = static_cast<int64_t>(pre) + post + 1;
    const int64_t sampleCount = static_cast<int64_t>(channel.size());
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
