#include "hostprogram/recordings/ctc_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ctc/ctc_format.h"
#include "ctc/sample_codec.h"
#include "hostprogram/recordings/ctc_reader.h"

namespace {

void appendU32(std::vector<unsigned char>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<unsigned char>(value >> shift));
}

void appendF32(std::vector<unsigned char>& bytes, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    appendU32(bytes, bits);
}

std::vector<unsigned char> headerBytes(const CtcLayout& layout) {
    std::vector<unsigned char> bytes;
    appendU32(bytes, 1);  // FileVersion
    appendU32(bytes, 0);  // CompressionType: none, so no parameter count follows
    appendU32(bytes, static_cast<uint32_t>(layout.dataType));
    appendU32(bytes, static_cast<uint32_t>(layout.sampleOrdering));
    appendU32(bytes, layout.channelCount);
    appendU32(bytes, layout.sampleCount);
    appendF32(bytes, layout.samplingFrequency);
    if (ctc::isScaledDataType(static_cast<uint32_t>(layout.dataType))) {
        for (float offset : layout.offsets) appendF32(bytes, offset);
        for (float scale : layout.scales) appendF32(bytes, scale);
    }
    appendU32(bytes, 0);  // NrOfBlocks: continuous
    return bytes;
}

bool interleaves(const CtcLayout& layout) {
    return static_cast<uint32_t>(layout.sampleOrdering) == ctc::kOrderingSampleMajor;
}

std::string layoutProblem(const CtcLayout& layout) {
    if (!ctc::isContinuousOrdering(static_cast<uint32_t>(layout.sampleOrdering)))
        return "sample ordering " + std::to_string(layout.sampleOrdering) + " cannot be written";
    if (ctcElementSize(static_cast<uint32_t>(layout.dataType)) == 0)
        return "data type " + std::to_string(layout.dataType) + " cannot be written";
    const bool scaled = ctc::isScaledDataType(static_cast<uint32_t>(layout.dataType));
    if (scaled && (layout.offsets.size() != layout.channelCount ||
                   layout.scales.size() != layout.channelCount))
        return "data type " + std::to_string(layout.dataType) +
               " needs one offset and one scale per channel";
    if (scaled)
        for (float scale : layout.scales)
            if (!(scale != 0.0f) || !std::isfinite(scale)) return "a channel scale is zero";
    return std::string();
}

bool writeBytes(std::FILE* file, const void* bytes, std::size_t count) {
    return count == 0 || std::fwrite(bytes, 1, count, file) == count;
}

// Reads the side file back channel-major in runs of samples and writes them
// interleaved, one sample's channels after another. Memory: one run of every
// channel (about 16 MB).
bool interleaveChannels(CtcChannelWriter& writer) {
    const CtcLayout& layout = writer.layout;
    const std::size_t element = ctcElementSize(static_cast<uint32_t>(layout.dataType));
    const std::size_t channels = layout.channelCount;
    const std::size_t run = std::max<std::size_t>(1, (16u << 20) / (element * channels));
    std::vector<unsigned char> channelMajor(run * channels * element);
    std::vector<unsigned char> interleaved(channelMajor.size());
    for (std::size_t first = 0; first < layout.sampleCount; first += run) {
        const std::size_t count = std::min<std::size_t>(run, layout.sampleCount - first);
        for (std::size_t c = 0; c < channels; ++c) {
            const uint64_t position =
                (static_cast<uint64_t>(c) * layout.sampleCount + first) * element;
            if (fseeko(writer.channels, static_cast<off_t>(position), SEEK_SET) != 0 ||
                std::fread(&channelMajor[c * run * element], 1, count * element, writer.channels) !=
                    count * element)
                return false;
        }
        for (std::size_t s = 0; s < count; ++s)
            for (std::size_t c = 0; c < channels; ++c)
                std::memcpy(&interleaved[(s * channels + c) * element],
                            &channelMajor[(c * run + s) * element], element);
        if (!writeBytes(writer.file, interleaved.data(), count * channels * element)) return false;
    }
    return true;
}

void closeFiles(CtcChannelWriter& writer) {
    if (writer.file) std::fclose(writer.file);
    if (writer.channels) std::fclose(writer.channels);
    writer.file = writer.channels = nullptr;
}

}  // namespace

bool openCtcChannelWriter(const std::string& path, const CtcLayout& layout,
                          CtcChannelWriter& writer, std::string& error) {
    writer = CtcChannelWriter();
    writer.layout = layout;
    writer.path = path;
    error = layoutProblem(layout);
    if (!error.empty()) {
        error = path + ": " + error;
        return false;
    }
    writer.file = std::fopen(path.c_str(), "wb");
    if (interleaves(layout) && writer.file) {
        writer.sidePath = path + ".channels";
        writer.channels = std::fopen(writer.sidePath.c_str(), "w+b");
    }
    const std::vector<unsigned char> header = headerBytes(layout);
    writer.headerLength = header.size();
    if (!writer.file || (interleaves(layout) && !writer.channels) ||
        !writeBytes(writer.file, header.data(), header.size())) {
        error = "cannot create " + (writer.file ? writer.sidePath : path);
        abandonCtcChannelWriter(writer);
        return false;
    }
    return true;
}

bool appendCtcChannel(CtcChannelWriter& writer, const std::vector<float>& values,
                      std::string& error) {
    const CtcLayout& layout = writer.layout;
    if (writer.channelsWritten >= layout.channelCount || values.size() != layout.sampleCount) {
        error = writer.path + ": a channel of the wrong length, or one too many";
        return false;
    }
    const uint32_t c = writer.channelsWritten;
    const auto dataType = static_cast<uint32_t>(layout.dataType);
    const bool scaled = ctc::isScaledDataType(dataType);
    const ctc::SampleConversion conversion{dataType, scaled ? layout.scales[c] : 1.0f,
                                           scaled ? layout.offsets[c] : 0.0f,
                                           ctc::IntegerRounding::Nearest};
    const std::size_t element = ctcElementSize(dataType);
    std::FILE* target = interleaves(layout) ? writer.channels : writer.file;
    std::vector<unsigned char> bytes;
    const std::size_t chunk = 1 << 18;
    for (std::size_t first = 0; first < values.size(); first += chunk) {
        const std::size_t count = std::min(values.size() - first, chunk);
        bytes.resize(count * element);
        ctc::encodeSamples(&values[first], static_cast<uint32_t>(count), conversion, bytes.data(),
                           element);
        if (!writeBytes(target, bytes.data(), bytes.size())) {
            error = "cannot write " + writer.path;
            return false;
        }
    }
    ++writer.channelsWritten;
    return true;
}

bool finishCtcChannelWriter(CtcChannelWriter& writer, std::string& error) {
    bool written = writer.channelsWritten == writer.layout.channelCount;
    if (!written) error = writer.path + ": not every channel was written";
    if (written && interleaves(writer.layout)) {
        written = std::fflush(writer.channels) == 0 && interleaveChannels(writer);
        if (!written) error = "cannot write " + writer.path;
    }
    const bool closed = writer.file && std::fclose(writer.file) == 0;
    writer.file = nullptr;
    if (written && !closed) error = "cannot write " + writer.path;
    if (!written || !closed) {
        abandonCtcChannelWriter(writer);
        return false;
    }
    closeFiles(writer);
    if (!writer.sidePath.empty()) std::remove(writer.sidePath.c_str());
    return true;
}

void abandonCtcChannelWriter(CtcChannelWriter& writer) {
    closeFiles(writer);
    if (!writer.path.empty()) std::remove(writer.path.c_str());
    if (!writer.sidePath.empty()) std::remove(writer.sidePath.c_str());
}

bool writeCtcFloatFile(const std::string& path, float samplingFrequency,
                       const std::vector<std::vector<float>>& channels, int sampleOrdering) {
    CtcLayout layout;
    layout.samplingFrequency = samplingFrequency;
    layout.channelCount = static_cast<uint32_t>(channels.size());
    layout.sampleCount = channels.empty() ? 0 : static_cast<uint32_t>(channels[0].size());
    layout.sampleOrdering = sampleOrdering;
    CtcChannelWriter writer;
    std::string error;
    if (!openCtcChannelWriter(path, layout, writer, error)) return false;
    for (const auto& channel : channels)
        if (!appendCtcChannel(writer, channel, error)) {
            abandonCtcChannelWriter(writer);
            return false;
        }
    return finishCtcChannelWriter(writer, error);
}
