#include "hostprogram/detection/r_peak_detector.h"

#include <algorithm>
#include <cmath>

#include "hostprogram/detection/ecg_bands.h"

namespace {

// How far a candidate must stand above the noise beside it, in standard
// deviations of that noise, to be taken at first sight (see clearanceOf). A
// QRS complex stands far above it outside muscle bursts, and usually above
// five and a half within one; a burst's noise peaks seldom reach that even
// on a late wave. Where the rhythm expects no beat, a candidate must stand
// higher: a late wave with a burst on it passes for a beat most often just
// after the beat the burst hid.
constexpr double kClearOfNoise = 5.5;
constexpr double kClearOffRhythm = 8.0;
// Off the rhythm: further than a fifth of the recent interval from every
// whole number of intervals after the last beat (breathing and the rate's
// own variability move beats by less).
constexpr double kRhythmTolerance = 0.2;

// A heart cannot beat again within 250 ms (240/min): a second candidate in
// that time is the same complex or its late wave.
constexpr double kRefractorySeconds = 0.25;
// The starting reference amplitude needs at least one full 2 s window at
// 45/min with room for the filters' edges.
constexpr double kShortestSeconds = 3.0;

struct Candidate {
    int64_t position;
    float amplitude;
    // The amplitude over the standard deviation of the noise beside it. Only
    // candidates clear of the noise are taken at first sight, the others
    // only where a beat is missing from the rhythm.
    float clearance;
};

double medianOf(std::vector<double> values) {
    if (values.empty()) return 0.0;
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    return values[middle];
}

// Where a candidate stands against the noise beside it. Muscle bursts last
// about half a second, so the measure must follow them within a tenth of
// that: the median level of three 50 ms blocks on each side, beyond the block
// next to the candidate that its own complex may reach, and of the two sides
// the larger, so that a candidate at the edge of a burst is judged by the
// burst. The levels come from the noise band, where late waves, which are
// not noise, hardly show; the bands' gain turns such a median into the
// standard deviation the same noise has in the QRS band.
float clearanceOf(float amplitude, int64_t position, const EcgBands& bands) {
    constexpr double kMedianOverDeviation = 0.6745;  // of Gaussian noise's magnitude
    const int64_t blocks = static_cast<int64_t>(bands.noiseLevels.size());
    const int64_t centre = position / bands.noiseBlock;
    double median = 0.0;
    for (int side : {-1, 1}) {
        float three[3] = {0.0f, 0.0f, 0.0f};
        int used = 0;
        for (int64_t k = 2; k <= 4; ++k) {
            const int64_t b = centre + side * k;
            if (b >= 0 && b < blocks)
                three[used++] = bands.noiseLevels[static_cast<std::size_t>(b)];
        }
        if (used == 0) continue;
        // The middle of up to three values without a sort.
        const float middle = used == 1 ? three[0]
                             : used == 2
                                 ? std::max(three[0], three[1])
                                 : std::max(std::min(three[0], three[1]),
                                            std::min(std::max(three[0], three[1]), three[2]));
        median = std::max<double>(median, middle);
    }
    const double deviation = bands.noiseToQrsGain * median / kMedianOverDeviation;
    return deviation > 0.0 ? static_cast<float>(amplitude / deviation) : 1e30f;
}

// Local maxima of polarity*band: every place a complex of that sign could be.
// The floor, three times the median magnitude around (about two standard
// deviations of Gaussian noise), only keeps their number down; it must let
// through a weak beat in a burst, which the search for missed beats needs.
std::vector<Candidate> findCandidates(const EcgBands& bands, int polarity,
                                      const std::vector<float>& levels, int64_t block,
                                      int64_t edge) {
    constexpr double kAboveNoise = 3.0;
    std::vector<Candidate> candidates;
    const std::vector<float>& band = bands.qrs;
    const int64_t count = static_cast<int64_t>(band.size());
    const int64_t blocks = static_cast<int64_t>(levels.size());
    for (int64_t i = std::max<int64_t>(1, edge); i + std::max<int64_t>(1, edge) < count; ++i) {
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
        if (value > kAboveNoise * noise / static_cast<double>(used)) {
            const float clearance = clearanceOf(value, i, bands);
            candidates.push_back({i, value, clearance});
        }
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

constexpr int64_t kNoNeighbour = -1;
// A candidate's weight falls by this much per interval it lies away from
// where the rhythm expects the beat: a third of an interval off (a premature
// beat) halves it, which noise in a burst seldom makes up for.
constexpr double kOffBeatWeight = 1.5;

// The beat missed between two beats (or beside one, at an edge of the
// recording, with kNoNeighbour for the other side), as the candidate most
// likely to be it. A missed beat splits the gap into plausible intervals: a
// candidate close to either beat is its late wave or noise in a compensatory
// pause after an ectopic beat, and of the others the one that stands out
// most, taken the nearer to where the rhythm expects a beat, so that noise
// in a burst does not win over a weaker beat at its time. Null when none is
// strong enough for a beat.
const Candidate* findMissedBeat(const std::vector<Candidate>& candidates, int64_t before,
                                int64_t after, double interval, double reference,
                                int64_t refractory) {
    const int64_t margin = std::max(refractory, static_cast<int64_t>(0.4 * interval));
    const int64_t reach = static_cast<int64_t>(1.5 * interval);
    const int64_t from = before != kNoNeighbour ? before + margin : after - reach;
    const int64_t to = after != kNoNeighbour ? after - margin : before + reach;
    auto at = std::lower_bound(candidates.begin(), candidates.end(), from,
                               [](const Candidate& c, int64_t p) { return c.position < p; });
    const Candidate* best = nullptr;
    double bestScore = 0.0;
    for (; at != candidates.end() && at->position <= to; ++at) {
        double offBeat = 1.0;  // in intervals from the nearer expected position
        if (before != kNoNeighbour)
            offBeat = std::fabs(static_cast<double>(at->position - before) - interval) / interval;
        if (after != kNoNeighbour)
            offBeat =
                std::min(offBeat, std::fabs(static_cast<double>(after - at->position) - interval) /
                                      interval);
        const double score = at->amplitude * std::max(0.0, 1.0 - kOffBeatWeight * offBeat);
        if (!best || score > bestScore) {
            best = &*at;
            bestScore = score;
        }
    }
    return best && best->amplitude >= 0.3 * reference ? best : nullptr;
}

// Beats among the candidates of one polarity: at first sight those clear of
// the noise (clearer still off the rhythm) above an adaptive threshold at
// 40 % of the recent beats' amplitude, with a refractory period in which only
// the larger candidate survives; then a search with a lower threshold, among
// all candidates, in every gap 1.5 times longer than the recent intervals and
// beyond both ends, where a weak beat or one in a burst was passed over.
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
        if (c.clearance < kClearOfNoise) continue;
        largest[static_cast<std::size_t>(w)] =
            std::max<double>(largest[static_cast<std::size_t>(w)], c.amplitude);
    }
    const double start = medianOf(largest);
    std::vector<Candidate> first;
    for (const Candidate& c : candidates) {
        if (c.clearance < kClearOfNoise) continue;
        const double reference = first.size() < 3 ? start : recentAmplitude(first);
        if (c.amplitude < 0.4 * reference) continue;
        if (!first.empty() && c.position - first.back().position < refractory) {
            if (c.amplitude > first.back().amplitude) first.back() = c;
            continue;
        }
        // Just after the refractory period the late wave, 2.5 times the R
        // wave in the raw signal, can still reach the threshold when noise
        // rides on it; a beat this early must be at least half as strong as
        // the last (a premature ectopic beat is, though broader).
        if (!first.empty() &&
            c.position - first.back().position < lateWaveZone(first, samplingFrequency) &&
            c.amplitude < 0.5 * first.back().amplitude)
            continue;
        if (first.size() >= 4 && c.clearance < kClearOffRhythm) {
            const double intervals = static_cast<double>(c.position - first.back().position) /
                                     recentInterval(first, 0.0);
            if (std::fabs(intervals - std::max(1.0, std::round(intervals))) > kRhythmTolerance)
                continue;
        }
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
        while (next.position - beats.back().position >
               1.5 * recentInterval(beats, typicalInterval)) {
            const Candidate* missed = findMissedBeat(
                candidates, beats.back().position, next.position,
                recentInterval(beats, typicalInterval), recentAmplitude(beats), refractory);
            if (!missed) break;
            beats.push_back(*missed);
        }
        beats.push_back(next);
    }
    // Beats missed before the first and after the last one: the edge of the
    // recording stands for the neighbour that is not there.
    while (true) {
        const double interval = recentInterval(beats, typicalInterval);
        const Candidate* missed = findMissedBeat(candidates, beats.back().position, kNoNeighbour,
                                                 interval, recentAmplitude(beats), refractory);
        if (!missed) break;
        beats.push_back(*missed);
    }
    while (true) {
        const double interval = recentInterval(beats, typicalInterval);
        const Candidate* missed = findMissedBeat(candidates, kNoNeighbour, beats.front().position,
                                                 interval, recentAmplitude(beats), refractory);
        if (!missed) break;
        beats.insert(beats.begin(), *missed);
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
    const EcgBands bands = filterEcg(ecg, count, samplingFrequency);
    const auto [low, high] = std::minmax_element(bands.fine.begin(), bands.fine.end());
    if (!(*high > *low)) {
        out.reason = "the channel is flat";
        return false;
    }
    const int64_t block = std::max<int64_t>(1, std::llround(0.25 * samplingFrequency));
    const std::vector<float> levels = blockMedianMagnitudes(bands.qrs, nullptr, block);
    // Within 40 ms of either end the filters see only part of a complex, and
    // a residue spike on the first or last samples is not removed (the
    // running median holds the end values): no candidates there.
    const int64_t edge = std::llround(0.04 * samplingFrequency);
    // The polarity is the one whose beats stand out more: in the wrong one the
    // detector only finds the smaller side lobes of the complexes.
    const double seconds = static_cast<double>(count) / samplingFrequency;
    std::vector<Candidate> beats;
    double bestLevel = 0.0;
    for (int polarity : {1, -1}) {
        std::vector<Candidate> found = acceptBeats(
            findCandidates(bands, polarity, levels, block, edge), count, samplingFrequency);
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
            if (out.polarity * bands.fine[static_cast<std::size_t>(i)] >
                out.polarity * bands.fine[static_cast<std::size_t>(best)])
                best = i;
        if (out.peaks.empty() || best > out.peaks.back()) out.peaks.push_back(best);
    }
    return true;
}
