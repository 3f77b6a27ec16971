#pragma once

// The filtered signals the R-peak detector works on, all centred so that
// nothing is delayed: gradient residue removed, then a lightly smoothed copy
// where R-peak positions are read, a band where QRS complexes stand out, and
// the level of the noise beside them in short blocks.

#include <cstdint>
#include <vector>

struct EcgBands {
    std::vector<float> fine;  // despiked, smoothed over 4 ms: the R-peak is its extremum
    std::vector<float> qrs;   // the QRS band: 4 ms less 16 ms of smoothing
    // Median magnitude of the noise band (4 ms less 8 ms), in blocks of
    // noiseBlock samples (50 ms): above nearly all of a late wave, so that
    // between complexes it is the noise's level.
    std::vector<float> noiseLevels;
    int64_t noiseBlock = 1;
    // White noise's standard deviation in the QRS band over its standard
    // deviation in the noise band, at this sampling rate.
    double noiseToQrsGain = 1.0;
};

// Working memory: the two arrays of the channel's length it returns.
EcgBands filterEcg(const float* ecg, int64_t count, double samplingFrequency);

// The median magnitude of `values` (less `subtract`, when given) in each
// block of `block` samples, the last block possibly shorter: a complex
// covering less than half a block hardly moves it.
std::vector<float> blockMedianMagnitudes(const std::vector<float>& values,
                                         const std::vector<float>* subtract, int64_t block);
