#pragma once

// The numbers behind the report and the demo's figures, computed the way the
// plug-in places its windows.

#include <cstdint>
#include <vector>

#include "hostprogram/protocols/protocol.h"

// The zero-based trigger sample of every interval of a condition, as the
// plug-in computes it from the interval starts.
std::vector<int64_t> triggerSamples(const Protocol& protocol, int conditionIndex,
                                    float samplingFrequency);

// The mean over occurrences of the window pre..post around each trigger
// (only windows wholly inside the channel count). Empty when none is.
std::vector<double> averageWindow(const std::vector<float>& channel,
                                  const std::vector<int64_t>& triggers, int pre, int post);
std::vector<double> averageWindow(const float* channel, int64_t sampleCount,
                                  const std::vector<int64_t>& triggers, int pre, int post);

// How alike the windows are: their mean and standard deviation at every
// sample, each window first taken relative to its own mean, so that a slow
// baseline (breathing, electrode drift) does not pass for a change of shape.
struct WindowSpread {
    std::vector<double> mean;
    std::vector<double> standardDeviation;
    int64_t windows = 0;  // wholly inside the channel; none: both vectors empty
};

WindowSpread windowSpread(const float* channel, int64_t sampleCount,
                          const std::vector<int64_t>& triggers, int pre, int post);
