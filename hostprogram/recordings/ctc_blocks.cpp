#include "hostprogram/recordings/ctc_blocks.h"

#include <cstdio>

#include "ctc/ctc_format.h"
#include "ctc/sample_codec.h"

namespace {

ctc::SampleConversion conversionOf(const CtcHeader& header, std::size_t channel) {
    const bool scaled = ctc::isScaledDataType(header.dataType);
    return {header.dataType, scaled ? header.channelScales[channel] : 1.0f,
            scaled ? header.channelOffsets[channel] : 0.0f};
}

bool readBytes(CtcBlockReader& reader, uint64_t firstElement, uint64_t bytes) {
    const uint64_t element = ctcElementSize(reader.header.dataType);
    reader.buffer.resize(bytes);
    reader.file.clear();
    reader.file.seekg(
        static_cast<std::streamoff>(reader.header.headerLength + firstElement * element));
    return static_cast<bool>(reader.file.read(reinterpret_cast<char*>(reader.buffer.data()),
                                              static_cast<std::streamsize>(bytes)));
}

}  // namespace

bool openCtcBlockReader(const std::string& path, CtcBlockReader& reader, std::string& error) {
    reader.path = path;
    if (!readCtcHeader(path, reader.header, error)) return false;
    if (!checkCtcSamplesReadable(path, reader.header, error)) return false;
    reader.file.open(path, std::ios::binary);
    if (!reader.file) {
        error = path + ": cannot be opened";
        return false;
    }
    return true;
}

bool readCtcBlock(CtcBlockReader& reader, int64_t firstSample, int64_t count, float* out,
                  std::string& error) {
    const CtcHeader& header = reader.header;
    const uint64_t channels = header.nrOfChannels, samples = header.nrOfSamples;
    if (firstSample < 0 || count < 0 || static_cast<uint64_t>(firstSample + count) > samples) {
        error = reader.path + ": samples " + std::to_string(firstSample) + " to " +
                std::to_string(firstSample + count) + " are outside the recording";
        return false;
    }
    const uint64_t element = ctcElementSize(header.dataType);
    const auto first = static_cast<uint64_t>(firstSample), length = static_cast<uint64_t>(count);
    const auto decoded = static_cast<uint32_t>(length);
    if (header.sampleOrdering == ctc::kOrderingChannelMajor) {
        for (uint64_t c = 0; c < channels; ++c) {
            if (!readBytes(reader, c * samples + first, length * element)) {
                error = reader.path + ": read failed";
                return false;
            }
            ctc::decodeSamples(reader.buffer.data(), element, decoded, conversionOf(header, c),
                               out + c * length);
        }
        return true;
    }
    if (!readBytes(reader, first * channels, length * channels * element)) {
        error = reader.path + ": read failed";
        return false;
    }
    for (uint64_t c = 0; c < channels; ++c)
        ctc::decodeSamples(&reader.buffer[c * element], channels * element, decoded,
                           conversionOf(header, c), out + c * length);
    return true;
}

bool openCtcBlockWriter(const std::string& path, float samplingFrequency, uint32_t channelCount,
                        uint32_t sampleCount, CtcBlockWriter& writer, std::string& error) {
    CtcLayout layout;
    layout.samplingFrequency = samplingFrequency;
    layout.channelCount = channelCount;
    layout.sampleCount = sampleCount;
    writer.samplesWritten = 0;
    return openCtcChannelWriter(path, layout, writer.file, error);
}

bool appendCtcBlock(CtcBlockWriter& writer, const float* samples, int64_t count,
                    std::string& error) {
    const CtcLayout& layout = writer.file.layout;
    if (count < 0 || writer.samplesWritten + count > int64_t{layout.sampleCount}) {
        error = writer.file.path + ": more samples than the recording has";
        return false;
    }
    const ctc::SampleConversion conversion{ctc::kDataTypeFloat, 1.0f, 0.0f};
    const auto length = static_cast<uint64_t>(count);
    writer.buffer.resize(length * sizeof(float));
    for (uint64_t c = 0; c < layout.channelCount; ++c) {
        const uint64_t position =
            writer.file.headerLength +
            (c * layout.sampleCount + static_cast<uint64_t>(writer.samplesWritten)) * sizeof(float);
        ctc::encodeSamples(samples + c * length, static_cast<uint32_t>(length), conversion,
                           writer.buffer.data(), sizeof(float));
        if (fseeko(writer.file.file, static_cast<off_t>(position), SEEK_SET) != 0 ||
            std::fwrite(writer.buffer.data(), 1, writer.buffer.size(), writer.file.file) !=
                writer.buffer.size()) {
            error = "cannot write " + writer.file.path;
            return false;
        }
    }
    writer.samplesWritten += count;
    return true;
}

bool finishCtcBlockWriter(CtcBlockWriter& writer, std::string& error) {
    // Every channel's stretch is in place once the last block is: the channel
    // writer then only has to close the file.
    if (writer.samplesWritten == int64_t{writer.file.layout.sampleCount})
        writer.file.channelsWritten = writer.file.layout.channelCount;
    return finishCtcChannelWriter(writer.file, error);
}
