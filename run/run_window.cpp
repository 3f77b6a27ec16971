#include "run/run_window.h"

#include <algorithm>
#include <limits>

#include "host/host_api.h"
#include "host/host_log.h"
#include "run/busy_indicator.h"
#include "run/dialogue_bounds.h"
#include "run/run_paths.h"
#include "run/sample_conversions.h"
#include "run/trial_list.h"

namespace {

// The host is trusted to keep answers within their bounds, but a negative
// time, or a sampling frequency that turns the times into no sample count
// at all, would make every window index meaningless.
bool refuseWindow(RunState& run) {
    if (run.preMs < 0 || run.postMs < 0) {
        showMessageBox("Pre-trigger and post-trigger times must not be negative. Exiting plugin.");
        return true;
    }
    const float frequency = run.file.SamplingFrequency;
    ObsSettings& settings = run.settings;
    const bool converted = windowSamplesFromMilliseconds(run.preMs, frequency, &settings.pre) &&
                           windowSamplesFromMilliseconds(run.postMs, frequency, &settings.post);
    const int64_t length = static_cast<int64_t>(settings.post) + 1 + settings.pre;
    if (!converted || length > std::numeric_limits<int32_t>::max()) {
        showMessageBox(
            "The temporal window does not cover a valid number of samples at this sampling "
            "frequency. Exiting plugin.");
        return true;
    }
    return false;
}

}  // namespace

StepOutcome defineWindowAndTriggers(RunState& run) {
    run.preMs = HostApi.ztGetIntegerInput(
        "Temporal window definition:\nPlease enter pre-trigger time [ms]:", kDefaultPreMilliseconds,
        kWindowMillisecondsMinimum, kWindowMillisecondsMaximum);
    run.postMs = HostApi.ztGetIntegerInput(
        "Temporal window definition:\nPlease enter post-trigger time [ms]:",
        kDefaultPostMilliseconds, kWindowMillisecondsMinimum, kWindowMillisecondsMaximum);
    if (refuseWindow(run)) return StepOutcome::EndAsSuccess;

    const BusyIndicator busy;
    ConditionRecord condition{};
    HostApi.ztGetProtocolCondition(run.conditionNumber - 1, &condition);
    const std::string trialListPath = trialListPathFor(run.inputPath, conditionNameOf(condition));
    // A host that reports a negative count has no intervals to give.
    run.occurrenceCount = std::max<int32_t>(condition.NrOfIntervals, 0);
    run.triggers = OwnedIntVector(0, run.occurrenceCount - 1);
    buildTriggersAndTrialList(condition, run.protocol.TimeUnit, run.file.SamplingFrequency,
                              trialListPath, run.triggers);
    return StepOutcome::Continue;
}
