#include "hostprogram/demo/artifact_metrics.h"

#include <algorithm>
#include <cmath>
#include <limits>

double residualDecibels(const std::vector<float>& clean, const std::vector<float>& recorded,
                        const std::vector<float>& corrected) {
    double artifactPower = 0.0, residualPower = 0.0;
    const std::size_t count = std::min({clean.size(), recorded.size(), corrected.size()});
    for (std::size_t s = 0; s < count; ++s) {
        const double artifact = static_cast<double>(recorded[s]) - clean[s];
        const double residual = static_cast<double>(corrected[s]) - clean[s];
        artifactPower += artifact * artifact;
        residualPower += residual * residual;
    }
    if (artifactPower <= 0.0)
        return residualPower > 0.0 ? std::numeric_limits<double>::infinity() : 0.0;
    if (residualPower <= 0.0) return -std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(residualPower / artifactPower);
}

ArtifactReduction measureArtifactReduction(const std::vector<std::vector<float>>& clean,
                                           const std::vector<std::vector<float>>& recorded,
                                           const std::vector<std::vector<float>>& corrected) {
    ArtifactReduction reduction;
    const std::size_t channels = std::min({clean.size(), recorded.size(), corrected.size()});
    for (std::size_t c = 0; c < channels; ++c)
        reduction.channelDecibels.push_back(residualDecibels(clean[c], recorded[c], corrected[c]));
    if (channels == 0) return reduction;
    std::vector<double> sorted = reduction.channelDecibels;
    std::sort(sorted.begin(), sorted.end());
    reduction.medianDecibels =
        sorted.size() % 2 ? sorted[sorted.size() / 2]
                          : 0.5 * (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]);
    auto worst =
        std::max_element(reduction.channelDecibels.begin(), reduction.channelDecibels.end());
    reduction.worstDecibels = *worst;
    reduction.worstChannel = static_cast<int>(worst - reduction.channelDecibels.begin()) + 1;
    return reduction;
}
