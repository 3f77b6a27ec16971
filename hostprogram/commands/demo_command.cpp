#include "hostprogram/commands/demo_command.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "hostprogram/commands/ecg_report.h"
#include "hostprogram/commands/run_command.h"
#include "hostprogram/demo/artifact_metrics.h"
#include "hostprogram/demo/demo_recording.h"
#include "hostprogram/detection/beat_matching.h"
#include "hostprogram/protocols/protocol_file.h"
#include "hostprogram/recordings/ctc_reader.h"
#include "hostprogram/recordings/ctc_writer.h"
#include "hostprogram/report/report_writer.h"
#include "run/run_paths.h"

namespace {

// The first count channels of the file (all of them when count is 0).
bool readAllChannels(const std::string& path, std::vector<std::vector<float>>& samples,
                     uint32_t count = 0) {
    CtcHeader header;
    std::string error;
    std::vector<int> channels;
    if (!readCtcHeader(path, header, error)) {
        std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
        return false;
    }
    if (count == 0 || count > header.nrOfChannels) count = header.nrOfChannels;
    for (uint32_t c = 0; c < count; ++c) channels.push_back(static_cast<int>(c));
    if (!readCtcChannels(path, header, channels, samples, error)) {
        std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
        return false;
    }
    return true;
}

std::string formatDecibels(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f dB", value);
    return buffer;
}

// The demo's three files, all in its folder.
struct DemoFiles {
    std::string recording, clean, protocol;
};

DemoFiles demoFilesIn(const std::string& directory) {
    return {directory + "/demo.ctc", directory + "/demo_clean.ctc", directory + "/demo.prt"};
}

// The recording with the artifact and the ECG as its last channel, the clean
// EEG, and the true heartbeats as a protocol, after one whole-recording
// condition (the run finds the heartbeats in the ECG itself).
bool writeDemoFiles(const DemoSettings& settings, const DemoFiles& files, DemoRecording& demo) {
    std::printf("Generating %d channels, %.0f s at %.0f Hz in %s ...\n", settings.channelCount,
                settings.durationSeconds, settings.samplingRate, settings.directory.c_str());
    std::fflush(stdout);
    demo = generateDemoRecording(settings);
    demo.clean.pop_back();
    Protocol protocol;
    protocol.experimentName = "KORU demo: EEG with heartbeat artifact";
    protocol.timeUnit = TimeUnit::kSamples;
    const int32_t lastSample = static_cast<int32_t>(demo.clean[0].size()) - 1;
    protocol.conditions.push_back(ProtocolCondition{"Rest", {0}, {lastSample}});
    protocol.conditions.push_back(ProtocolCondition{"R-peaks", demo.rPeaks, demo.rPeaks});
    if (!writeCtcFloatFile(files.recording, demo.samplingRate, demo.recorded) ||
        !writeCtcFloatFile(files.clean, demo.samplingRate, demo.clean) ||
        !writeProtocolFile(files.protocol, protocol)) {
        std::fprintf(stderr, "LumatraZT: cannot write the demo files in %s\n",
                     settings.directory.c_str());
        return false;
    }
    std::printf(
        "  %s (recording, ECG in channel %d), %s (clean EEG), %s (the %zu true heartbeats)\n\n",
        files.recording.c_str(), demo.ecgChannel + 1, files.clean.c_str(), files.protocol.c_str(),
        demo.rPeaks.size());
    std::fflush(stdout);
    return true;
}

// The plug-in on the demo's recording with the run options given, the
// triggers found in its ECG channel, answering every question not given with
// its default, whatever is on standard input.
void runOnDemoFiles(const Options& options, const DemoFiles& files, const DemoRecording& demo,
                    RunRecord& record, EcgTriggers& ecg) {
    Options runOptions = options;
    runOptions.command = Command::kRun;
    runOptions.answers.inputPath = files.recording;
    runOptions.ecgChannel = std::to_string(demo.ecgChannel + 1);
    runOptions.batch = true;
    runKeepingChannels(runOptions, record, ecg);
}

// How well the heartbeats were found, against the true ones.
void printDetectionScore(const DemoRecording& demo, const EcgTriggers& ecg) {
    const std::vector<int64_t> truth(demo.rPeaks.begin(), demo.rPeaks.end());
    const BeatMatch match =
        matchBeats(truth, ecg.detection.peaks, demo.samplingRate, kBeatMatchingWindowSeconds);
    std::printf(
        "\nHeartbeats found in the ECG channel against the %zu true ones (within %.0f ms):\n"
        "  sensitivity %.2f %%, positive predictivity %.2f %%\n"
        "  timing error: median %.1f ms, 99th percentile %.1f ms\n",
        truth.size(), 1000.0 * kBeatMatchingWindowSeconds, 100.0 * match.sensitivity(),
        100.0 * match.positivePredictivity(), 1000.0 * match.errorPercentile(0.5),
        1000.0 * match.errorPercentile(0.99));
}

// How much artifact the run left, against the clean signal; false when a
// file cannot be read.
bool measureDemoRun(const DemoFiles& files, const DemoRecording& demo,
                    ArtifactReduction& reduction) {
    std::vector<std::vector<float>> recorded, clean, corrected;
    const uint32_t eeg = static_cast<uint32_t>(demo.ecgChannel);
    if (!readAllChannels(files.recording, recorded, eeg) || !readAllChannels(files.clean, clean) ||
        !readAllChannels(outputPathFor(files.recording), corrected, eeg))
        return false;
    reduction = measureArtifactReduction(clean, recorded, corrected);
    std::printf(
        "\nResidual artifact power relative to the original (against the clean "
        "signal):\n");
    std::printf("  median over %zu channels: %s\n", reduction.channelDecibels.size(),
                formatDecibels(reduction.medianDecibels).c_str());
    std::printf("  worst channel (%d):       %s\n", reduction.worstChannel,
                formatDecibels(reduction.worstDecibels).c_str());
    return true;
}

// The report, with the clean signal and the residual power added; by default
// in the demo's folder, showing the first two channels and the one with the
// most left over.
bool writeDemoReport(const Options& options, const DemoFiles& files, const RunRecord& record,
                     const EcgTriggers& ecg, const ArtifactReduction& reduction) {
    ReportSettings report = options.report;
    if (report.path.empty()) report.path = options.demo.directory + "/report.html";
    if (report.channels.empty()) {
        for (int channel = 1; channel <= std::min(2, options.demo.channelCount); ++channel)
            report.channels.push_back(channel);
        if (reduction.worstChannel > 2) report.channels.push_back(reduction.worstChannel);
    }
    ReportExtras extras = ecgReportExtras(ecg, report);
    extras.cleanPath = files.clean;
    extras.amplitudeLabel = "amplitude [\xC2\xB5V]";
    extras.facts.insert(extras.facts.begin(), {"Residual artifact power, median",
                                               formatDecibels(reduction.medianDecibels)});
    extras.facts.insert(extras.facts.begin() + 1,
                        {"Residual artifact power, worst channel",
                         formatDecibels(reduction.worstDecibels) + " (channel " +
                             std::to_string(reduction.worstChannel) + ")"});
    std::string error;
    if (!writeRunReport(report, record, error, extras)) {
        std::fprintf(stderr, "LumatraZT: no report: %s\n", error.c_str());
        return false;
    }
    std::printf("  report: %s\n", report.path.c_str());
    return true;
}

}  // namespace

ExitStatus demoCommand(const Options& options) {
    const std::string& directory = options.demo.directory;
    std::error_code failure;
    std::filesystem::create_directories(directory, failure);
    if (failure) {
        std::fprintf(stderr, "LumatraZT: cannot create the folder %s: %s\n", directory.c_str(),
                     failure.message().c_str());
        return kExitFailed;
    }
    const DemoFiles files = demoFilesIn(directory);
    DemoSettings settings = options.demo;
    settings.ecgChannel = true;
    DemoRecording demo;
    if (!writeDemoFiles(settings, files, demo)) return kExitFailed;
    RunRecord record;
    EcgTriggers ecg;
    runOnDemoFiles(options, files, demo, record, ecg);
    if (record.status != kExitCompleted) {
        std::fprintf(stderr, "LumatraZT: the demo's run did not complete (exit status %d)\n",
                     record.status);
        return record.status;
    }
    ArtifactReduction reduction;
    if (!measureDemoRun(files, demo, reduction)) return kExitFailed;
    printDetectionScore(demo, ecg);
    return writeDemoReport(options, files, record, ecg, reduction) ? kExitCompleted : kExitFailed;
}
