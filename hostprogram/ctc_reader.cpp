// Byte layout of a CTC file, little-endian, fields back to back:
//   u32 FileVersion
//   u32 CompressionType
//   u32 NrOfCompressionParams             only when CompressionType != 0
//   u32 CompressionParams[...]            only when CompressionType != 0
//   u32 DataType                          1 float, 3 int16, 4 int8, 5 scaled float
//   u32 SampleOrdering                    1 channel-major, 2 sample-major, 3..6 epoched
//   u32 NrOfChannels (C), u32 NrOfSamples (S), f32 SamplingFrequency
//   f32 ChannelOffsets[C], f32 ChannelScales[C]   only when DataType > 2
//   u32 NrOfBlocks (B)
//   u32 BlockNrOfTrials[B], u32 BlockPreSamples[B], u32 BlockPostSamples[B]
//   samples
// A continuous file holds sample s of channel c at element c*S+s (ordering 1)
// or s*C+c (ordering 2).

#include "hostprogram/ctc_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "hostprogram/file_checks.h"

namespace {

uint32_t decodeU32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

float decodeF32(const unsigned char* bytes) {
    uint32_t bits = decodeU32(bytes);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Reads the header field by field, never past the end of the file.
class HeaderCursor {
public:
    HeaderCursor(std::ifstream& file, uint64_t fileSize) : file_(file), fileSize_(fileSize) {}

    bool u32(uint32_t& value) {
        unsigned char bytes[4];
        if (!take(bytes, 4)) return false;
        value = decodeU32(bytes);
        return true;
    }

    bool f32(float& value) {
        unsigned char bytes[4];
        if (!take(bytes, 4)) return false;
        value = decodeF32(bytes);
        return true;
    }

    bool u32Array(uint32_t count, std::vector<uint32_t>& values) {
        if (!fits(4ULL * count)) return false;
        values.resize(count);
        for (uint32_t& value : values)
            if (!u32(value)) return false;
        return true;
    }

    bool f32Array(uint32_t count, std::vector<float>& values) {
        if (!fits(4ULL * count)) return false;
        values.resize(count);
        for (float& value : values)
            if (!f32(value)) return false;
        return true;
    }

    uint64_t position() const { return position_; }

private:
    bool fits(uint64_t bytes) const { return position_ + bytes <= fileSize_; }

    bool take(unsigned char* bytes, uint64_t count) {
        if (!fits(count)) return false;
        if (!file_.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(count)))
            return false;
        position_ += count;
        return true;
    }

    std::ifstream& file_;
    uint64_t fileSize_;
    uint64_t position_ = 0;
};

bool parseHeader(HeaderCursor& cursor, CtcHeader& header) {
    if (!cursor.u32(header.fileVersion) || !cursor.u32(header.compressionType)) return false;
    if (header.compressionType != 0 &&
        (!cursor.u32(header.nrOfCompressionParams) ||
         !cursor.u32Array(header.nrOfCompressionParams, header.compressionParams)))
        return false;
    if (!cursor.u32(header.dataType) || !cursor.u32(header.sampleOrdering) ||
        !cursor.u32(header.nrOfChannels) || !cursor.u32(header.nrOfSamples) ||
        !cursor.f32(header.samplingFrequency))
        return false;
    if (header.dataType > 2 && (!cursor.f32Array(header.nrOfChannels, header.channelOffsets) ||
                                !cursor.f32Array(header.nrOfChannels, header.channelScales)))
        return false;
    return cursor.u32(header.nrOfBlocks) &&
           cursor.u32Array(header.nrOfBlocks, header.blockNrOfTrials) &&
           cursor.u32Array(header.nrOfBlocks, header.blockPreSamples) &&
           cursor.u32Array(header.nrOfBlocks, header.blockPostSamples);
}

float sampleValue(const unsigned char* element, uint32_t dataType, float scale, float offset) {
    switch (dataType) {
        case 1:
            return decodeF32(element);
        case 3: {
            uint16_t bits = static_cast<uint16_t>(element[0] | element[1] << 8);
            int16_t stored;
            std::memcpy(&stored, &bits, sizeof stored);
            return static_cast<float>(stored) * scale + offset;
        }
        case 4: {
            int8_t stored;
            std::memcpy(&stored, element, 1);
            return static_cast<float>(stored) * scale + offset;
        }
        default:
            return decodeF32(element) * scale + offset;
    }
}

}  // namespace

uint32_t ctcElementSize(uint32_t dataType) {
    switch (dataType) {
        case 1:
        case 5:
            return 4;
        case 3:
            return 2;
        case 4:
            return 1;
        default:
            return 0;
    }
}

bool readCtcHeader(const std::string& path, CtcHeader& header, std::string& error) {
    header = CtcHeader();
    std::ifstream file;
    if (!openForReading(path, file, header.fileSize, error)) return false;
    HeaderCursor cursor(file, header.fileSize);
    if (!parseHeader(cursor, header)) {
        error = path + ": the file ends inside its CTC header (" + std::to_string(header.fileSize) +
                " bytes)";
        return false;
    }
    header.headerLength = cursor.position();
    return true;
}

bool readCtcChannels(const std::string& path, const CtcHeader& header,
                     const std::vector<int>& channels, std::vector<std::vector<float>>& samples,
                     std::string& error) {
    samples.clear();
    const uint32_t elementSize = ctcElementSize(header.dataType);
    if (elementSize == 0) {
        error = path + ": data type " + std::to_string(header.dataType) + " is not supported";
        return false;
    }
    if (header.sampleOrdering != 1 && header.sampleOrdering != 2) {
        error = path + ": only continuous files (sample ordering 1 or 2) can be shown, not " +
                std::to_string(header.sampleOrdering);
        return false;
    }
    const uint64_t channelCount = header.nrOfChannels, sampleCount = header.nrOfSamples;
    // Divided rather than multiplied: C * S * size can pass 64 bits.
    const uint64_t channelBytes = sampleCount * elementSize;
    const uint64_t dataBytes = header.fileSize - header.headerLength;
    if (channelBytes != 0 && channelCount > dataBytes / channelBytes) {
        error = path + ": the file is shorter than its " + std::to_string(channelCount) +
                " channels of " + std::to_string(sampleCount) + " samples";
        return false;
    }
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
    auto scaleOf = [&](int channel) {
        return header.dataType > 2 ? header.channelScales[channel] : 1.0f;
    };
    auto offsetOf = [&](int channel) {
        return header.dataType > 2 ? header.channelOffsets[channel] : 0.0f;
    };
    // Read in blocks of whole sample rows (ordering 2) or channel stretches
    // (ordering 1), so that a long recording never sits in memory twice.
    constexpr uint64_t kBlockElements = 1 << 20;
    std::vector<unsigned char> block;
    for (std::size_t index = 0; index < channels.size(); ++index) {
        const int channel = channels[index];
        if (header.sampleOrdering == 1) {
            for (uint64_t first = 0; first < sampleCount; first += kBlockElements) {
                uint64_t count = std::min(kBlockElements, sampleCount - first);
                block.resize(count * elementSize);
                file.seekg(static_cast<std::streamoff>(
                    header.headerLength + (channel * sampleCount + first) * elementSize));
                if (!file.read(reinterpret_cast<char*>(block.data()),
                               static_cast<std::streamsize>(block.size()))) {
                    error = path + ": read failed";
                    return false;
                }
                for (uint64_t s = 0; s < count; ++s)
                    samples[index][first + s] =
                        sampleValue(&block[s * elementSize], header.dataType, scaleOf(channel),
                                    offsetOf(channel));
            }
        }
    }
    if (header.sampleOrdering == 2 && channelCount > 0) {
        const uint64_t rowsPerBlock = std::max<uint64_t>(1, kBlockElements / channelCount);
        for (uint64_t first = 0; first < sampleCount; first += rowsPerBlock) {
            uint64_t rows = std::min(rowsPerBlock, sampleCount - first);
            block.resize(rows * channelCount * elementSize);
            file.seekg(static_cast<std::streamoff>(header.headerLength +
                                                   first * channelCount * elementSize));
            if (!file.read(reinterpret_cast<char*>(block.data()),
                           static_cast<std::streamsize>(block.size()))) {
                error = path + ": read failed";
                return false;
            }
            for (std::size_t index = 0; index < channels.size(); ++index) {
                const int channel = channels[index];
                for (uint64_t s = 0; s < rows; ++s)
                    samples[index][first + s] =
                        sampleValue(&block[(s * channelCount + channel) * elementSize],
                                    header.dataType, scaleOf(channel), offsetOf(channel));
            }
        }
    }
    return true;
}
