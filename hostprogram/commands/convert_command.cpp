#include "hostprogram/commands/convert_command.h"

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "hostprogram/recordings/recording_conversion.h"
#include "hostprogram/recordings/recording_source.h"

namespace {

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string withExtension(const std::string& path, const char* extension) {
    return path.substr(0, path.rfind('.')) + extension;
}

// Every file the recording at path consists of: a BrainVision recording's
// data and marker files beside its header.
std::vector<std::string> filesOf(const std::string& path, RecordingFormat format) {
    if (format != RecordingFormat::kBrainVision) return {path};
    return {path, withExtension(path, ".eeg"), withExtension(path, ".vmrk")};
}

std::vector<std::string> inputFilesOf(const RecordingSource& source) {
    std::vector<std::string> files{source.path};
    if (source.info.format == RecordingFormat::kBrainVision) {
        files.push_back(source.brainVision.dataPath);
        const std::string& markers = source.brainVision.header.markerFile;
        const std::string::size_type slash = source.path.rfind('/');
        if (!markers.empty())
            files.push_back(
                slash == std::string::npos ? markers : source.path.substr(0, slash + 1) + markers);
    }
    return files;
}

}  // namespace

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
    for (const std::string& output : filesOf(outputPath, outputFormat))
        for (const std::string& input : inputFilesOf(conversion.source))
            if (output == input || sameFile(output, input))
                return reportUsageError(output + " is a file of the input " + inputPath +
                                        "; the output must be another file");
    planRecordingConversion(conversion, outputFormat);
    if (!writeRecordingConversion(conversion, outputPath, error)) {
        std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
        return kExitFailed;
    }
    return kExitCompleted;
}
