#include "run/run_correction.h"

#include "host/host_log.h"
#include "obs/obs_correction.h"
#include "run/busy_indicator.h"

bool correctAndClose(RunState& run) {
    // The window buffer is made only now, once the work storage check has
    // shown that windows of this length can be had.
    run.window = OwnedVector(0, run.settings.windowLength() - 1);

    {
        const BusyIndicator busy;
        const bool corrected =
            correctChannels(run.file, run.triggers, run.occurrenceCount, run.settings, run.window);
        if (!corrected) {
            // What was written so far stays; the input was never touched.
            run.fileOpen = false;
            closeCtcFile(run.file);
            logLine(
                "// KORUSuite> Error reading or writing the output file during correction. "
                "Exiting plugin.");
            return false;
        }

        logLine("");
        logLine("");
        logLine("// KORUSuite> Closing the output file ...");
        repaintHost();
        run.fileOpen = false;
        if (closeCtcFile(run.file) != 1) {
            logLine(
                "// KORUSuite> Error closing the output file: not all corrected data reached the "
                "disk. Exiting plugin.");
            return false;
        }
    }
    logLine("// KORUSuite> Artifact template removal completed!");
    logLine(" ");
    return true;
}
