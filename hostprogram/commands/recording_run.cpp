#include "hostprogram/commands/recording_run.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "hostprogram/recordings/brainvision_writer.h"
#include "hostprogram/recordings/channel_selection.h"
#include "hostprogram/recordings/ctc_blocks.h"
#include "hostprogram/recordings/edf_corrected_copy.h"
#include "hostprogram/recordings/recording_sink.h"
#include "hostprogram/support/file_paths.h"
#include "run/run_paths.h"

namespace {

// Samples per block: about a million values across the channels read.
int64_t blockLength(std::size_t channels) {
    return std::max<int64_t>(
        1, (int64_t{1} << 20) / static_cast<int64_t>(std::max<std::size_t>(channels, 1)));
}

// The rows of the source's blocks that hold the corrected channels.
std::vector<std::size_t> correctedRows(const RecordingRun& run) {
    std::vector<std::size_t> rows;
    const std::vector<int>& read = run.source.blockChannels;
    for (int channel : run.corrected)
        rows.push_back(
            static_cast<std::size_t>(std::find(read.begin(), read.end(), channel) - read.begin()));
    return rows;
}

std::string plugInOutput(const RecordingRun& run) {
    return outputPathFor(run.temporaryInput);
}

bool openPlugInOutput(const RecordingRun& run, CtcBlockReader& reader, std::string& error) {
    if (!openCtcBlockReader(plugInOutput(run), reader, error)) return false;
    if (reader.header.nrOfChannels != run.corrected.size() ||
        static_cast<int64_t>(reader.header.nrOfSamples) != run.source.info.samples) {
        error = plugInOutput(run) + ": not the size of the recording the plug-in was given";
        return false;
    }
    return true;
}

bool writeBrainVisionCopy(RecordingRun& run, std::string& error) {
    CtcBlockReader corrected;
    if (!openPlugInOutput(run, corrected, error)) return false;
    BrainVisionWriter writer;
    if (!createBrainVisionWriter(run.correctedCopy, run.source.info,
                                 run.source.brainVision.markerEntries, writer, error))
        return false;
    const std::vector<std::size_t> rows = correctedRows(run);
    const std::size_t channels = run.source.blockChannels.size();
    const int64_t samples = run.source.info.samples, perBlock = blockLength(channels);
    std::vector<float> block, fixed;
    for (int64_t first = 0; first < samples; first += perBlock) {
        const int64_t count = std::min(perBlock, samples - first);
        const std::size_t length = static_cast<std::size_t>(count);
        block.resize(channels * length);
        fixed.resize(rows.size() * length);
        if (!readRecordingBlock(run.source, first, count, block.data(), error) ||
            !readCtcBlock(corrected, first, count, fixed.data(), error)) {
            abandonBrainVisionWriter(writer);
            return false;
        }
        for (std::size_t k = 0; k < rows.size(); ++k)
            std::copy_n(fixed.begin() + static_cast<std::ptrdiff_t>(k * length), length,
                        block.begin() + static_cast<std::ptrdiff_t>(rows[k] * length));
        if (!appendBrainVisionBlock(writer, block.data(), count, error)) {
            abandonBrainVisionWriter(writer);
            return false;
        }
    }
    return finishBrainVisionWriter(writer, error);
}

void reportSaturation(const RecordingRun& run, const EdfCorrectedCopy& copy) {
    for (std::size_t channel = 0; channel < copy.saturated.size(); ++channel)
        if (copy.saturated[channel] > 0)
            std::fprintf(stderr,
                         "LumatraZT: %s: channel %s: %lld corrected samples were beyond its "
                         "physical range and were held to it\n",
                         run.correctedCopy.c_str(), run.source.info.channels[channel].name.c_str(),
                         static_cast<long long>(copy.saturated[channel]));
}

bool writeEdfCopy(RecordingRun& run, std::string& error) {
    CtcBlockReader corrected;
    if (!openPlugInOutput(run, corrected, error)) return false;
    EdfCorrectedCopy copy;
    bool written = openEdfCorrectedCopy(run.source.edf, run.correctedCopy, copy, error);
    const int64_t samples = run.source.info.samples, perBlock = blockLength(run.corrected.size());
    std::vector<float> fixed;
    for (int64_t first = 0; written && first < samples; first += perBlock) {
        const int64_t count = std::min(perBlock, samples - first);
        fixed.resize(run.corrected.size() * static_cast<std::size_t>(count));
        written = readCtcBlock(corrected, first, count, fixed.data(), error) &&
                  writeEdfCorrectedBlock(copy, run.corrected, first, count, fixed.data(), error);
    }
    std::string closing;
    const bool closed = closeEdfCorrectedCopy(copy, closing);
    if (written && !closed) error = closing;
    if (!written || !closed) {
        std::remove(run.correctedCopy.c_str());
        return false;
    }
    reportSaturation(run, copy);
    return true;
}

}  // namespace

bool isRecordingRunInput(const std::string& inputPath) {
    RecordingFormat format;
    std::string ignored;
    return recordingFormatOfPath(inputPath, format, ignored) && format != RecordingFormat::kCtc;
}

bool openRecordingRun(const Options& options, RecordingRun& run, std::string& error) {
    const std::string& input = *options.answers.inputPath;
    if (!openRecordingSource(input, options.unit, run.source, error)) return false;
    std::vector<bool> corrected;
    if (!correctedChannelFlags(options.exclude, run.source.info, run.source.alwaysExcluded,
                               corrected, error)) {
        error = input + ": --exclude " + error;
        return false;
    }
    if (!options.ecgChannel.empty()) {
        if (!detectRunTriggers(run.source, options.ecgChannel, run.ecg, error)) return false;
        corrected[static_cast<std::size_t>(run.ecg.channel)] = false;
    }
    for (std::size_t channel = 0; channel < corrected.size(); ++channel)
        if (corrected[channel]) run.corrected.push_back(static_cast<int>(channel));
    if (run.corrected.empty()) {
        error = input + ": no channel is left to correct";
        return false;
    }
    const std::string::size_type slash = input.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : input.substr(0, slash + 1);
    const std::string name = input.substr(folder.size(), extensionStart(input) - folder.size());
    // Hidden, and unique to this process, so that no file of the user's is
    // touched; the plug-in's output and trial list take its name too.
    run.temporaryInput =
        folder + "." + name + ".LumatraZT-" + std::to_string(static_cast<long>(getpid())) + ".ctc";
    run.correctedCopy =
        input.substr(0, extensionStart(input)) + "_OBS" + input.substr(extensionStart(input));
    if (!checkOutputSparesSource(run.source, run.correctedCopy, run.source.info.format, error))
        return false;
    run.markers = markerConditionsOf(run.source.info, input, name);
    if (!options.ecgChannel.empty())
        run.ecgCondition = addRPeakCondition(run.markers, run.ecg.detection.peaks);
    return true;
}

std::vector<std::string> correctedCopyFiles(const RecordingRun& run) {
    return recordingFilesOf(run.correctedCopy, run.source.info.format);
}

bool writeTemporaryInput(RecordingRun& run, std::string& error) {
    const RecordingInfo& info = run.source.info;
    RecordingInfo written;
    written.format = RecordingFormat::kCtc;
    written.samplingFrequency = info.samplingFrequency;
    written.samples = info.samples;
    for (int channel : run.corrected)
        written.channels.push_back(info.channels[static_cast<std::size_t>(channel)]);
    RecordingSink sink;
    if (!createRecordingSink(run.temporaryInput, written, {}, sink, error)) return false;
    const std::vector<std::size_t> rows = correctedRows(run);
    const std::size_t channels = run.source.blockChannels.size();
    const int64_t perBlock = blockLength(channels);
    std::vector<float> block, kept;
    for (int64_t first = 0; first < info.samples; first += perBlock) {
        const int64_t count = std::min(perBlock, info.samples - first);
        const std::size_t length = static_cast<std::size_t>(count);
        block.resize(channels * length);
        kept.resize(rows.size() * length);
        bool moved = readRecordingBlock(run.source, first, count, block.data(), error);
        for (std::size_t k = 0; moved && k < rows.size(); ++k)
            std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(rows[k] * length), length,
                        kept.begin() + static_cast<std::ptrdiff_t>(k * length));
        if (!moved || !appendRecordingBlock(sink, kept.data(), count, error)) {
            abandonRecordingSink(sink);
            return false;
        }
    }
    return finishRecordingSink(sink, error);
}

std::string temporaryTrialList(const RecordingRun& run, const std::string& condition) {
    return trialListPathFor(run.temporaryInput, condition);
}

bool finishRecordingRun(RecordingRun& run, const std::string& condition, std::string& error) {
    const bool written = run.source.info.format == RecordingFormat::kBrainVision
                             ? writeBrainVisionCopy(run, error)
                             : writeEdfCopy(run, error);
    if (!written || condition.empty()) return written;
    const std::string& input = run.source.path;
    const std::string trialList = input.substr(0, extensionStart(input)) + "_" + condition + ".trl";
    if (std::rename(temporaryTrialList(run, condition).c_str(), trialList.c_str()) != 0) {
        error = trialList + ": cannot be written";
        for (const std::string& file : correctedCopyFiles(run)) std::remove(file.c_str());
        return false;
    }
    return true;
}

void removeTemporaryFiles(const RecordingRun& run, const std::string& condition) {
    std::remove(run.temporaryInput.c_str());
    std::remove(plugInOutput(run).c_str());
    if (!condition.empty()) std::remove(temporaryTrialList(run, condition).c_str());
}
