#include "hostprogram/commands/convert_command.h"

#include <cstdio>
#include <string>
#include <vector>

#include "hostprogram/host/interruption.h"
#include "hostprogram/recordings/recording_conversion.h"
#include "hostprogram/recordings/recording_source.h"

ExitStatus convertCommand(const Options& options) {
    const std::string& inputPath = options.infoPaths[0];
    const std::string& outputPath = options.infoPaths[1];
    RecordingFormat inputFormat, outputFormat;
    std::string error;
    if (!recordingFormatOfPath(inputPath, inputFormat, error) ||
        !recordingFormatOfPath(outputPath, outputFormat, error))
        return reportUsageError(error);
    RecordingConversion conversion;
    if (!openRecordingSource(inputPath, options.unit, conversion.source, error)) {
        std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
        return kExitFailed;
    }
    if (!checkOutputSparesSource(conversion.source, outputPath, outputFormat, error))
        return reportUsageError(error);
    InterruptibleScope interruptible;
    for (const std::string& file : recordingFilesOf(outputPath, outputFormat))
        removeOnInterruption(file);
    planRecordingConversion(conversion, outputFormat);
    if (!writeRecordingConversion(conversion, outputPath, error)) {
        std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
        return kExitFailed;
    }
    return kExitCompleted;
}
