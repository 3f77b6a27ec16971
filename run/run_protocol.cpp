#include "run/run_protocol.h"

#include <cstring>

#include "host/host_api.h"
#include "host/host_log.h"
#include "run/busy_indicator.h"

namespace {

// Applies the protocol file to the current document and logs its conditions.
// False when the host could not apply it.
bool loadProtocol(RunState& run) {
    const BusyIndicator busy;
    HostApi.ztClearProtocol();
    HostApi.ztLoadProtocol(run.protocolPath.c_str());
    if (HostApi.ztGetProtocol(&run.protocol) == 0) {
        logLine("// KORUSuite> Protocol not applied to the current VMR/SRF. Exiting plugin.");
        return false;
    }
    const int32_t conditions = run.protocol.NrOfConditions;
    logFormatted("// KORUSuite> Experiment Name : %s",
                 recordText(run.protocol.ExperimentName).c_str());
    logFormatted("// KORUSuite> Number of conditions : %i", conditions);
    for (int32_t i = 0; i < conditions; ++i) {
        ConditionRecord condition{};
        HostApi.ztGetProtocolCondition(i, &condition);
        logFormatted("// KORUSuite>>> Condition n.%i : %s", i + 1,
                     recordText(condition.ConditionName).c_str());
        logFormatted("// KORUSuite>>>>> Nr. of trials : %i", condition.NrOfIntervals);
    }
    return true;
}

}  // namespace

StepOutcome chooseCondition(RunState& run) {
    char path[256];
    std::memset(path, 0, sizeof path);
    const int chosen = HostApi.ztGetOpenFileName(
        "Please select the protocol file with artifact timing information:", "", "*.prt", path);
    path[sizeof path - 1] = '\0';
    if (chosen == 0) {
        logLine("// KORUSuite> Protocol file not specified correctly. Exiting plugin.");
        return StepOutcome::EndAsFailure;
    }
    run.protocolPath = path;

    logLine("// KORUSuite> Accessing protocol information ...");
    if (!loadProtocol(run)) return StepOutcome::EndAsSuccess;
    const int32_t conditions = run.protocol.NrOfConditions;
    run.conditionNumber = HostApi.ztGetIntegerInput(
        "Please select the condition with the artifact triggers:", conditions, 1, conditions);
    if (run.conditionNumber <= 0) {
        logLine("// KORUSuite> Protocol condition not selected. Exiting plugin.");
        return StepOutcome::EndAsSuccess;
    }
    // The host would be asked for a condition it does not have.
    if (run.conditionNumber > conditions) {
        showMessageBox("The selected protocol condition does not exist. Exiting plugin.");
        return StepOutcome::EndAsSuccess;
    }
    return StepOutcome::Continue;
}
