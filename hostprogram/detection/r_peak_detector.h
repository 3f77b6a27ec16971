#pragma once

// R-peaks of an ECG channel recorded inside an MRI scanner, for the
// correction of the ballistocardiogram, which follows every heartbeat.
//
// In-scanner ECG is not a clinical ECG: the magnetohydrodynamic effect adds a
// broad late wave often taller than the R wave, the lead may be inverted,
// breathing modulates amplitude and baseline, and gradient residue leaves
// narrow spikes at the slice rate. The detector therefore looks for what only
// the QRS complex has, steep and short slopes, and finds the polarity itself.

#include <cstdint>
#include <string>
#include <vector>

struct RPeakDetection {
    std::vector<int64_t> peaks;  // zero-based samples of the R-peaks, ascending
    int polarity = 0;            // +1: R points up, -1: down, 0: no beats
    std::string reason;          // why there are no beats; empty when there are
};

// Fills `out` and returns true when beats were found. Positions are the
// extremum of the QRS complex in the chosen polarity (not a filter's delayed
// response). Working memory: two float arrays of the channel's length.
bool detectRPeaks(const float* ecg, int64_t count, double samplingFrequency, RPeakDetection& out);
