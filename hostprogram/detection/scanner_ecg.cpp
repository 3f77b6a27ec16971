#include "hostprogram/detection/scanner_ecg.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRAmplitude = 1000.0;  // microvolts: a typical in-scanner R wave

double gaussian(double t, double centre, double width) {
    const double z = (t - centre) / width;
    return std::exp(-0.5 * z * z);
}

// One beat's waveform at time t (seconds from its R-peak). Q and S are placed
// symmetrically and the late wave is far away, so that the waveform's
// extremum is exactly at t = 0 and the truth is not blurred by the shape.
double normalBeat(double t, double tOverR) {
    return 0.12 * gaussian(t, -0.16, 0.025)     // P
           - 0.15 * gaussian(t, -0.022, 0.008)  // Q
           + gaussian(t, 0.0, 0.008)            // R
           - 0.15 * gaussian(t, 0.022, 0.008)   // S
           + tOverR * gaussian(t, 0.26, 0.06);  // T with the MHD wave on it
}

// Ectopic beats come from the ventricle: no P, a wider and taller complex,
// and a late wave of the opposite sign.
double ectopicBeat(double t, double tOverR) {
    return 1.3 * gaussian(t, 0.0, 0.016) - 0.6 * tOverR * gaussian(t, 0.28, 0.07);
}

struct Beat {
    double time;
    bool ectopic;
};

// Beat times first, so that every beat is drawn whole even near the ends.
std::vector<Beat> drawBeatTimes(const ScannerEcgParameters& p, std::mt19937_64& random) {
    std::normal_distribution<double> normal(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<Beat> beats;
    const double meanInterval = 60.0 / p.heartRate;
    double time = 0.3 + 0.5 * meanInterval * uniform(random);
    while (time < p.durationSeconds - 0.05) {
        const bool ectopic = uniform(random) < p.ectopicFraction;
        if (ectopic && !beats.empty()) {
            // Premature: early by a third, then the compensatory pause.
            const double previous = beats.back().time;
            const double early = previous + 0.65 * meanInterval;
            if (early < p.durationSeconds - 0.05) beats.push_back({early, true});
            time = early + 1.35 * meanInterval;
            continue;
        }
        beats.push_back({time, false});
        // Breathing also shortens and lengthens the interval a little.
        const double interval =
            meanInterval * (1.0 + p.rateVariability * normal(random) +
                            0.03 * std::sin(2.0 * kPi * p.breathingRate * time));
        time += std::max(interval, 0.6 * meanInterval);
    }
    return beats;
}

// The beats, the slice-rate spikes, the noise and the drift on one channel.
ScannerEcg drawScannerEcg(const ScannerEcgParameters& p, std::vector<Beat> beats,
                          std::mt19937_64& random) {
    ScannerEcg result;
    const int64_t count =
        static_cast<int64_t>(std::llround(p.durationSeconds * p.samplingFrequency));
    if (count <= 0) return result;
    result.samples.assign(static_cast<std::size_t>(count), 0.0f);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const double fs = p.samplingFrequency;
    // Each beat sits on a sample, so that the truth is the waveform's exact
    // extremum and a perfect detector scores zero error even at 250 Hz.
    for (Beat& beat : beats) beat.time = std::round(beat.time * fs) / fs;
    const double sign = p.invertedLead ? -1.0 : 1.0;
    for (const Beat& beat : beats) {
        const double gain =
            1.0 + p.breathingModulation * std::sin(2.0 * kPi * p.breathingRate * beat.time);
        const int64_t first = std::max<int64_t>(0, static_cast<int64_t>((beat.time - 0.35) * fs));
        const int64_t last =
            std::min<int64_t>(count - 1, static_cast<int64_t>((beat.time + 0.65) * fs));
        for (int64_t i = first; i <= last; ++i) {
            const double t = static_cast<double>(i) / fs - beat.time;
            const double value = beat.ectopic ? ectopicBeat(t, p.tOverR) : normalBeat(t, p.tOverR);
            result.samples[static_cast<std::size_t>(i)] +=
                static_cast<float>(sign * gain * kRAmplitude * value);
        }
        const int64_t peak = std::llround(beat.time * fs);
        if (peak >= 0 && peak < count) result.rPeaks.push_back(peak);
    }

    // Gradient residue: a biphasic pulse (the derivative of a gradient ramp)
    // of about 2 ms, at least one sample per lobe, at the slice rate.
    if (p.sliceRate > 0.0) {
        const int64_t lobe = std::max<int64_t>(1, std::llround(0.001 * fs));
        const double phase = uniform(random) / p.sliceRate;
        for (int64_t k = 0;; ++k) {
            const int64_t start = std::llround((phase + k / p.sliceRate) * fs);
            if (start + 2 * lobe >= count) break;
            const double height = p.spikeOverR * kRAmplitude * (0.8 + 0.4 * uniform(random));
            for (int64_t i = 0; i < lobe; ++i) {
                result.samples[static_cast<std::size_t>(start + i)] += static_cast<float>(height);
                result.samples[static_cast<std::size_t>(start + lobe + i)] -=
                    static_cast<float>(height);
            }
        }
    }

    // Muscle bursts: half a second of noise five times the usual level.
    std::vector<std::pair<double, double>> bursts;
    const double burstCount = p.muscleBurstsPerMinute * p.durationSeconds / 60.0;
    for (int k = 0; k < static_cast<int>(burstCount); ++k) {
        const double start = uniform(random) * p.durationSeconds;
        bursts.push_back({start, start + 0.5});
    }
    const double driftPhase = 2.0 * kPi * uniform(random);
    for (int64_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / fs;
        // Bursts that overlap make one longer burst, not a louder one.
        const bool inBurst = std::any_of(bursts.begin(), bursts.end(), [t](const auto& burst) {
            return t >= burst.first && t < burst.second;
        });
        const double noise = inBurst ? 5.0 * p.noiseOverR : p.noiseOverR;
        const double drift = p.driftOverR * (0.7 * std::sin(2.0 * kPi * p.breathingRate * t) +
                                             0.3 * std::sin(2.0 * kPi * 0.03 * t + driftPhase));
        result.samples[static_cast<std::size_t>(i)] +=
            static_cast<float>(kRAmplitude * (noise * normal(random) + drift));
    }
    return result;
}

}  // namespace

ScannerEcg generateScannerEcg(const ScannerEcgParameters& parameters) {
    std::mt19937_64 random(parameters.seed);
    std::vector<Beat> beats = drawBeatTimes(parameters, random);
    return drawScannerEcg(parameters, std::move(beats), random);
}

ScannerEcg generateScannerEcgAt(const ScannerEcgParameters& parameters,
                                const std::vector<double>& beatSeconds) {
    std::mt19937_64 random(parameters.seed);
    std::vector<Beat> beats;
    for (double seconds : beatSeconds) beats.push_back({seconds, false});
    return drawScannerEcg(parameters, std::move(beats), random);
}
