#pragma once

// A synthetic ECG as it is recorded inside an MRI scanner, with the true
// R-peak of every beat, so that the detector can be scored against a known
// answer. The hard features of in-scanner ECG are each a parameter: a broad
// late wave (the magnetohydrodynamic effect) taller than the R wave, an
// inverted lead, breathing that modulates amplitude and baseline, narrow
// large spikes repeating at the slice rate, premature ectopic beats of
// another shape, noise with bursts of muscle activity, and electrode drift.

#include <cstdint>
#include <vector>

struct ScannerEcgParameters {
    uint64_t seed = 1;
    double samplingFrequency = 1000.0;  // Hz
    double durationSeconds = 60.0;
    double heartRate = 70.0;           // beats per minute, the mean
    double rateVariability = 0.05;     // relative standard deviation of the interval
    double breathingRate = 0.25;       // Hz
    double breathingModulation = 0.2;  // relative amplitude change with breathing
    double tOverR = 1.0;               // height of the late (T and MHD) wave relative to R
    bool invertedLead = false;
    double ectopicFraction = 0.0;  // share of beats that are premature ectopics
    double sliceRate = 0.0;        // Hz; 0 = no gradient residue
    double spikeOverR = 3.0;       // spike height relative to R
    double noiseOverR = 0.03;      // white noise standard deviation relative to R
    double muscleBurstsPerMinute = 0.0;
    double driftOverR = 0.5;  // baseline wander amplitude relative to R
};

struct ScannerEcg {
    std::vector<float> samples;   // microvolts, R about 1000 before modulation
    std::vector<int64_t> rPeaks;  // zero-based sample of every true R-peak
};

ScannerEcg generateScannerEcg(const ScannerEcgParameters& parameters);

// The same channel with normal beats at the given times (seconds, ascending)
// instead of drawn ones: the ECG of a recording whose heartbeats are known.
ScannerEcg generateScannerEcgAt(const ScannerEcgParameters& parameters,
                                const std::vector<double>& beatSeconds);
