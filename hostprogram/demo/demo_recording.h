#pragma once

// A realistic example recording with a known clean signal: EEG with a 1/f
// background and an alpha rhythm, a heartbeat train with respiratory and
// slower rate variability, and on every channel a heartbeat-locked
// (ballistocardiogram-like) artifact whose amplitude, latency and shape
// change from beat to beat. Amplitudes are in microvolts. On request, one
// more channel holds the ECG as recorded in the scanner, its R-peaks at the
// heartbeats; it has no artifact, so its clean and recorded signals agree.

#include <cstdint>
#include <functional>
#include <vector>

#include "hostprogram/cli/options.h"

struct DemoRecording {
    float samplingRate = 0.0f;
    std::vector<std::vector<float>> clean;     // per channel: the EEG without artifact
    std::vector<std::vector<float>> recorded;  // per channel: clean plus artifact
    std::vector<int32_t> rPeaks;               // zero-based sample of every heartbeat
    int ecgChannel = -1;                       // zero-based; -1: none
};

DemoRecording generateDemoRecording(const DemoSettings& settings);

// The same recording, handed out one channel at a time (channel 0 first) so
// that long recordings need memory for one channel only. Fills timing's rate
// and heartbeats before the first channel. Stops early, returning false, when
// takeChannel returns false.
using DemoChannelSink = std::function<bool(int channel, const std::vector<float>& clean,
                                           const std::vector<float>& recorded)>;
bool generateDemoChannels(const DemoSettings& settings, DemoRecording& timing,
                          const DemoChannelSink& takeChannel);
