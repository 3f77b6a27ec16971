#include "hostprogram/commands/run_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <iostream>

#include "hostprogram/commands/recording_run.h"
#include "hostprogram/host/bounds_check.h"
#include "hostprogram/host/interruption.h"
#include "hostprogram/host/matrix_products.h"
#include "hostprogram/host/plugin_module.h"
#include "hostprogram/report/report_writer.h"

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

// The plug-in's run on the temporary CTC copy of a recording of another
// format, between writing that copy and writing its result back; every file
// the run makes is removed again on interruption.
ExitStatus runOnRecording(const Options& options) {
    if (!options.report.path.empty())
        return reportUsageError("the report (-r) is made only for runs on CTC files for now");
    RecordingRun run;
    std::string error;
    if (!openRecordingRun(options, run, error)) {
        reportRefusals({error});
        return kExitRefused;
    }
    beginInterruptibleRun();
    removeOnInterruption(run.temporaryInput);
    ExitStatus status = kExitFailed;
    std::string condition;
    if (writeTemporaryInput(run, error)) {
        Options plugged = options;
        plugged.answers.inputPath = run.temporaryInput;
        const bool fromMarkers =
            !options.answers.protocolPath && !run.markers.protocol.conditions.empty();
        RunRecord record;
        runPlugin(plugged, record, fromMarkers ? &run.markers : nullptr);
        status = record.status;
        condition = chosenCondition(record.session);
        if (!condition.empty()) removeOnInterruption(temporaryTrialList(run, condition));
        if (status == kExitCompleted) {
            for (const std::string& file : correctedCopyFiles(run)) removeOnInterruption(file);
            if (!finishRecordingRun(run, condition, error)) status = kExitFailed;
        }
    }
    if (status == kExitFailed && !error.empty())
        std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
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

ExitStatus runCommand(const Options& options) {
    if (options.answers.inputPath && isRecordingRunInput(*options.answers.inputPath))
        return runOnRecording(options);
    if (!options.exclude.empty())
        return reportUsageError("--exclude applies to BrainVision, EDF and BDF inputs (-i)");
    RunRecord record;
    runPlugin(options, record);
    if (!options.report.path.empty()) {
        std::string error;
        if (writeRunReport(options.report, record, error))
            std::fprintf(stderr, "LumatraZT: report written to %s\n", options.report.path.c_str());
        else
            std::fprintf(stderr, "LumatraZT: no report: %s\n", error.c_str());
    }
    return record.status;
}
