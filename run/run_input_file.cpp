#include "run/run_input_file.h"

#include <cstring>

#include "ctc/ctc_format.h"
#include "host/host_api.h"
#include "host/host_log.h"
#include "run/busy_indicator.h"
#include "run/output_copy.h"
#include "run/run_paths.h"
#include "run/sample_conversions.h"

namespace {

// Orderings whose channels can be cut into windows: channel-major (1) and
// sample-major (2) continuous data.
bool hasWindowedOrdering(const CtcFile& file) {
    return ctc::isContinuousOrdering(file.SampleOrdering);
}

// A file whose windows the access layer refuses would be walked window by
// window and reported as corrected with nothing changed; it is refused here,
// before the user answers any further question.
bool refuseUnusableFile(const CtcFile& file) {
    if (file.FileVersion == 0) {
        logLine(
            "// KORUSuite> FileVersion 0: the data of this file cannot be accessed. "
            "Exiting plugin.");
        return true;
    }
    if (!hasWindowedOrdering(file)) {
        logFormatted("// KORUSuite> SampleOrdering %i not supported, only 1 and 2. Exiting plugin.",
                     static_cast<int32_t>(file.SampleOrdering));
        return true;
    }
    return false;
}

// Logs "Reading OK." and the header of the opened output file: format
// fields, channels, sampling frequency, samples and the recording's duration.
// The header fields are unsigned; the log has always shown them as signed
// integers, so the same bits are printed as such.
void logHeaderReport(const CtcFile& file) {
    logLine("// KORUSuite> Reading OK.");
    logFormatted("// KORUSuite> FileVersion: %i", static_cast<int32_t>(file.FileVersion));
    logFormatted("// KORUSuite> CompressionType: %i", static_cast<int32_t>(file.CompressionType));
    logFormatted("// KORUSuite> NrOfCompressionParams: %i",
                 static_cast<int32_t>(file.NrOfCompressionParams));
    logFormatted("// KORUSuite> DataType: %i", static_cast<int32_t>(file.DataType));
    logFormatted("// KORUSuite> Number of channels : %i", static_cast<int32_t>(file.NrOfChannels));
    logFormatted("// KORUSuite> Sampling frequency [Hz] : %f",
                 static_cast<double>(file.SamplingFrequency));
    logFormatted("// KORUSuite> Number of samples : %i", static_cast<int32_t>(file.NrOfSamples));
    logFormatted("// KORUSuite> Total data segment duration [min] : %f",
                 static_cast<double>(durationMinutes(file.NrOfSamples, file.SamplingFrequency)));
    logFormatted("// KORUSuite> Total data segment duration [msec] : %i",
                 durationMilliseconds(file.NrOfSamples, file.SamplingFrequency));
}

}  // namespace

StepOutcome prepareOutputFile(RunState& run) {
    char path[256];
    std::memset(path, 0, sizeof path);
    const int chosen =
        HostApi.ztGetOpenFileName("Please select the file with input data set:", "", "*.ctc", path);
    path[sizeof path - 1] = '\0';
    run.inputPath = path;
    // A path too short to carry an extension names nothing the run can
    // process, and there would be no stem to name the output after.
    if (chosen == 0 || !hasReplaceableExtension(run.inputPath)) {
        logLine("// KORUSuite> Data file not selected correctly. Exiting plugin.");
        return StepOutcome::EndAsFailure;
    }

    {
        const BusyIndicator busy;
        logLine("// KORUSuite> Creating the output file ...");
        repaintHost();
        run.outputPath = outputPathFor(run.inputPath);
        if (!copyFileChecked(run.inputPath, run.outputPath)) {
            logLine("// KORUSuite> Error creating the output file. Exiting plugin.");
            return StepOutcome::EndAsFailure;
        }
    }
    logLine("// KORUSuite> Accessing data ...");
    const BusyIndicator busy;
    if (openCtcFile(run.file, run.outputPath.c_str(), kCtcOpenInPlace) != 1) {
        logLine("// KORUSuite> Error reading CTC file. Exiting plugin.");
        return StepOutcome::EndAsSuccess;
    }
    run.fileOpen = true;
    logHeaderReport(run.file);
    if (refuseUnusableFile(run.file)) return StepOutcome::EndAsSuccess;
    return StepOutcome::Continue;
}
