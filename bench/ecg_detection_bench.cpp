// The R-peak detector's benchmark tool, driven by bench/detection_benchmark.py:
// it writes generated in-scanner ECG with its true beats, times the detector
// on a channel read from such a file, and scores any list of beats against
// the truth with the same matching the tests use, so that our detections and
// a peer's are judged alike.
//
//   ecg_detection_bench generate DIRECTORY NAME [KEY=VALUE ...]
//       writes DIRECTORY/NAME.f32 (the samples in microvolts, 32-bit floats
//       in the machine's byte order) and DIRECTORY/NAME_truth.txt (the
//       zero-based sample of every true R-peak, one a line). KEYs: seed,
//       rate, duration, heart-rate, t-over-r, inverted, ectopic, slice-rate,
//       noise, bursts, breathing, drift, variability (see ScannerEcgParameters).
//   ecg_detection_bench detect SAMPLES RATE OUTPUT [REPEAT]
//       detects REPEAT times (default 1), writes the beats to OUTPUT and
//       prints one line: fastest and median seconds, beats, polarity, peak
//       resident memory after reading the input and after detecting (kB).
//   ecg_detection_bench score TRUTH DETECTED RATE
//       prints "TP FN FP" with a 50 ms window, then every hit's absolute
//       timing error in milliseconds on one line.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "hostprogram/detection/beat_matching.h"
#include "hostprogram/detection/r_peak_detector.h"
#include "hostprogram/detection/scanner_ecg.h"

namespace {

constexpr double kMatchingWindowSeconds = 0.05;

int fail(const std::string& message) {
    std::fprintf(stderr, "ecg_detection_bench: %s\n", message.c_str());
    return 1;
}

bool parseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size();
}

// One KEY=VALUE argument into the generator's parameters; false names an
// unknown key or a value that is not a number.
bool setParameter(const std::string& argument, ScannerEcgParameters& p) {
    const std::size_t equals = argument.find('=');
    double value = 0.0;
    if (equals == std::string::npos || !parseNumber(argument.substr(equals + 1), value))
        return false;
    const std::map<std::string, double*> fields = {
        {"rate", &p.samplingFrequency},     {"duration", &p.durationSeconds},
        {"heart-rate", &p.heartRate},       {"t-over-r", &p.tOverR},
        {"ectopic", &p.ectopicFraction},    {"slice-rate", &p.sliceRate},
        {"noise", &p.noiseOverR},           {"bursts", &p.muscleBurstsPerMinute},
        {"drift", &p.driftOverR},           {"breathing", &p.breathingModulation},
        {"variability", &p.rateVariability}};
    const std::string key = argument.substr(0, equals);
    if (key == "seed") {
        p.seed = static_cast<uint64_t>(value);
    } else if (key == "inverted") {
        p.invertedLead = value != 0.0;
    } else if (fields.count(key)) {
        *fields.at(key) = value;
    } else {
        return false;
    }
    return true;
}

bool writeBeats(const std::string& path, const std::vector<int64_t>& beats) {
    std::ofstream out(path);
    for (int64_t beat : beats) out << beat << '\n';
    out.close();
    return static_cast<bool>(out);
}

bool readBeats(const std::string& path, std::vector<int64_t>& beats) {
    std::ifstream in(path);
    if (!in) return false;
    long long beat = 0;
    while (in >> beat) beats.push_back(beat);
    std::sort(beats.begin(), beats.end());
    return in.eof();
}

int generate(int argc, char** argv) {
    if (argc < 4) return fail("generate needs DIRECTORY NAME [KEY=VALUE ...]");
    ScannerEcgParameters parameters;
    for (int k = 4; k < argc; ++k)
        if (!setParameter(argv[k], parameters)) return fail(std::string("bad setting ") + argv[k]);
    const ScannerEcg ecg = generateScannerEcg(parameters);
    const std::string stem = std::string(argv[2]) + "/" + argv[3];
    std::ofstream samples(stem + ".f32", std::ios::binary);
    samples.write(reinterpret_cast<const char*>(ecg.samples.data()),
                  static_cast<std::streamsize>(ecg.samples.size() * sizeof(float)));
    samples.close();
    if (!samples || !writeBeats(stem + "_truth.txt", ecg.rPeaks))
        return fail("cannot write " + stem + ".f32 or its truth");
    std::printf("%zu samples, %zu beats\n", ecg.samples.size(), ecg.rPeaks.size());
    return 0;
}

// The peak resident memory of this process's own address space (VmHWM). Not
// getrusage's ru_maxrss: Linux carries that over from the parent through fork
// and exec, so a child of a large process would report the parent's size.
long peakResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long kilobytes = -1;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> kilobytes;
            break;
        }
        status.ignore(1 << 16, '\n');
    }
    return kilobytes;
}

int detect(int argc, char** argv) {
    double rate = 0.0;
    double repeat = 1.0;
    if (argc < 5 || !parseNumber(argv[3], rate) || (argc > 5 && !parseNumber(argv[5], repeat)) ||
        repeat < 1.0)
        return fail("detect needs SAMPLES RATE OUTPUT [REPEAT]");
    std::ifstream in(argv[2], std::ios::binary | std::ios::ate);
    if (!in) return fail(std::string("cannot read ") + argv[2]);
    std::vector<float> samples(static_cast<std::size_t>(in.tellg()) / sizeof(float));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(samples.data()),
            static_cast<std::streamsize>(samples.size() * sizeof(float)));
    if (!in) return fail(std::string("cannot read ") + argv[2]);
    const long inputKilobytes = peakResidentKilobytes();

    RPeakDetection detection;
    std::vector<double> seconds;
    for (int run = 0; run < static_cast<int>(repeat); ++run) {
        const auto start = std::chrono::steady_clock::now();
        detectRPeaks(samples.data(), static_cast<int64_t>(samples.size()), rate, detection);
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    if (!writeBeats(argv[4], detection.peaks)) return fail(std::string("cannot write ") + argv[4]);
    std::sort(seconds.begin(), seconds.end());
    std::printf("%.4f %.4f %zu %d %ld %ld\n", seconds.front(), seconds[seconds.size() / 2],
                detection.peaks.size(), detection.polarity, inputKilobytes,
                peakResidentKilobytes());
    return 0;
}

int score(int argc, char** argv) {
    double rate = 0.0;
    std::vector<int64_t> truth;
    std::vector<int64_t> detected;
    if (argc < 5 || !parseNumber(argv[4], rate)) return fail("score needs TRUTH DETECTED RATE");
    if (!readBeats(argv[2], truth) || !readBeats(argv[3], detected))
        return fail(std::string("cannot read ") + argv[2] + " or " + argv[3]);
    const BeatMatch match = matchBeats(truth, detected, rate, kMatchingWindowSeconds);
    std::printf("%lld %lld %lld\n", static_cast<long long>(match.truePositives),
                static_cast<long long>(match.falseNegatives),
                static_cast<long long>(match.falsePositives));
    for (double error : match.errorsSeconds) std::printf("%.4f ", 1e3 * error);
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "generate") return generate(argc, argv);
    if (command == "detect") return detect(argc, argv);
    if (command == "score") return score(argc, argv);
    return fail("usage: ecg_detection_bench generate|detect|score ... (see the source's head)");
}
