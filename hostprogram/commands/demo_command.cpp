#include "hostprogram/commands/demo_command.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "hostprogram/commands/run_command.h"
#include "hostprogram/demo/artifact_metrics.h"
#include "hostprogram/demo/demo_recording.h"
#include "hostprogram/protocols/protocol_file.h"
#include "hostprogram/recordings/ctc_reader.h"
#include "hostprogram/recordings/ctc_writer.h"
#include "hostprogram/report/report_writer.h"
#include "run/run_paths.h"

namespace {

bool readAllChannels(const std::string& path, std::vector<std::vector<float>>& samples) {
    CtcHeader header;
    std::string error;
    std::vector<int> channels;
    if (!readCtcHeader(path, header, error)) {
        std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
        return false;
    }
    for (uint32_t c = 0; c < header.nrOfChannels; ++c) channels.push_back(static_cast<int>(c));
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

}  // namespace

ExitStatus demoCommand(const Options& options) {
    const std::string directory = options.demo.directory;
    std::error_code failure;
    std::filesystem::create_directories(directory, failure);
    if (failure) {
        std::fprintf(stderr, "LumatraZT: cannot create the folder %s: %s\n", directory.c_str(),
                     failure.message().c_str());
        return kExitFailed;
    }
    const std::string recordingPath = directory + "/demo.ctc";
    const std::string cleanPath = directory + "/demo_clean.ctc";
    const std::string protocolPath = directory + "/demo.prt";

    std::printf("Generating %d channels, %.0f s at %.0f Hz in %s ...\n", options.demo.channelCount,
                options.demo.durationSeconds, options.demo.samplingRate, directory.c_str());
    std::fflush(stdout);
    DemoRecording demo = generateDemoRecording(options.demo);
    Protocol protocol;
    protocol.experimentName = "KORU demo: EEG with heartbeat artifact";
    protocol.timeUnit = TimeUnit::kSamples;
    const int32_t lastSample = static_cast<int32_t>(demo.clean[0].size()) - 1;
    protocol.conditions.push_back(ProtocolCondition{"Rest", {0}, {lastSample}});
    protocol.conditions.push_back(ProtocolCondition{"R-peaks", demo.rPeaks, demo.rPeaks});
    if (!writeCtcFloatFile(recordingPath, demo.samplingRate, demo.recorded) ||
        !writeCtcFloatFile(cleanPath, demo.samplingRate, demo.clean) ||
        !writeProtocolFile(protocolPath, protocol)) {
        std::fprintf(stderr, "LumatraZT: cannot write the demo files in %s\n", directory.c_str());
        return kExitFailed;
    }
    std::printf("  %s (recording), %s (clean signal), %s (%zu heartbeats)\n\n",
                recordingPath.c_str(), cleanPath.c_str(), protocolPath.c_str(), demo.rPeaks.size());
    std::fflush(stdout);

    Options runOptions = options;
    runOptions.command = Command::kRun;
    runOptions.answers.inputPath = recordingPath;
    runOptions.answers.protocolPath = protocolPath;
    runOptions.batch = true;  // the defaults, whatever is on standard input
    RunRecord record;
    runPlugin(runOptions, record);
    if (record.status != kExitCompleted) {
        std::fprintf(stderr, "LumatraZT: the demo's run did not complete (exit status %d)\n",
                     record.status);
        return record.status;
    }

    std::vector<std::vector<float>> recorded, clean, corrected;
    if (!readAllChannels(recordingPath, recorded) || !readAllChannels(cleanPath, clean) ||
        !readAllChannels(outputPathFor(recordingPath), corrected))
        return kExitFailed;
    ArtifactReduction reduction = measureArtifactReduction(clean, recorded, corrected);
    std::printf(
        "\nResidual artifact power relative to the original (against the clean "
        "signal):\n");
    std::printf("  median over %zu channels: %s\n", reduction.channelDecibels.size(),
                formatDecibels(reduction.medianDecibels).c_str());
    std::printf("  worst channel (%d):       %s\n", reduction.worstChannel,
                formatDecibels(reduction.worstDecibels).c_str());

    ReportSettings report = options.report;
    if (report.path.empty()) report.path = directory + "/report.html";
    // By default the first two channels and the one with the most left over.
    if (report.channels.empty()) {
        for (int channel = 1; channel <= std::min(2, options.demo.channelCount); ++channel)
            report.channels.push_back(channel);
        if (reduction.worstChannel > 2) report.channels.push_back(reduction.worstChannel);
    }
    ReportExtras extras;
    extras.cleanPath = cleanPath;
    extras.amplitudeLabel = "amplitude [\xC2\xB5V]";
    extras.facts.push_back(
        {"Residual artifact power, median", formatDecibels(reduction.medianDecibels)});
    extras.facts.push_back({"Residual artifact power, worst channel",
                            formatDecibels(reduction.worstDecibels) + " (channel " +
                                std::to_string(reduction.worstChannel) + ")"});
    std::string error;
    if (!writeRunReport(report, record, error, extras)) {
        std::fprintf(stderr, "LumatraZT: no report: %s\n", error.c_str());
        return kExitFailed;
    }
    std::printf("  report: %s\n", report.path.c_str());
    return kExitCompleted;
}
