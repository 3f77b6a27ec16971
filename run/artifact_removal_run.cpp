#include "run/artifact_removal_run.h"

#include "host/host_api.h"
#include "host/host_log.h"
#include "run/run_correction.h"
#include "run/run_input_file.h"
#include "run/run_protocol.h"
#include "run/run_settings.h"
#include "run/run_window.h"

namespace {

// Binding the host, testing its version and checking for a current document.
// Until the log is shown, problems can only be reported by message box.
StepOutcome startRun() {
    if (!bindHostApi()) return StepOutcome::EndAsFailure;
    if (!bindHostMatrixProducts()) {
        showMessageBox("Did not get access to MKL CBLAS functions!");
        return StepOutcome::EndAsFailure;
    }
    int major = 0, minor = 0, release = 0;
    HostApi.ztGetVersionOfLumatraZT(&major, &minor, &release);
    if (!isVersionAtLeast(major, minor, release, 1, 8, 3)) {
        showMessageBox("Can not execute this plugin - LumatraZT version 1.8.3 or higher required.");
        return StepOutcome::EndAsFailure;
    }
    HostApi.ztShowLogTab();
    logLine(" ");
    logLine("// KORUSuite> Running EEG/MEG plugin (Artifact template removal with OBS method) ...");
    int documentA = 0, documentB = 0, documentC = 0;
    if (HostApi.ztGetCurrentVMR(&documentA, &documentB, &documentC) == nullptr) {
        logLine("// KORUSuite>  Could not get VMR!");
        return StepOutcome::EndAsFailure;
    }
    return StepOutcome::Continue;
}

}  // namespace

bool runArtifactRemoval() {
    const StepOutcome start = startRun();
    if (start != StepOutcome::Continue) return start == StepOutcome::EndAsSuccess;
    RunState run;
    for (StepOutcome (*step)(RunState&) :
         {prepareOutputFile, chooseCondition, defineWindowAndTriggers, askObsSettings}) {
        const StepOutcome outcome = step(run);
        if (outcome != StepOutcome::Continue) return outcome == StepOutcome::EndAsSuccess;
    }
    return correctAndClose(run);
}
