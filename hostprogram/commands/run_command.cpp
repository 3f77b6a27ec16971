#include "hostprogram/commands/run_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "hostprogram/commands/ecg_report.h"
#include "hostprogram/commands/recording_run.h"
#include "hostprogram/host/bounds_check.h"
#include "hostprogram/host/interruption.h"
#include "hostprogram/host/matrix_products.h"
#include "hostprogram/host/plugin_module.h"
#include "hostprogram/recordings/channel_selection.h"
#include "hostprogram/recordings/ctc_channel_restore.h"
#include "hostprogram/report/report_writer.h"
#include "run/run_paths.h"

namespace {

AnswerSource answerSourceFor(const Options& options) {
    if (options.batch) return AnswerSource::kNone;
    if (isatty(STDIN_FILENO)) return AnswerSource::kTerminal;
    // Only a pipe or a file is read: anything else (a socket, a closed
    // descriptor) might never deliver and would hang a script.
    struct stat status;
    if (fstat(STDIN_FILENO, &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISREG(status.st_mode)))
        return AnswerSource::kStream;
    return AnswerSource::kNone;
}

void reportRefusals(const std::vector<std::string>& problems) {
    for (const std::string& problem : problems)
        std::fprintf(stderr, "LumatraZT: refused: %s\n", problem.c_str());
    std::fprintf(stderr, "LumatraZT: the run was not started\n");
}

// One line a script can pick up: the run's wall time and the part of it the
// plug-in spent waiting for the host's products.
void reportTimings(std::chrono::steady_clock::time_point start, ProductKind product) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const ProductTiming products = productTiming();
    std::fprintf(stderr, "LumatraZT: timings: run %.3f s, matrix products %.3f s in %lld calls (%s",
                 seconds, products.seconds, products.calls,
                 product == ProductKind::kPlain ? "plain loops)\n" : "OpenBLAS, ");
    if (product == ProductKind::kBlas)
        std::fprintf(stderr, "%d thread%s)\n", blasThreads(), blasThreads() == 1 ? "" : "s");
}

// The condition the plug-in was given, by the name it was given: the one
// its trial list is named after. Empty when it got none.
std::string chosenCondition(const HostSession& session) {
    const int count = static_cast<int>(session.protocol.conditions.size());
    if (!session.protocolApplied || session.condition < 1 || session.condition > count) return "";
    return session.protocol.conditions[static_cast<std::size_t>(session.condition - 1)].name;
}

void writeReport(const ReportSettings& settings, const RunRecord& record,
                 const ReportExtras& extras) {
    std::string error;
    if (writeRunReport(settings, record, error, extras))
        std::fprintf(stderr, "LumatraZT: report written to %s\n", settings.path.c_str());
    else
        std::fprintf(stderr, "LumatraZT: no report: %s\n", error.c_str());
}

// With --ecg-channel, the run uses the beats found unless told otherwise.
Options withEcgCondition(const Options& options, const std::string& ecgCondition) {
    Options plugged = options;
    if (!ecgCondition.empty() && !options.answers.protocolPath && !options.answers.condition)
        plugged.answers.condition = ecgCondition;
    return plugged;
}

// The report of a run on another format: the plug-in's files are temporary
// and hold only the corrected channels, so the channels asked for (numbered
// as in the recording) are found among them and everything is named as the
// user knows it.
void writeRecordingRunReport(const Options& options, const RecordingRun& run,
                             const RunRecord& record) {
    ReportSettings settings = options.report;
    ReportExtras extras = ecgReportExtras(run.ecg, options.report);
    extras.inputName = run.source.path;
    extras.outputName = run.correctedCopy;
    for (int channel : run.corrected)
        extras.channelNames.push_back(
            run.source.info.channels[static_cast<std::size_t>(channel)].name);
    settings.channels.clear();
    for (int wanted : options.report.channels) {
        const auto found = std::find(run.corrected.begin(), run.corrected.end(), wanted - 1);
        if (found != run.corrected.end())
            settings.channels.push_back(static_cast<int>(found - run.corrected.begin()) + 1);
        else
            std::fprintf(stderr,
                         "LumatraZT: the report leaves out channel %d: it was not corrected\n",
                         wanted);
    }
    if (!options.report.channels.empty() && settings.channels.empty()) {
        std::fprintf(stderr, "LumatraZT: no report: none of its channels was corrected\n");
        return;
    }
    writeReport(settings, record, extras);
}

// The channels a run on a CTC file leaves as they were: those --exclude
// names and the ECG channel, whose beats become the one condition of markers.
// False with error when the run must be refused.
bool planKeptChannels(const Options& options, RecordingSource& source, EcgTriggers& ecg,
                      MarkerConditions& markers, std::vector<int>& kept, std::string& error) {
    const std::string& input = *options.answers.inputPath;
    std::vector<bool> corrected;
    if (!openRecordingSource(input, options.unit, source, error)) return false;
    if (!correctedChannelFlags(options.exclude, source.info, source.alwaysExcluded, corrected,
                               error)) {
        error = input + ": --exclude " + error;
        return false;
    }
    if (!options.ecgChannel.empty()) {
        if (!detectRunTriggers(source, options.ecgChannel, ecg, error)) return false;
        corrected[static_cast<std::size_t>(ecg.channel)] = false;
        markers.label = input;
        markers.protocol.experimentName = input;
        addRPeakCondition(markers, ecg.detection.peaks);
    }
    for (std::size_t channel = 0; channel < corrected.size(); ++channel)
        if (!corrected[channel]) kept.push_back(static_cast<int>(channel));
    if (kept.size() == corrected.size()) {
        error = input + ": no channel is left to correct";
        return false;
    }
    return true;
}

// The plug-in's run on the temporary CTC copy of a recording of another
// format, between writing that copy and writing its result back; every file
// the run makes is removed again on interruption.
ExitStatus runOnRecording(const Options& options) {
    RecordingRun run;
    std::string error;
    if (!openRecordingRun(options, run, error)) {
        reportRefusals({error});
        return kExitRefused;
    }
    if (!run.ecgCondition.empty()) std::printf("%s", formatEcgTriggers(run.ecg).c_str());
    beginInterruptibleRun();
    removeOnInterruption(run.temporaryInput);
    ExitStatus status = kExitFailed;
    std::string condition;
    RunRecord record;
    if (writeTemporaryInput(run, error)) {
        Options plugged = withEcgCondition(options, run.ecgCondition);
        plugged.answers.inputPath = run.temporaryInput;
        const bool fromMarkers =
            !options.answers.protocolPath && !run.markers.protocol.conditions.empty();
        runPlugin(plugged, record, fromMarkers ? &run.markers : nullptr);
        status = record.status;
        condition = chosenCondition(record.session);
        if (status == kExitCompleted) {
            for (const std::string& file : correctedCopyFiles(run)) removeOnInterruption(file);
            if (!finishRecordingRun(run, condition, error)) status = kExitFailed;
        }
    }
    if (status == kExitFailed && !error.empty())
        std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
    record.status = status;
    if (!options.report.path.empty() && !record.session.inputPath.empty())
        writeRecordingRunReport(options, run, record);
    removeTemporaryFiles(run, condition);
    endInterruptibleRun();
    return status;
}

}  // namespace

ExitStatus classifyRun(const HostSession& session, bool executeReturnedTrue) {
    if (executeReturnedTrue && session.completionLogged) return kExitCompleted;
    if (session.refused || session.messageBoxShown) return kExitRefused;
    if (session.cancelled) return kExitCancelled;
    return kExitFailed;
}

void runPlugin(const Options& options, RunRecord& record, const MarkerConditions* markers) {
    record = RunRecord();
    std::vector<std::string> problems = checkGivenAnswers(options.answers);
    if (!problems.empty()) {
        reportRefusals(problems);
        record.status = kExitRefused;
        return;
    }
    PluginModule module;
    std::string error;
    const std::string modulePath =
        options.modulePath.empty() ? defaultModulePath() : options.modulePath;
    if (!loadPluginModule(modulePath, module, error)) {
        std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
        record.status = kExitFailed;
        return;
    }
    ConsoleLog log(stdout, stderr, isatty(STDERR_FILENO) != 0);
    if (!options.logPath.empty() && !log.openLogFile(options.logPath)) {
        std::fprintf(stderr, "LumatraZT: cannot create the log file %s\n", options.logPath.c_str());
        unloadPluginModule(module);
        record.status = kExitFailed;
        return;
    }
    HostSession& session = record.session;
    session.given = &options.answers;
    session.markerConditions = markers;
    session.log = &log;
    session.prompts.source = answerSourceFor(options);
    session.prompts.input = &std::cin;
    session.prompts.prompts = &std::cerr;

    setMatrixProductKind(options.product);
    chooseBlasThreads(options.blasThreads);
    if (options.timings) startProductTiming();
    const auto start = std::chrono::steady_clock::now();
    setActiveSession(&session);
    beginInterruptibleRun();
    PluginRunResult result = runPluginOnce(module);
    endInterruptibleRun();
    setActiveSession(nullptr);
    if (options.timings) reportTimings(start, options.product);
    log.setBusy(false);
    session.log = nullptr;
    session.given = nullptr;
    session.markerConditions = nullptr;
    unloadPluginModule(module);

    if (result == PluginRunResult::kNoObject) {
        std::fprintf(stderr, "LumatraZT: the plug-in module gave no plug-in object\n");
        record.status = kExitFailed;
        return;
    }
    record.status = classifyRun(session, result == PluginRunResult::kReturnedTrue);
}

void runKeepingChannels(const Options& options, RunRecord& record, EcgTriggers& ecg) {
    record = RunRecord();
    const std::string& input = *options.answers.inputPath;
    RecordingSource source;
    MarkerConditions markers;
    std::vector<int> kept;
    std::string error;
    if (!planKeptChannels(options, source, ecg, markers, kept, error)) {
        reportRefusals({error});
        record.status = kExitRefused;
        return;
    }
    const std::string ecgCondition =
        markers.protocol.conditions.empty() ? "" : markers.protocol.conditions.back().name;
    if (!ecgCondition.empty()) std::printf("%s", formatEcgTriggers(ecg).c_str());
    runPlugin(withEcgCondition(options, ecgCondition), record,
              ecgCondition.empty() || options.answers.protocolPath ? nullptr : &markers);
    if (record.status == kExitCompleted) {
        const std::string output = outputPathFor(input);
        InterruptibleScope interruptible;
        removeOnInterruption(output);
        if (!restoreCtcChannels(input, output, kept, error)) {
            std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
            std::remove(output.c_str());
            record.status = kExitFailed;
        }
    }
}

ExitStatus runCommand(const Options& options) {
    if (!options.answers.inputPath && (!options.ecgChannel.empty() || !options.exclude.empty()))
        return reportUsageError("--ecg-channel and --exclude need the recording given with -i");
    if (options.answers.inputPath && isRecordingRunInput(*options.answers.inputPath))
        return runOnRecording(options);
    RunRecord record;
    EcgTriggers ecg;
    if (!options.ecgChannel.empty() || !options.exclude.empty())
        runKeepingChannels(options, record, ecg);
    else
        runPlugin(options, record);
    if (!options.report.path.empty())
        writeReport(options.report, record, ecgReportExtras(ecg, options.report));
    return record.status;
}
