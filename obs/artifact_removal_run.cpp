#include "obs/artifact_removal_run.h"

#include "host/host_api.h"

// For now the run binds the host and tests its version, then ends with true;
// the complete run (dialogues, output copy, trial list, correction) replaces
// the rest of this function.
bool runArtifactRemoval() {
    if (!bindHostApi()) return false;
    if (!bindHostMatrixProducts()) {
        HostApi.ztMessageBox("Did not get access to MKL CBLAS functions!");
        return false;
    }
    int major = 0, minor = 0, release = 0;
    HostApi.ztGetVersionOfLumatraZT(&major, &minor, &release);
    if (!isVersionAtLeast(major, minor, release, 1, 8, 3)) {
        HostApi.ztMessageBox(
            "Can not execute this plugin - LumatraZT version 1.8.3 or higher required.");
        return false;
    }
    return true;
}
