#include "hostprogram/commands/info_command.h"

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "ctc/ctc_format.h"
#include "hostprogram/recordings/channel_selection.h"
#include "hostprogram/recordings/recording_source.h"

namespace {

const char* dataTypeName(uint32_t dataType) {
    switch (dataType) {
        case ctc::kDataTypeFloat:
            return "32-bit float";
        case ctc::kDataTypeInt16:
            return "16-bit integer, scaled";
        case ctc::kDataTypeInt8:
            return "8-bit integer, scaled";
        case ctc::kDataTypeScaledFloat:
            return "32-bit float, scaled";
        default:
            return "not supported";
    }
}

const char* orderingName(uint32_t ordering) {
    switch (ordering) {
        case ctc::kOrderingChannelMajor:
            return "continuous, channel after channel";
        case ctc::kOrderingSampleMajor:
            return "continuous, sample after sample";
        case ctc::kOrderingTrialChannelSample:
            return "epoched: trial, channel, sample";
        case ctc::kOrderingTrialSampleChannel:
            return "epoched: trial, sample, channel";
        case ctc::kOrderingChannelSampleTrial:
            return "epoched: channel, sample, trial";
        case ctc::kOrderingSampleChannelTrial:
            return "epoched: sample, channel, trial";
        default:
            return "not supported";
    }
}

// Long per-channel arrays are shown in part: a header listing, not a dump.
template <typename Value>
void printArray(std::FILE* out, const char* name, const std::vector<Value>& values) {
    constexpr std::size_t kShown = 8;
    std::fprintf(out, "  %-22s", name);
    for (std::size_t i = 0; i < values.size() && i < kShown; ++i)
        std::fprintf(out, " %g", static_cast<double>(values[i]));
    if (values.size() > kShown) std::fprintf(out, " ... (%zu values)", values.size());
    std::fprintf(out, "\n");
}

}  // namespace

void printCtcHeader(const std::string& path, const CtcHeader& header, std::FILE* out) {
    std::fprintf(out, "%s\n", path.c_str());
    std::fprintf(out, "  %-22s %u\n", "FileVersion", header.fileVersion);
    std::fprintf(out, "  %-22s %u\n", "CompressionType", header.compressionType);
    if (header.compressionType != 0) {
        std::fprintf(out, "  %-22s %u\n", "NrOfCompressionParams", header.nrOfCompressionParams);
        if (!header.compressionParams.empty())
            printArray(out, "CompressionParams", header.compressionParams);
    }
    std::fprintf(out, "  %-22s %u (%s)\n", "DataType", header.dataType,
                 dataTypeName(header.dataType));
    std::fprintf(out, "  %-22s %u (%s)\n", "SampleOrdering", header.sampleOrdering,
                 orderingName(header.sampleOrdering));
    std::fprintf(out, "  %-22s %u\n", "NrOfChannels", header.nrOfChannels);
    std::fprintf(out, "  %-22s %u\n", "NrOfSamples", header.nrOfSamples);
    std::fprintf(out, "  %-22s %g Hz\n", "SamplingFrequency",
                 static_cast<double>(header.samplingFrequency));
    if (header.samplingFrequency > 0 && header.sampleOrdering <= ctc::kOrderingSampleMajor)
        std::fprintf(out, "  %-22s %.3f s\n", "Duration",
                     header.nrOfSamples / static_cast<double>(header.samplingFrequency));
    if (ctc::isScaledDataType(header.dataType)) {
        printArray(out, "ChannelOffsets", header.channelOffsets);
        printArray(out, "ChannelScales", header.channelScales);
    }
    std::fprintf(out, "  %-22s %u\n", "NrOfBlocks", header.nrOfBlocks);
    if (header.nrOfBlocks != 0) {
        printArray(out, "BlockNrOfTrials", header.blockNrOfTrials);
        printArray(out, "BlockPreSamples", header.blockPreSamples);
        printArray(out, "BlockPostSamples", header.blockPostSamples);
    }
    std::fprintf(out, "  %-22s %llu bytes\n", "Header length",
                 static_cast<unsigned long long>(header.headerLength));
    std::fprintf(out, "  %-22s %llu bytes\n", "File size",
                 static_cast<unsigned long long>(header.fileSize));
    const uint32_t elementSize = ctcElementSize(header.dataType);
    if (elementSize != 0 && ctc::isContinuousOrdering(header.sampleOrdering)) {
        const unsigned long long expected =
            header.headerLength +
            static_cast<unsigned long long>(header.nrOfChannels) * header.nrOfSamples * elementSize;
        if (expected > header.fileSize)
            std::fprintf(out, "  warning: the samples need %llu bytes; the file is shorter\n",
                         expected);
    }
}

namespace {

// What info tells of any recording: the source, and per channel whether the
// run would correct it.
struct Described {
    RecordingSource source;
    std::vector<bool> corrected;
};

bool describe(const std::string& path, const Options& options, Described& described,
              std::string& error) {
    RecordingSource& source = described.source;
    if (!openRecordingSource(path, options.unit, source, error)) return false;
    if (!correctedChannelFlags(options.exclude, source.info, source.alwaysExcluded,
                               described.corrected, error)) {
        error = path + ": --exclude " + error;
        return false;
    }
    return true;
}

std::map<std::string, int64_t> conditionCounts(const RecordingInfo& info) {
    std::map<std::string, int64_t> counts;
    for (const RecordingMarker& marker : info.markers)
        ++counts[recordingConditionName(info.format, marker)];
    return counts;
}

nlohmann::ordered_json jsonOf(const Described& described) {
    const RecordingInfo& info = described.source.info;
    nlohmann::ordered_json channels = nlohmann::ordered_json::array();
    for (std::size_t channel = 0; channel < info.channels.size(); ++channel) {
        const RecordingChannel& each = info.channels[channel];
        channels.push_back({{"name", each.name},
                            {"unit", each.unit},
                            {"sampling_frequency", each.samplingFrequency},
                            {"corrected", static_cast<bool>(described.corrected[channel])}});
    }
    nlohmann::ordered_json conditions = nlohmann::ordered_json::object();
    for (const auto& [name, count] : conditionCounts(info)) conditions[name] = count;
    return {{"format", recordingFormatKey(info.format)},
            {"sampling_frequency", info.samplingFrequency},
            {"samples", info.samples},
            {"channels", channels},
            {"conditions", conditions}};
}

void printRecording(const Described& described, std::FILE* out) {
    const RecordingInfo& info = described.source.info;
    std::fprintf(out, "%s\n", described.source.path.c_str());
    std::fprintf(out, "  %-22s %s\n", "Format", recordingFormatName(info.format));
    std::fprintf(out, "  %-22s %g Hz\n", "SamplingFrequency", info.samplingFrequency);
    std::fprintf(out, "  %-22s %lld\n", "Samples", static_cast<long long>(info.samples));
    if (info.samplingFrequency > 0)
        std::fprintf(out, "  %-22s %.3f s\n", "Duration",
                     static_cast<double>(info.samples) / info.samplingFrequency);
    std::fprintf(out, "  %-22s %zu\n", "Channels", info.channels.size());
    for (std::size_t channel = 0; channel < info.channels.size(); ++channel) {
        const RecordingChannel& each = info.channels[channel];
        std::fprintf(out, "    %3zu  %-16s %-6s %g Hz  %s\n", channel + 1, each.name.c_str(),
                     each.unit.c_str(), each.samplingFrequency,
                     described.corrected[channel] ? "corrected" : "not corrected");
    }
    const std::map<std::string, int64_t> counts = conditionCounts(info);
    std::fprintf(out, "  %-22s %zu\n", "Conditions", counts.size());
    for (const auto& [name, count] : counts)
        std::fprintf(out, "    %-24s %lld\n", name.c_str(), static_cast<long long>(count));
}

// Today's listing of a CTC file's header, unchanged.
bool printCtc(const std::string& path, std::string& error) {
    CtcHeader header;
    if (!readCtcHeader(path, header, error)) return false;
    printCtcHeader(path, header, stdout);
    return true;
}

}  // namespace

ExitStatus infoCommand(const Options& options) {
    ExitStatus status = kExitCompleted;
    bool first = true;
    for (const std::string& path : options.infoPaths) {
        std::string error;
        if (!first && !options.json) std::printf("\n");
        first = false;
        RecordingFormat format = RecordingFormat::kCtc;
        const bool known = recordingFormatOfPath(path, format, error);
        bool shown = known;
        if (format == RecordingFormat::kCtc && !options.json) {
            // A CTC file under another name is listed as it always was; any
            // other file is refused for its name.
            std::string formatError = error;
            shown = printCtc(path, error);
            if (!shown && !known) error = formatError;
            Described described;  // only to refuse an --exclude that names no channel
            if (shown && !options.exclude.empty())
                shown = describe(path, options, described, error);
        } else if (shown) {
            Described described;
            shown = describe(path, options, described, error);
            if (shown && options.json) std::printf("%s\n", jsonOf(described).dump(2).c_str());
            if (shown && !options.json) printRecording(described, stdout);
        }
        if (!shown) {
            std::fflush(stdout);
            std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
            status = kExitFailed;
        }
    }
    return status;
}
