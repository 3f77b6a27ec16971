#include "run/sample_conversions.h"

#include <limits>

int32_t truncateToInt32(double value) {
    // Both bounds are exact in double; the open upper bound keeps 2^31 out.
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

bool windowSamplesFromMilliseconds(int32_t milliseconds, float samplingFrequency,
                                   int32_t* samples) {
    const float product = static_cast<float>(milliseconds) * samplingFrequency;
    const float quotient = product / 1000.0f;
    if (!(quotient > -1.0f && quotient < 2147483648.0f)) return false;
    *samples = static_cast<int32_t>(quotient);
    return true;
}

int32_t triggerSampleFromMicroseconds(int32_t position, float samplingFrequency) {
    const float product = static_cast<float>(position) * samplingFrequency;
    return truncateToInt32(static_cast<double>(product) / 1000000.0);
}

float trialTimeFromSampleNumber(int32_t position, float samplingFrequency) {
    // The difference is formed in 64 bits so that the smallest position
    // cannot wrap; for every other position it is the same integer.
    const int64_t zeroBased = static_cast<int64_t>(position) - 1;
    const double microseconds =
        static_cast<double>(zeroBased) * 1000000.0 / static_cast<double>(samplingFrequency);
    return static_cast<float>(microseconds);
}

float durationMinutes(uint32_t sampleCount, float samplingFrequency) {
    const float samplesPerMinute = samplingFrequency * 60.0f;
    const double minutes = static_cast<double>(sampleCount) / static_cast<double>(samplesPerMinute);
    return static_cast<float>(minutes);
}

int32_t durationMilliseconds(uint32_t sampleCount, float samplingFrequency) {
    const double milliseconds =
        static_cast<double>(sampleCount) * 1000.0 / static_cast<double>(samplingFrequency);
    return truncateToInt32(milliseconds);
}
