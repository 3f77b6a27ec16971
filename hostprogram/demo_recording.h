#pragma once

// A realistic example recording with a known clean signal: EEG with a 1/f
// background and an alpha rhythm, a heartbeat train with respiratory and
// slower rate variability, and on every channel a heartbeat-locked
// (ballistocardiogram-like) artifact whose amplitude, latency and shape
// change from beat to beat. Amplitudes are in microvolts.

#include <cstdint>
#include <vector>

#include "hostprogram/options.h"

struct DemoRecording {
    float samplingRate = 0.0f;
    std::vector<std::vector<float>> clean;     // per channel: the EEG without artifact
    std::vector<std::vector<float>> recorded;  // per channel: clean plus artifact
    std::vector<int32_t> rPeaks;               // zero-based sample of every heartbeat
};

DemoRecording generateDemoRecording(const DemoSettings& settings);
