#include "hostprogram/recordings/recording_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "hostprogram/recordings/brainvision_markers.h"

bool recordingFormatOfPath(const std::string& path, RecordingFormat& format, std::string& error) {
    const std::string::size_type dot = path.rfind('.');
    const std::string::size_type slash = path.rfind('/');
    std::string extension;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::pair<const char*, RecordingFormat> known[] = {
        {".vhdr", RecordingFormat::kBrainVision},
        {".edf", RecordingFormat::kEdf},
        {".bdf", RecordingFormat::kBdf},
        {".ctc", RecordingFormat::kCtc}};
    for (const auto& [name, value] : known)
        if (extension == name) {
            format = value;
            return true;
        }
    error = path +
            ": not a recording format this program knows; expected a name ending in .vhdr "
            "(BrainVision), .edf, .bdf or .ctc";
    return false;
}

const char* recordingFormatKey(RecordingFormat format) {
    switch (format) {
        case RecordingFormat::kBrainVision:
            return "brainvision";
        case RecordingFormat::kEdf:
            return "edf";
        case RecordingFormat::kBdf:
            return "bdf";
        case RecordingFormat::kCtc:
            break;
    }
    return "ctc";
}

const char* recordingFormatName(RecordingFormat format) {
    switch (format) {
        case RecordingFormat::kBrainVision:
            return "BrainVision";
        case RecordingFormat::kEdf:
            return "EDF";
        case RecordingFormat::kBdf:
            return "BDF";
        case RecordingFormat::kCtc:
            break;
    }
    return "CTC";
}

namespace {

void describeCtc(const CtcHeader& header, const std::string& unit, RecordingInfo& info) {
    info.format = RecordingFormat::kCtc;
    info.samplingFrequency = header.samplingFrequency;
    info.samples = header.nrOfSamples;
    for (uint32_t channel = 0; channel < header.nrOfChannels; ++channel)
        info.channels.push_back({std::to_string(channel + 1), unit, info.samplingFrequency});
}

}  // namespace

bool openRecordingSource(const std::string& path, const std::string& ctcUnit,
                         RecordingSource& source, std::string& error) {
    RecordingFormat format = RecordingFormat::kCtc;
    if (!recordingFormatOfPath(path, format, error)) return false;
    source.path = path;
    switch (format) {
        case RecordingFormat::kBrainVision:
            if (!openBrainVisionReader(path, source.brainVision, error)) return false;
            source.info = source.brainVision.info;
            break;
        case RecordingFormat::kEdf:
        case RecordingFormat::kBdf:
            if (!openEdf(path, source.edf, error)) return false;
            source.info = source.edf.info;
            break;
        case RecordingFormat::kCtc:
            if (!openCtcBlockReader(path, source.ctc, error)) return false;
            describeCtc(source.ctc.header, ctcUnit, source.info);
            break;
    }
    const int channels = static_cast<int>(source.info.channels.size());
    source.alwaysExcluded.assign(source.info.channels.size(), false);
    if (format == RecordingFormat::kEdf || format == RecordingFormat::kBdf) {
        for (int channel = 0; channel < channels; ++channel)
            source.alwaysExcluded[channel] =
                edfChannelExclusion(source.edf, channel) != EdfExclusion::kNone;
        source.blockChannels = source.edf.blockChannels;
        source.statusChannel = source.edf.statusChannel;
    } else {
        for (int channel = 0; channel < channels; ++channel)
            source.blockChannels.push_back(channel);
    }
    return true;
}

bool readRecordingBlock(RecordingSource& source, int64_t firstSample, int64_t count, float* out,
                        std::string& error) {
    switch (source.info.format) {
        case RecordingFormat::kBrainVision:
            return readBrainVisionBlock(source.brainVision, firstSample, count, out, error);
        case RecordingFormat::kEdf:
        case RecordingFormat::kBdf:
            return readEdfBlock(source.edf, firstSample, count, out, error);
        case RecordingFormat::kCtc:
            break;
    }
    return readCtcBlock(source.ctc, firstSample, count, out, error);
}

std::string recordingConditionName(RecordingFormat format, const RecordingMarker& marker) {
    if (format == RecordingFormat::kBrainVision) return brainVisionConditionName(marker);
    if (marker.type.empty() || marker.type == "Status") return marker.description;
    return marker.type + "/" + marker.description;
}

namespace {

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string withExtension(const std::string& path, const char* extension) {
    const std::string::size_type slash = path.rfind('/');
    const std::string::size_type dot = path.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return path.substr(0, hasExtension ? dot : path.size()) + extension;
}

// The files the opened source was read from: a BrainVision header names its
// data and marker files, which need not follow its own name.
std::vector<std::string> sourceFilesOf(const RecordingSource& source) {
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

std::vector<std::string> recordingFilesOf(const std::string& path, RecordingFormat format) {
    if (format != RecordingFormat::kBrainVision) return {path};
    return {path, withExtension(path, ".eeg"), withExtension(path, ".vmrk")};
}

bool checkOutputSparesSource(const RecordingSource& source, const std::string& outputPath,
                             RecordingFormat outputFormat, std::string& error) {
    for (const std::string& output : recordingFilesOf(outputPath, outputFormat))
        for (const std::string& input : sourceFilesOf(source))
            if (output == input || sameFile(output, input)) {
                error = output + " is a file of the input " + source.path +
                        "; the output must be another file";
                return false;
            }
    return true;
}
