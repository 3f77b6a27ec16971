#pragma once

// How much of a known artifact a correction removed, measured against the
// clean signal: the residual (corrected - clean) power relative to the
// original artifact (recorded - clean) power, in dB. -20 dB means that a
// hundredth of the artifact's power remains; 0 dB that nothing was removed.

#include <vector>

struct ArtifactReduction {
    std::vector<double> channelDecibels;  // one per channel
    double medianDecibels = 0.0;
    double worstDecibels = 0.0;  // the highest: the channel with most left
    int worstChannel = 0;        // from 1
};

double residualDecibels(const std::vector<float>& clean, const std::vector<float>& recorded,
                        const std::vector<float>& corrected);

ArtifactReduction measureArtifactReduction(const std::vector<std::vector<float>>& clean,
                                           const std::vector<std::vector<float>>& recorded,
                                           const std::vector<std::vector<float>>& corrected);
