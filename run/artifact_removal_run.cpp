#include "run/artifact_removal_run.h"

#include "host/host_api.h"
#include "host/host_log.h"
#include "run/run_state.h"

namespace {

// Binding the host, testing its version and checking for a current document.
// Until the log is shown, problems can only be reported by message box.
StepOutcome startRun() {
    if (!bindHostApi()) return false;
    if (!bindHostMatrixProducts()) {
        showMessageBox("Did not get access to MKL CBLAS functions!");
        return false;
    }
    int major = 0, minor = 0, release = 0;
    HostApi.ztGetVersionOfLumatraZT(&major, &minor, &release);
    if (!isVersionAtLeast(major, minor, release, 1, 8, 3)) {
        showMessageBox("Can not execute this plugin - LumatraZT version 1.8.3 or higher required.");
        return false;
    }
    HostApi.ztShowLogTab();
    logLine(" ");
    logLine("// KORUSuite> Running EEG/MEG plugin (Artifact template removal with OBS method) ...");
    int documentA = 0, documentB = 0, documentC = 0;
    if (HostApi.ztGetCurrentVMR(&documentA, &documentB, &documentC) == nullptr) {
        logLine("// KORUSuite>  Could not get VMR!");
        return false;
    }
    return std::nullopt;
}

}  // namespace

bool runArtifactRemoval() {
    if (StepOutcome end = startRun()) return *end;
    RunState run;
    if (StepOutcome end = prepareOutputFile(run)) return *end;
    if (StepOutcome end = chooseCondition(run)) return *end;
    if (StepOutcome end = defineWindowAndTriggers(run)) return *end;
    if (StepOutcome end = askObsSettings(run)) return *end;
    return correctAndClose(run);
}
