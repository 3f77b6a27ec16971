#include "hostprogram/demo/demo_recording.h"

#include <cmath>
#include <random>
#include <utility>

#include "hostprogram/detection/scanner_ecg.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// 1/f ("pink") background as a sum of first-order low-pass processes whose
// corner frequencies are spaced evenly in log frequency. Each contributes the
// same variance, so each octave carries about equal power: a 1/f spectrum
// between the lowest and highest corner.
std::vector<double> pinkNoise(std::size_t count, double rate, std::mt19937& random) {
    const double corners[] = {1.0, 2.5, 6.0, 15.0, 40.0};
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> signal(count, 0.0);
    for (double corner : corners) {
        const double pole = std::exp(-2.0 * kPi * corner / rate);
        // Innovation scaled so that the stationary variance is 1.
        const double innovation = std::sqrt(1.0 - pole * pole);
        double state = normal(random);
        for (std::size_t s = 0; s < count; ++s) {
            state = pole * state + innovation * normal(random);
            signal[s] += state;
        }
    }
    return signal;
}

// Beat times in seconds: a mean interval of about 0.9 s, modulated by
// breathing (0.25 Hz) and by slower blood-pressure waves (0.1 Hz), with
// beat-to-beat jitter.
std::vector<double> heartbeatTimes(double duration, std::mt19937& random) {
    std::normal_distribution<double> jitter(0.0, 0.015);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * kPi);
    const double breathingPhase = phase(random), slowPhase = phase(random);
    std::vector<double> times;
    double time = 0.55;
    while (time < duration - 0.9) {
        times.push_back(time);
        const double interval = 0.9 + 0.045 * std::sin(2.0 * kPi * 0.25 * time + breathingPhase) +
                                0.03 * std::sin(2.0 * kPi * 0.1 * time + slowPhase) +
                                jitter(random);
        time += std::max(0.5, interval);
    }
    return times;
}

// The artifact of one channel: three lobes after the R-peak with channel
// weights and a channel latency.
struct ChannelArtifact {
    double weights[3];
    double latency;  // s
};

// An ECG as recorded in the scanner: a late wave taller than the R wave,
// breathing and drift, its own noise.
ScannerEcgParameters demoEcgParameters(const DemoSettings& settings) {
    ScannerEcgParameters parameters;
    parameters.seed = settings.seed;
    parameters.samplingFrequency = settings.samplingRate;
    parameters.durationSeconds = static_cast<double>(static_cast<std::size_t>(
                                     settings.durationSeconds * settings.samplingRate)) /
                                 settings.samplingRate;
    parameters.tOverR = 1.6;
    return parameters;
}

constexpr double kLobeCentres[3] = {0.21, 0.33, 0.47};  // s after the R-peak
constexpr double kLobeWidths[3] = {0.030, 0.050, 0.080};

}  // namespace

bool generateDemoChannels(const DemoSettings& settings, DemoRecording& demo,
                          const DemoChannelSink& takeChannel) {
    std::mt19937 random(settings.seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const double rate = settings.samplingRate;
    const std::size_t count = static_cast<std::size_t>(settings.durationSeconds * rate);
    const int channels = settings.channelCount;

    demo = DemoRecording();
    demo.samplingRate = static_cast<float>(rate);

    // Alpha: one 10 Hz generator with a slowly drifting frequency and a
    // waxing and waning envelope, seen by every channel with its own gain
    // (strongest at the back of the head).
    std::vector<double> alpha(count);
    {
        std::vector<double> envelope = pinkNoise(count, rate, random);
        double phase = 0.0;
        for (std::size_t s = 0; s < count; ++s) {
            const double t = static_cast<double>(s) / rate;
            const double frequency = 10.0 + 0.4 * std::sin(2.0 * kPi * 0.05 * t);
            phase += 2.0 * kPi * frequency / rate;
            const double strength = 0.6 + 0.4 * std::tanh(envelope[s] / 2.0);
            alpha[s] = strength * std::sin(phase);
        }
    }

    const std::vector<double> beats = heartbeatTimes(settings.durationSeconds, random);
    for (double beat : beats) demo.rPeaks.push_back(static_cast<int32_t>(std::lround(beat * rate)));

    // Per beat: amplitude (breathing and random), latency and lobe weights
    // vary; the variation is shared by all channels, as one heart moves the
    // head and the leads together.
    struct BeatVariation {
        double amplitude, latency, lobe[3];
    };
    std::vector<BeatVariation> variations;
    for (double beat : beats) {
        BeatVariation variation;
        variation.amplitude =
            1.0 + 0.15 * std::sin(2.0 * kPi * 0.25 * beat) + 0.08 * normal(random);
        variation.latency = 0.006 * normal(random);
        for (double& lobe : variation.lobe) lobe = 1.0 + 0.12 * normal(random);
        variations.push_back(variation);
    }

    std::vector<float> clean, recorded;
    for (int c = 0; c < channels; ++c) {
        std::vector<double> background = pinkNoise(count, rate, random);
        const double alphaGain = 4.0 + 8.0 * static_cast<double>(c) / std::max(1, channels - 1);
        ChannelArtifact artifact;
        // Alternating lobes whose areas cancel: a ballistocardiogram swings
        // about the baseline rather than shifting it.
        artifact.weights[0] =
            (uniform(random) < 0.5 ? -1.0 : 1.0) * (40.0 + 60.0 * uniform(random));
        artifact.weights[1] =
            (artifact.weights[0] < 0 ? 1.0 : -1.0) * (40.0 + 60.0 * uniform(random));
        artifact.weights[2] =
            -(artifact.weights[0] * kLobeWidths[0] + artifact.weights[1] * kLobeWidths[1]) /
            kLobeWidths[2];
        artifact.latency = 0.04 * uniform(random);

        clean.resize(count);
        for (std::size_t s = 0; s < count; ++s)
            clean[s] = static_cast<float>(6.0 * background[s] + alphaGain * alpha[s]);
        std::vector<double> artifactSignal(count, 0.0);
        for (std::size_t b = 0; b < beats.size(); ++b) {
            const BeatVariation& variation = variations[b];
            const double onset = beats[b] + artifact.latency + variation.latency;
            const std::size_t first =
                static_cast<std::size_t>(std::max(0.0, (beats[b] - 0.1) * rate));
            const std::size_t last =
                std::min(count, static_cast<std::size_t>((beats[b] + 0.9) * rate));
            for (std::size_t s = first; s < last; ++s) {
                const double tau = static_cast<double>(s) / rate - onset;
                double value = 0.0;
                for (int lobe = 0; lobe < 3; ++lobe) {
                    const double z = (tau - kLobeCentres[lobe]) / kLobeWidths[lobe];
                    value += artifact.weights[lobe] * variation.lobe[lobe] * std::exp(-0.5 * z * z);
                }
                artifactSignal[s] += variation.amplitude * value;
            }
        }
        recorded.resize(count);
        for (std::size_t s = 0; s < count; ++s)
            recorded[s] = static_cast<float>(clean[s] + artifactSignal[s]);
        if (!takeChannel(c, clean, recorded)) return false;
    }
    if (!settings.ecgChannel) return true;
    demo.ecgChannel = channels;
    const ScannerEcg ecg = generateScannerEcgAt(demoEcgParameters(settings), beats);
    return takeChannel(channels, ecg.samples, ecg.samples);
}

DemoRecording generateDemoRecording(const DemoSettings& settings) {
    DemoRecording demo;
    std::vector<std::vector<float>> clean, recorded;
    generateDemoChannels(settings, demo,
                         [&](int, const std::vector<float>& channelClean,
                             const std::vector<float>& channelRecorded) {
                             clean.push_back(channelClean);
                             recorded.push_back(channelRecorded);
                             return true;
                         });
    demo.clean = std::move(clean);
    demo.recorded = std::move(recorded);
    return demo;
}
