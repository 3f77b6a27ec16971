#include "hostprogram/commands/detect_r_command.h"

#include <cstdio>

#include "hostprogram/commands/ecg_report.h"
#include "hostprogram/commands/ecg_triggers.h"
#include "hostprogram/recordings/recording_source.h"
#include "hostprogram/support/file_paths.h"

namespace {

std::string defaultTriggerListPath(const std::string& input) {
    return input.substr(0, extensionStart(input)) + "_rpeaks.txt";
}

ExitStatus failWith(const std::string& message) {
    std::fprintf(stderr, "LumatraZT: %s\n", message.c_str());
    return kExitFailed;
}

}  // namespace

ExitStatus detectRCommand(const Options& options) {
    const std::string& input = options.infoPaths.front();
    const std::string output =
        options.triggerListPath.empty() ? defaultTriggerListPath(input) : options.triggerListPath;
    RecordingSource source;
    EcgTriggers triggers;
    std::string error;
    if (!openRecordingSource(input, options.unit, source, error) ||
        !checkOutputSparesSource(source, output, RecordingFormat::kCtc, error) ||
        !detectRunTriggers(source, options.ecgChannel, triggers, error))
        return failWith(error);
    if (!writeTriggerList(output, triggers, input, error)) return failWith(error);
    std::printf("%s: %sR-peaks written to %s\n", input.c_str(), formatEcgTriggers(triggers).c_str(),
                output.c_str());
    if (!options.report.path.empty()) {
        if (!writeDetectionReport(options.report.path, input, ecgViewData(triggers, options.report),
                                  error))
            return failWith("no report: " + error);
        std::printf("report written to %s\n", options.report.path.c_str());
    }
    return kExitCompleted;
}
