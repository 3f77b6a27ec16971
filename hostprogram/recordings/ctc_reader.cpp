// The header is parsed by the CTC layer; the host adds what a listing and a
// reader of whole channels need on top of it: a header that runs past the end
// of the file is refused rather than read with defaults, and channels are
// read in blocks so that a long recording never sits in memory twice.

#include "hostprogram/recordings/ctc_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "ctc/ctc_format.h"
#include "ctc/ctc_header.h"
#include "ctc/sample_codec.h"
#include "hostprogram/support/file_checks.h"

namespace {

struct FileSource {
    std::ifstream* file;
    uint64_t* bytesRead;  // by the parser, which reads front to back
};

bool readFromFile(const void* context, uint64_t position, void* destination, size_t size) {
    const FileSource& source = *static_cast<const FileSource*>(context);
    source.file->clear();
    source.file->seekg(static_cast<std::streamoff>(position));
    if (!source.file->read(static_cast<char*>(destination), static_cast<std::streamsize>(size)))
        return false;
    *source.bytesRead = position + size;
    return true;
}

// Bytes the header occupies by its own counts. The parser leaves the fields
// the file ends before at their initial values, so a file that ends inside
// its header has read fewer bytes than this.
uint64_t fullHeaderLength(const CtcFile& file) {
    uint64_t words = 8 + 3 * uint64_t{file.NrOfBlocks};
    if (file.CompressionType != 0) words += 1 + uint64_t{file.NrOfCompressionParams};
    if (ctc::isScaledDataType(file.DataType)) words += 2 * uint64_t{file.NrOfChannels};
    return 4 * words;
}

// The parser stops at a data type or ordering it cannot handle; everything
// it read up to there was in the file.
bool stoppedBeforeTheEnd(ctc::HeaderStatus status, const CtcFile& file) {
    return status == ctc::HeaderStatus::DatatypeNotYetSupported ||
           (status == ctc::HeaderStatus::OrderingNotYetSupported &&
            file.SampleOrdering >= ctc::kOrderingChannelMajor);
}

template <typename Value>
std::vector<Value> arrayOf(const Value* values, uint32_t count) {
    return values == nullptr ? std::vector<Value>() : std::vector<Value>(values, values + count);
}

void copyHeader(const CtcFile& file, CtcHeader& header) {
    header.fileVersion = file.FileVersion;
    header.compressionType = file.CompressionType;
    header.nrOfCompressionParams = file.NrOfCompressionParams;
    header.compressionParams = arrayOf(file.CompressionParams, file.NrOfCompressionParams);
    header.dataType = file.DataType;
    header.sampleOrdering = file.SampleOrdering;
    header.nrOfChannels = file.NrOfChannels;
    header.nrOfSamples = file.NrOfSamples;
    header.samplingFrequency = file.SamplingFrequency;
    header.channelOffsets = arrayOf(file.ChannelOffsets, file.NrOfChannels);
    header.channelScales = arrayOf(file.ChannelScales, file.NrOfChannels);
    header.nrOfBlocks = file.NrOfBlocks;
    header.blockNrOfTrials = arrayOf(file.BlockNrOfTrials, file.NrOfBlocks);
    header.blockPreSamples = arrayOf(file.BlockPreSamples, file.NrOfBlocks);
    header.blockPostSamples = arrayOf(file.BlockPostSamples, file.NrOfBlocks);
}

ctc::SampleConversion conversionOf(const CtcHeader& header, int channel) {
    const bool scaled = ctc::isScaledDataType(header.dataType);
    return {header.dataType, scaled ? header.channelScales[channel] : 1.0f,
            scaled ? header.channelOffsets[channel] : 0.0f};
}

}  // namespace

uint32_t ctcElementSize(uint32_t dataType) {
    return ctc::elementTypeSize(ctc::elementTypeOfDataType(dataType));
}

bool readCtcHeader(const std::string& path, CtcHeader& header, std::string& error) {
    header = CtcHeader();
    std::ifstream file;
    if (!openForReading(path, file, header.fileSize, error)) return false;
    uint64_t bytesRead = 0;
    const FileSource context{&file, &bytesRead};
    const ctc::ByteSource source{&context, readFromFile, header.fileSize};
    CtcFile parsed;
    ctc::initialiseCtcFile(parsed);
    ctc::HeaderLayout layout;
    const ctc::HeaderStatus status = ctc::parseCtcHeader(source, parsed, layout);
    bool read = false;
    if (status == ctc::HeaderStatus::OutOfMemory) {
        error = path + ": not enough memory for its CTC header";
    } else if (status == ctc::HeaderStatus::ArraysBeyondSource ||
               (!stoppedBeforeTheEnd(status, parsed) && bytesRead < fullHeaderLength(parsed))) {
        error = path + ": the file ends inside its CTC header (" + std::to_string(header.fileSize) +
                " bytes)";
    } else if (status != ctc::HeaderStatus::Ok) {
        error = path + ": " + ctc::headerStatusMessage(status);
    } else {
        copyHeader(parsed, header);
        header.headerLength = layout.headerLength;
        read = true;
    }
    ctc::releaseCtcHeaderArrays(parsed);
    return read;
}

bool checkCtcSamplesReadable(const std::string& path, const CtcHeader& header, std::string& error) {
    const uint64_t element = ctcElementSize(header.dataType);
    if (element == 0) {
        error = path + ": data type " + std::to_string(header.dataType) + " is not supported";
        return false;
    }
    if (!ctc::isContinuousOrdering(header.sampleOrdering)) {
        error = path + ": only continuous files (sample ordering 1 or 2) can be read, not " +
                std::to_string(header.sampleOrdering);
        return false;
    }
    // Divided rather than multiplied: C * S * size can pass 64 bits.
    const uint64_t channelBytes = uint64_t{header.nrOfSamples} * element;
    if (channelBytes != 0 &&
        header.nrOfChannels > (header.fileSize - header.headerLength) / channelBytes) {
        error = path + ": the file is shorter than its " + std::to_string(header.nrOfChannels) +
                " channels of " + std::to_string(header.nrOfSamples) + " samples";
        return false;
    }
    return true;
}

bool readCtcChannels(const std::string& path, const CtcHeader& header,
                     const std::vector<int>& channels, std::vector<std::vector<float>>& samples,
                     std::string& error) {
    samples.clear();
    if (!checkCtcSamplesReadable(path, header, error)) return false;
    const uint32_t elementSize = ctcElementSize(header.dataType);
    const uint64_t channelCount = header.nrOfChannels, sampleCount = header.nrOfSamples;
    for (int channel : channels)
        if (channel < 0 || static_cast<uint64_t>(channel) >= channelCount) {
            error = path + ": there is no channel " + std::to_string(channel + 1) + " (it has " +
                    std::to_string(channelCount) + ")";
            return false;
        }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be opened: " + std::strerror(errno);
        return false;
    }
    samples.assign(channels.size(), std::vector<float>(sampleCount));
    std::vector<unsigned char> block;
    auto readBlock = [&](uint64_t firstElement, uint64_t elementCount) {
        block.resize(elementCount * elementSize);
        file.seekg(static_cast<std::streamoff>(header.headerLength + firstElement * elementSize));
        if (file.read(reinterpret_cast<char*>(block.data()),
                      static_cast<std::streamsize>(block.size())))
            return true;
        error = path + ": read failed";
        return false;
    };
    // Blocks of channel stretches (ordering 1) or of whole sample rows
    // (ordering 2), each a bounded number of elements.
    constexpr uint32_t kBlockElements = 1 << 20;
    if (header.sampleOrdering == ctc::kOrderingChannelMajor) {
        for (std::size_t index = 0; index < channels.size(); ++index) {
            const int channel = channels[index];
            for (uint64_t first = 0; first < sampleCount; first += kBlockElements) {
                const auto count =
                    static_cast<uint32_t>(std::min<uint64_t>(kBlockElements, sampleCount - first));
                if (!readBlock(channel * sampleCount + first, count)) return false;
                ctc::decodeSamples(block.data(), elementSize, count, conversionOf(header, channel),
                                   &samples[index][first]);
            }
        }
    } else if (channelCount > 0) {
        const uint64_t rowsPerBlock = std::max<uint64_t>(1, kBlockElements / channelCount);
        const uint64_t rowBytes = channelCount * elementSize;
        for (uint64_t first = 0; first < sampleCount; first += rowsPerBlock) {
            const auto rows =
                static_cast<uint32_t>(std::min<uint64_t>(rowsPerBlock, sampleCount - first));
            if (!readBlock(first * channelCount, rows * channelCount)) return false;
            for (std::size_t index = 0; index < channels.size(); ++index) {
                const int channel = channels[index];
                ctc::decodeSamples(&block[channel * elementSize], rowBytes, rows,
                                   conversionOf(header, channel), &samples[index][first]);
            }
        }
    }
    return true;
}
