#include "run/run_settings.h"

#include "host/host_api.h"
#include "host/host_log.h"
#include "obs/obs_workspace.h"
#include "run/dialogue_bounds.h"

namespace {

// The work storage is checked before anything is allocated: an allocation
// that fails inside the array routines ends the host process.
bool refuseWorkspace(const RunState& run) {
    switch (checkObsWorkspace(run.settings.artifactsPerSegment, run.settings.windowLength())) {
        case ObsWorkspaceCheck::Fits:
            return false;
        case ObsWorkspaceCheck::CountsTooLarge:
            showMessageBox(
                "OBS segment and temporal window too large for the OBS work storage!\nYou may try "
                "with a smaller OBS segment or window. Exiting plugin.");
            return true;
        case ObsWorkspaceCheck::NotEnoughMemory:
            showMessageBox(
                "Not enough memory for the OBS work storage!\nYou may try with a smaller OBS "
                "segment or window. Exiting plugin.");
            return true;
    }
    return true;
}

}  // namespace

StepOutcome askObsSettings(RunState& run) {
    const int32_t N = run.occurrenceCount;
    run.settings.artifactsPerSegment = HostApi.ztGetIntegerInput(
        "OBS Settings (1).\nPlease enter number of artifacts per segment:",
        kDefaultArtifactsPerSegment, kArtifactsPerSegmentMinimum, N);
    const int32_t A = run.settings.artifactsPerSegment;
    // Asking for components with bounds 1..A would make no sense.
    if (A <= 0) {
        showMessageBox("Number of artifacts per segment must be at least 1. Exiting plugin.");
        return StepOutcome::EndAsSuccess;
    }
    run.settings.componentsKept = HostApi.ztGetIntegerInput(
        "OBS Settings (2).\nPlease enter number of desired PCs to keep in OBS:",
        kDefaultComponentsToKeep, kComponentsToKeepMinimum, A);
    const int32_t K = run.settings.componentsKept;
    if (K < 1 || K > A) {
        showMessageBox(
            "Number of PCs to keep must lie between 1 and the number of artifacts per segment. "
            "Exiting plugin.");
        return StepOutcome::EndAsSuccess;
    }
    if (N < A) {
        showMessageBox(
            "Too few artifact examples to cover the OBS segment!\nYou may try with a smaller OBS "
            "segment. Exiting plugin.");
        return StepOutcome::EndAsSuccess;
    }
    if (refuseWorkspace(run)) return StepOutcome::EndAsSuccess;
    return StepOutcome::Continue;
}
