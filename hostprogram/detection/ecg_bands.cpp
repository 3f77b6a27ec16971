#include "hostprogram/detection/ecg_bands.h"

#include <algorithm>
#include <cmath>

namespace {

// Gradient residue is narrower than any part of the QRS complex: a running
// median as wide as twice a residue lobe removes it entirely (a pulse covering
// less than half the window cannot be the median) while it leaves the broader
// QRS complex, and the position of its extremum, in place.
void removeNarrowSpikes(const float* ecg, int64_t count, int64_t half, std::vector<float>& out) {
    out.resize(static_cast<std::size_t>(count));
    auto at = [&](int64_t j) { return ecg[std::clamp<int64_t>(j, 0, count - 1)]; };
    // The window is kept sorted as it slides: the leaving value is taken out
    // at its rank and the arriving one put in at its own, moving only the
    // values between the two. Both ranks are counted in one pass rather than
    // searched for, which leaves the processor few branches to mispredict.
    const std::size_t width = static_cast<std::size_t>(2 * half + 1);
    std::vector<float> sorted(width);
    for (std::size_t k = 0; k < width; ++k) sorted[k] = at(static_cast<int64_t>(k) - half);
    std::sort(sorted.begin(), sorted.end());
    for (int64_t i = 0; i < count; ++i) {
        out[static_cast<std::size_t>(i)] = sorted[static_cast<std::size_t>(half)];
        const float leaving = at(i - half);
        const float arriving = at(i + half + 1);
        std::size_t leavingRank = 0;
        std::size_t arrivingRank = 0;
        for (std::size_t k = 0; k < width; ++k) {
            leavingRank += sorted[k] < leaving;
            arrivingRank += sorted[k] < arriving;
        }
        // A value that does not compare (NaN) counts as the lowest; held to
        // the window, every rank keeps its size and the memory safe.
        leavingRank = std::min(leavingRank, width - 1);
        if (arrivingRank <= leavingRank) {
            for (std::size_t k = leavingRank; k > arrivingRank; --k) sorted[k] = sorted[k - 1];
            sorted[arrivingRank] = arriving;
        } else {
            for (std::size_t k = leavingRank; k + 1 < arrivingRank; ++k) sorted[k] = sorted[k + 1];
            sorted[arrivingRank - 1] = arriving;
        }
    }
}

// Centred running mean over 2*half+1 samples, edges repeating the end
// values; centred so that nothing is delayed. In place: a ring keeps the
// original values that the running sum still has to subtract.
void centredMeanInPlace(std::vector<float>& x, int64_t half, std::vector<float>& ring) {
    const int64_t count = static_cast<int64_t>(x.size());
    const int64_t width = 2 * half + 1;
    ring.assign(static_cast<std::size_t>(width), 0.0f);
    double sum = 0.0;
    for (int64_t j = -half; j <= half; ++j) sum += x[std::clamp<int64_t>(j, 0, count - 1)];
    const float firstValue = x.front();
    const float lastValue = x.back();
    const double scale = 1.0 / static_cast<double>(width);
    int64_t slot = 0;  // i modulo width, kept without dividing
    for (int64_t i = 0; i < count; ++i) {
        ring[static_cast<std::size_t>(slot)] = x[static_cast<std::size_t>(i)];
        x[static_cast<std::size_t>(i)] = static_cast<float>(sum * scale);
        const int64_t arriving = i + half + 1;
        sum += arriving < count ? x[static_cast<std::size_t>(arriving)] : lastValue;
        // Sample i - half was stored half samples ago, in the slot after the
        // next half + 1 ones (modulo width).
        int64_t leavingSlot = slot + half + 1;
        if (leavingSlot >= width) leavingSlot -= width;
        sum -= i - half >= 0 ? ring[static_cast<std::size_t>(leavingSlot)] : firstValue;
        if (++slot == width) slot = 0;
    }
}

// Three running means are close to a Gaussian of standard deviation
// sqrt(half*(half+1)) samples, at a cost independent of the width.
void smoothInPlace(std::vector<float>& x, double sigmaSeconds, double samplingFrequency,
                   std::vector<float>& ring) {
    const int64_t half = std::max<int64_t>(1, std::llround(sigmaSeconds * samplingFrequency - 0.5));
    for (int pass = 0; pass < 3; ++pass) centredMeanInPlace(x, half, ring);
}

// The two bands are differences of Gaussian smoothings of the despiked
// signal, all centred so that nothing is delayed. The QRS band (4 ms less
// 16 ms) answers to the QRS complex (about 8 ms) several times more strongly
// than to a late wave of 60 ms even when that wave is 2.5 times taller, and
// removes the baseline. The noise band (4 ms less 8 ms) lies above nearly
// all of a late wave, so that its level between complexes is the noise's.
// The wider smoothings are reached in steps from the narrower ones (Gaussian
// widths add in square), which keeps one array for all three.
constexpr double kFineSigma = 0.004;
constexpr double kMiddleSigma = 0.008;
constexpr double kWideSigma = 0.016;

void smoothFineToMiddle(std::vector<float>& x, double samplingFrequency, std::vector<float>& ring) {
    smoothInPlace(x, std::sqrt(kMiddleSigma * kMiddleSigma - kFineSigma * kFineSigma),
                  samplingFrequency, ring);
}

void smoothMiddleToWide(std::vector<float>& x, double samplingFrequency, std::vector<float>& ring) {
    smoothInPlace(x, std::sqrt(kWideSigma * kWideSigma - kMiddleSigma * kMiddleSigma),
                  samplingFrequency, ring);
}

// How much larger white noise is in the QRS band than in the noise band: the
// ratio of the root sums of squares of their impulse responses, taken through
// the very same filters, so that the widths' rounding to whole samples (which
// matters at low rates) is included.
double noiseToQrsBandGain(double samplingFrequency) {
    const int64_t reach = 3 * std::llround(2.0 * kWideSigma * samplingFrequency + 3.0);
    std::vector<float> ring;
    std::vector<float> fine(static_cast<std::size_t>(2 * reach + 1), 0.0f);
    fine[static_cast<std::size_t>(reach)] = 1.0f;
    smoothInPlace(fine, kFineSigma, samplingFrequency, ring);
    std::vector<float> coarse = fine;
    smoothFineToMiddle(coarse, samplingFrequency, ring);
    double noiseBand = 0.0;
    for (std::size_t i = 0; i < fine.size(); ++i) noiseBand += std::pow(fine[i] - coarse[i], 2);
    smoothMiddleToWide(coarse, samplingFrequency, ring);
    double qrsBand = 0.0;
    for (std::size_t i = 0; i < fine.size(); ++i) qrsBand += std::pow(fine[i] - coarse[i], 2);
    return std::sqrt(qrsBand / noiseBand);
}

}  // namespace

std::vector<float> blockMedianMagnitudes(const std::vector<float>& values,
                                         const std::vector<float>* subtract, int64_t block) {
    std::vector<float> levels;
    std::vector<float> magnitudes;
    for (std::size_t start = 0; start < values.size(); start += static_cast<std::size_t>(block)) {
        const std::size_t end = std::min(values.size(), start + static_cast<std::size_t>(block));
        magnitudes.clear();
        for (std::size_t i = start; i < end; ++i)
            magnitudes.push_back(std::fabs(subtract ? values[i] - (*subtract)[i] : values[i]));
        const std::size_t middle = magnitudes.size() / 2;
        std::nth_element(magnitudes.begin(),
                         magnitudes.begin() + static_cast<std::ptrdiff_t>(middle),
                         magnitudes.end());
        levels.push_back(magnitudes[middle]);
    }
    return levels;
}

EcgBands filterEcg(const float* ecg, int64_t count, double samplingFrequency) {
    EcgBands bands;
    // Residue lobes last about a millisecond; at least one sample.
    const int64_t spikeHalf = std::max<int64_t>(1, std::llround(0.001 * samplingFrequency));
    removeNarrowSpikes(ecg, count, spikeHalf, bands.fine);
    std::vector<float> ring;
    smoothInPlace(bands.fine, kFineSigma, samplingFrequency, ring);
    bands.qrs = bands.fine;
    smoothFineToMiddle(bands.qrs, samplingFrequency, ring);
    bands.noiseBlock = std::max<int64_t>(1, std::llround(0.05 * samplingFrequency));
    bands.noiseLevels = blockMedianMagnitudes(bands.fine, &bands.qrs, bands.noiseBlock);
    smoothMiddleToWide(bands.qrs, samplingFrequency, ring);
    for (std::size_t i = 0; i < bands.qrs.size(); ++i) bands.qrs[i] = bands.fine[i] - bands.qrs[i];
    bands.noiseToQrsGain = noiseToQrsBandGain(samplingFrequency);
    return bands;
}
