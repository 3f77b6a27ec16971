#include "hostprogram/detection/r_peak_detector.h"

#include <algorithm>
#include <cmath>

namespace {

// A heart cannot beat again within 250 ms (240/min): a second candidate in
// that time is the same complex or its late wave.
constexpr double kRefractorySeconds = 0.25;
// The starting reference amplitude needs at least one full 2 s window at
// 45/min with room for the filters' edges.
constexpr double kShortestSeconds = 3.0;

struct Candidate {
    int64_t position;
    float amplitude;
};

double medianOf(std::vector<double> values) {
    if (values.empty()) return 0.0;
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    return values[middle];
}

// Gradient residue is narrower than any part of the QRS complex: a running
// median as wide as twice a residue lobe removes it entirely (a pulse covering
// less than half the window cannot be the median) while it leaves the broader
// QRS complex, and the position of its extremum, in place.
void removeNarrowSpikes(const float* ecg, int64_t count, int64_t half, std::vector<float>& out) {
    out.resize(static_cast<std::size_t>(count));
    auto at = [&](int64_t j) { return ecg[std::clamp<int64_t>(j, 0, count - 1)]; };
    // The window is kept sorted as it slides: the leaving value's place is
    // taken by the arriving one, which then moves to its rank. A few
    // comparisons a sample, where sorting each window anew costs far more.
    const int64_t width = 2 * half + 1;
    std::vector<float> sorted(static_cast<std::size_t>(width));
    for (int64_t k = 0; k < width; ++k) sorted[static_cast<std::size_t>(k)] = at(k - half);
    std::sort(sorted.begin(), sorted.end());
    for (int64_t i = 0; i < count; ++i) {
        out[static_cast<std::size_t>(i)] = sorted[static_cast<std::size_t>(half)];
        const float leaving = at(i - half);
        const float arriving = at(i + half + 1);
        std::size_t k = static_cast<std::size_t>(
            std::lower_bound(sorted.begin(), sorted.end(), leaving) - sorted.begin());
        // Not found only for a value that does not compare (NaN): replace the
        // nearest, which keeps the window's size and the memory safe.
        k = std::min(k, sorted.size() - 1);
        sorted[k] = arriving;
        while (k > 0 && sorted[k - 1] > sorted[k]) {
            std::swap(sorted[k - 1], sorted[k]);
            --k;
        }
        while (k + 1 < sorted.size() && sorted[k + 1] < sorted[k]) {
            std::swap(sorted[k + 1], sorted[k]);
            ++k;
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
    int64_t slot = 0;  // i modulo width, kept without dividing
    for (int64_t i = 0; i < count; ++i) {
        ring[static_cast<std::size_t>(slot)] = x[static_cast<std::size_t>(i)];
        x[static_cast<std::size_t>(i)] = static_cast<float>(sum / static_cast<double>(width));
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

// How large the band-pass is between complexes, in blocks of 0.25 s: the
// median of its magnitude, which the few complexes in a block hardly move.
// Muscle bursts raise it, and with it the bar a candidate has to clear.
std::vector<float> noiseLevels(const std::vector<float>& band, int64_t block) {
    std::vector<float> levels;
    std::vector<float> magnitudes;
    for (std::size_t start = 0; start < band.size(); start += static_cast<std::size_t>(block)) {
        const std::size_t end = std::min(band.size(), start + static_cast<std::size_t>(block));
        magnitudes.assign(band.begin() + static_cast<std::ptrdiff_t>(start),
                          band.begin() + static_cast<std::ptrdiff_t>(end));
        for (float& m : magnitudes) m = std::fabs(m);
        const std::size_t middle = magnitudes.size() / 2;
        std::nth_element(magnitudes.begin(),
                         magnitudes.begin() + static_cast<std::ptrdiff_t>(middle),
                         magnitudes.end());
        levels.push_back(magnitudes[middle]);
    }
    return levels;
}

// Local maxima of polarity*band: every place a complex of that sign could be,
// unless it is within the noise around it. Gaussian noise peaks seldom pass
// six times the median magnitude (about four standard deviations), while a
// QRS complex stands far above it except in the worst muscle bursts.
std::vector<Candidate> findCandidates(const std::vector<float>& band, int polarity,
                                      const std::vector<float>& levels, int64_t block) {
    constexpr double kAboveNoise = 6.0;
    std::vector<Candidate> candidates;
    const int64_t count = static_cast<int64_t>(band.size());
    const int64_t blocks = static_cast<int64_t>(levels.size());
    for (int64_t i = 1; i + 1 < count; ++i) {
        const float value = polarity * band[static_cast<std::size_t>(i)];
        if (!(value > 0.0f && value > polarity * band[static_cast<std::size_t>(i - 1)] &&
              value >= polarity * band[static_cast<std::size_t>(i + 1)]))
            continue;
        // The mean over two blocks on each side, about a second: a beat or
        // more, so that one block full of complexes does not set the bar alone.
        const int64_t centre = i / block;
        double noise = 0.0;
        int64_t used = 0;
        for (int64_t b = std::max<int64_t>(0, centre - 2); b <= std::min(blocks - 1, centre + 2);
             ++b) {
            noise += levels[static_cast<std::size_t>(b)];
            ++used;
        }
        if (value > kAboveNoise * noise / static_cast<double>(used))
            candidates.push_back({i, value});
    }
    return candidates;
}

// The running reference: the median of the last beats' amplitudes follows
// breathing without being pulled by one ectopic or missed beat.
double recentAmplitude(const std::vector<Candidate>& beats) {
    std::vector<double> recent;
    for (std::size_t k = beats.size() > 8 ? beats.size() - 8 : 0; k < beats.size(); ++k)
        recent.push_back(beats[k].amplitude);
    return medianOf(recent);
}

double recentInterval(const std::vector<Candidate>& beats, double fallback) {
    if (beats.size() < 4) return fallback;
    std::vector<double> recent;
    for (std::size_t k = beats.size() > 9 ? beats.size() - 8 : 1; k < beats.size(); ++k)
        recent.push_back(static_cast<double>(beats[k].position - beats[k - 1].position));
    return medianOf(recent);
}

// The late (T and MHD) wave ends about 0.36 s after the R-peak, or half an
// interval at slow rates, whose late waves are later and broader.
int64_t lateWaveZone(const std::vector<Candidate>& beats, double samplingFrequency) {
    const double zone =
        std::max(0.36 * samplingFrequency, 0.5 * recentInterval(beats, samplingFrequency));
    return static_cast<int64_t>(zone);
}

// Beats among the candidates of one polarity: an adaptive threshold at 40 % of
// the recent beats' amplitude, a refractory period in which only the larger
// candidate survives, and a search with a lower threshold in every gap 1.5
// times longer than the recent intervals, where a weak beat was passed over.
std::vector<Candidate> acceptBeats(const std::vector<Candidate>& candidates, int64_t count,
                                   double samplingFrequency) {
    std::vector<Candidate> beats;
    if (candidates.empty()) return beats;
    const int64_t refractory = std::llround(kRefractorySeconds * samplingFrequency);
    // The starting reference: the median of the largest candidate in each 2 s
    // window of the first 16 s; at 45/min every 2 s holds at least one beat.
    const int64_t window = std::llround(2.0 * samplingFrequency);
    const int64_t windows = std::min<int64_t>(8, std::max<int64_t>(1, count / window));
    std::vector<double> largest(static_cast<std::size_t>(windows), 0.0);
    for (const Candidate& c : candidates) {
        const int64_t w = c.position / window;
        if (w >= windows) break;
        largest[static_cast<std::size_t>(w)] =
            std::max<double>(largest[static_cast<std::size_t>(w)], c.amplitude);
    }
    const double start = medianOf(largest);
    std::vector<Candidate> first;
    for (const Candidate& c : candidates) {
        const double reference = first.size() < 3 ? start : recentAmplitude(first);
        if (c.amplitude < 0.4 * reference) continue;
        if (!first.empty() && c.position - first.back().position < refractory) {
            if (c.amplitude > first.back().amplitude) first.back() = c;
            continue;
        }
        // Just after the refractory period the late wave, 2.5 times the R
        // wave in the raw signal, can still reach the threshold when noise
        // rides on it; a beat this early must be at least half as strong as the last
        // (a premature ectopic beat is, though broader).
        if (!first.empty() &&
            c.position - first.back().position < lateWaveZone(first, samplingFrequency) &&
            c.amplitude < 0.5 * first.back().amplitude)
            continue;
        first.push_back(c);
    }
    if (first.size() < 2) return first;
    std::vector<double> intervals;
    for (std::size_t k = 1; k < first.size(); ++k)
        intervals.push_back(static_cast<double>(first[k].position - first[k - 1].position));
    const double typicalInterval = medianOf(intervals);

    beats.push_back(first.front());
    for (std::size_t k = 1; k < first.size(); ++k) {
        const Candidate& next = first[k];
        while (true) {
            const double interval = recentInterval(beats, typicalInterval);
            if (next.position - beats.back().position <= 1.5 * interval) break;
            // A missed beat splits the gap into two plausible intervals; a
            // candidate close to either end is the late wave or noise in a
            // compensatory pause after an ectopic beat.
            const int64_t margin = std::max(refractory, static_cast<int64_t>(0.4 * interval));
            const int64_t from = beats.back().position + margin;
            const int64_t to = next.position - margin;
            auto at =
                std::lower_bound(candidates.begin(), candidates.end(), from,
                                 [](const Candidate& c, int64_t p) { return c.position < p; });
            const Candidate* best = nullptr;
            for (; at != candidates.end() && at->position <= to; ++at)
                if (!best || at->amplitude > best->amplitude) best = &*at;
            if (!best || best->amplitude < 0.3 * recentAmplitude(beats)) break;
            beats.push_back(*best);
        }
        beats.push_back(next);
    }
    return beats;
}

}  // namespace

bool detectRPeaks(const float* ecg, int64_t count, double samplingFrequency, RPeakDetection& out) {
    out = RPeakDetection{};
    if (!(samplingFrequency > 0.0) || count < kShortestSeconds * samplingFrequency) {
        out.reason = "the channel is shorter than 3 s";
        return false;
    }
    // Residue lobes last about a millisecond; at least one sample.
    const int64_t spikeHalf = std::max<int64_t>(1, std::llround(0.001 * samplingFrequency));
    std::vector<float> smooth;
    removeNarrowSpikes(ecg, count, spikeHalf, smooth);
    const auto [low, high] = std::minmax_element(smooth.begin(), smooth.end());
    if (!(*high > *low)) {
        out.reason = "the channel is flat";
        return false;
    }
    // A difference of two Gaussians (4 ms and 16 ms) as the band-pass: it
    // answers to the QRS complex (about 8 ms) several times more strongly than
    // to a late wave of 60 ms even when that wave is 2.5 times taller, it
    // removes the baseline, and being symmetric it delays nothing.
    std::vector<float> ring;
    std::vector<float> band = smooth;
    smoothInPlace(smooth, 0.004, samplingFrequency, ring);
    smoothInPlace(band, 0.016, samplingFrequency, ring);
    for (std::size_t i = 0; i < band.size(); ++i) band[i] = smooth[i] - band[i];

    // The polarity is the one whose beats stand out more: in the wrong one the
    // detector only finds the smaller side lobes of the complexes.
    const int64_t block = std::max<int64_t>(1, std::llround(0.25 * samplingFrequency));
    const std::vector<float> levels = noiseLevels(band, block);
    const double seconds = static_cast<double>(count) / samplingFrequency;
    std::vector<Candidate> beats;
    double bestLevel = 0.0;
    for (int polarity : {1, -1}) {
        std::vector<Candidate> found =
            acceptBeats(findCandidates(band, polarity, levels, block), count, samplingFrequency);
        std::vector<double> amplitudes;
        for (const Candidate& c : found) amplitudes.push_back(c.amplitude);
        // Fewer than one beat in 4 s (15/min) is no heart: noise and muscle
        // bursts on a detached electrode, which must not become a rhythm.
        const bool enough =
            static_cast<double>(found.size()) >= 0.25 * seconds && found.size() >= 2;
        const double level = enough ? medianOf(amplitudes) : 0.0;
        if (level > bestLevel) {
            bestLevel = level;
            beats = std::move(found);
            out.polarity = polarity;
        }
    }
    if (beats.empty()) {
        out.polarity = 0;
        out.reason = "no heartbeats were found";
        return false;
    }
    // The position is the extremum of the complex itself, within 40 ms of
    // where the band-pass answered, taken in the despiked and lightly smoothed
    // signal: the raw samples' extremum would follow noise and residue, and a
    // symmetric smoothing moves the extremum of a symmetric peak nowhere.
    const int64_t reach = std::llround(0.04 * samplingFrequency);
    for (const Candidate& beat : beats) {
        const int64_t first = std::max<int64_t>(0, beat.position - reach);
        const int64_t last = std::min<int64_t>(count - 1, beat.position + reach);
        int64_t best = first;
        for (int64_t i = first; i <= last; ++i)
            if (out.polarity * smooth[static_cast<std::size_t>(i)] >
                out.polarity * smooth[static_cast<std::size_t>(best)])
                best = i;
        if (out.peaks.empty() || best > out.peaks.back()) out.peaks.push_back(best);
    }
    return true;
}
