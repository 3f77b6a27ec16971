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
