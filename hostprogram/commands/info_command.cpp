#include "hostprogram/commands/info_command.h"

#include <string>

#include "ctc/ctc_format.h"

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

ExitStatus infoCommand(const Options& options) {
    ExitStatus status = kExitCompleted;
    bool first = true;
    for (const std::string& path : options.infoPaths) {
        CtcHeader header;
        std::string error;
        if (!first) std::printf("\n");
        first = false;
        if (!readCtcHeader(path, header, error)) {
            std::fflush(stdout);
            std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
            status = kExitFailed;
            continue;
        }
        printCtcHeader(path, header, stdout);
    }
    return status;
}
