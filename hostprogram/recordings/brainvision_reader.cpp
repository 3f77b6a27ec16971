#include "hostprogram/recordings/brainvision_reader.h"

#include <cstring>
#include <iterator>

#include "hostprogram/recordings/brainvision_markers.h"
#include "hostprogram/support/file_checks.h"

namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The header's own file name without its extension, which "$b" stands for.
std::string baseNameOf(const std::string& path) {
    const std::string name = path.substr(folderOf(path).size());
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string besideHeader(const std::string& headerPath, std::string name) {
    const std::size_t placeholder = name.find("$b");
    if (placeholder != std::string::npos) name.replace(placeholder, 2, baseNameOf(headerPath));
    return !name.empty() && name[0] == '/' ? name : folderOf(headerPath) + name;
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    std::ifstream file;
    uint64_t size = 0;
    if (!openForReading(path, file, size, error)) return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (bytes.size() == size) return true;
    error = path + ": read failed";
    return false;
}

// Little-endian stored values, decoded through fixed-width integers.
uint32_t littleEndian(const unsigned char* bytes, uint32_t size) {
    uint32_t value = 0;
    for (uint32_t byte = 0; byte < size; ++byte) value |= uint32_t{bytes[byte]} << (8 * byte);
    return value;
}

double storedValue(const unsigned char* bytes, BrainVisionBinaryFormat format) {
    switch (format) {
        case BrainVisionBinaryFormat::kInt16:
            return static_cast<int16_t>(littleEndian(bytes, 2));
        case BrainVisionBinaryFormat::kUint16:
            return littleEndian(bytes, 2);
        case BrainVisionBinaryFormat::kInt32:
            return static_cast<int32_t>(littleEndian(bytes, 4));
        case BrainVisionBinaryFormat::kFloat32:
            break;
    }
    const uint32_t bits = littleEndian(bytes, 4);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void fillInfo(BrainVisionReader& reader, int64_t sampleCount) {
    RecordingInfo& info = reader.info;
    info.format = RecordingFormat::kBrainVision;
    info.samplingFrequency = 1e6 / reader.header.samplingInterval;
    info.samples = sampleCount;
    for (const BrainVisionChannelInfo& channel : reader.header.channels)
        info.channels.push_back({channel.name, channel.unit, info.samplingFrequency});
}

// The sample count from the data file's size, or DataPoints checked against it.
bool measureData(BrainVisionReader& reader, uint64_t dataBytes, int64_t& sampleCount,
                 std::string& error) {
    const BrainVisionHeader& header = reader.header;
    const uint64_t rowBytes = static_cast<uint64_t>(header.numberOfChannels) *
                              brainVisionElementSize(header.binaryFormat);
    const uint64_t heldSamples = dataBytes / rowBytes;
    if (header.dataPoints >= 0) {
        sampleCount = header.dataPoints;
        if (static_cast<uint64_t>(header.dataPoints) <= heldSamples) return true;
        error =
            reader.dataPath + ": holds " + std::to_string(dataBytes) +
            " bytes, shorter than the header's DataPoints=" + std::to_string(header.dataPoints) +
            " of " + std::to_string(header.numberOfChannels) + " channels";
        return false;
    }
    sampleCount = static_cast<int64_t>(heldSamples);
    if (dataBytes % rowBytes == 0) return true;
    error = reader.dataPath + ": holds " + std::to_string(dataBytes) +
            " bytes, not a whole number of samples of " + std::to_string(header.numberOfChannels) +
            " channels of " + std::to_string(brainVisionElementSize(header.binaryFormat)) +
            " bytes";
    return false;
}

}  // namespace

uint64_t brainVisionValueOffset(const BrainVisionHeader& header, int64_t sampleCount,
                                int64_t channel, int64_t sample) {
    const uint64_t size = brainVisionElementSize(header.binaryFormat);
    const auto c = static_cast<uint64_t>(channel), s = static_cast<uint64_t>(sample);
    if (header.vectorized) return (c * static_cast<uint64_t>(sampleCount) + s) * size;
    return (s * static_cast<uint64_t>(header.numberOfChannels) + c) * size;
}

bool openBrainVisionReader(const std::string& headerPath, BrainVisionReader& reader,
                           std::string& error) {
    reader = BrainVisionReader();
    std::string bytes;
    if (!readWholeFile(headerPath, bytes, error) ||
        !parseBrainVisionHeader(bytes, headerPath, reader.header, error) ||
        !validateBrainVisionHeader(reader.header, headerPath, error))
        return false;
    reader.dataPath = besideHeader(headerPath, reader.header.dataFile);
    uint64_t dataBytes = 0;
    int64_t sampleCount = 0;
    if (!openForReading(reader.dataPath, reader.data, dataBytes, error) ||
        !measureData(reader, dataBytes, sampleCount, error))
        return false;
    fillInfo(reader, sampleCount);
    if (reader.header.markerFile.empty()) return true;
    const std::string markerPath = besideHeader(headerPath, reader.header.markerFile);
    BrainVisionMarkers markers;
    if (!readWholeFile(markerPath, bytes, error) ||
        !parseBrainVisionMarkers(bytes, markerPath, sampleCount, markers, error))
        return false;
    reader.info.markers = std::move(markers.markers);
    reader.markerEntries = std::move(markers.entries);
    return true;
}

bool readBrainVisionBlock(BrainVisionReader& reader, int64_t firstSample, int64_t count, float* out,
                          std::string& error) {
    const BrainVisionHeader& header = reader.header;
    const int64_t sampleCount = reader.info.samples;
    if (firstSample < 0 || count < 0 || firstSample > sampleCount - count) {
        error = reader.dataPath + ": samples " + std::to_string(firstSample) + " to " +
                std::to_string(firstSample + count) + " are outside the recording's " +
                std::to_string(sampleCount);
        return false;
    }
    const auto channels = static_cast<std::size_t>(header.numberOfChannels);
    const uint32_t size = brainVisionElementSize(header.binaryFormat);
    const auto values = static_cast<std::size_t>(count);
    reader.buffer.resize(values * channels * size);
    // Multiplexed: one read of whole rows. Vectorized: one read per channel
    // of its stretch, which lies contiguous in the file.
    const std::size_t reads = header.vectorized ? channels : 1;
    const std::size_t readBytes = reader.buffer.size() / reads;
    for (std::size_t part = 0; part < reads && count > 0; ++part) {
        const uint64_t offset =
            brainVisionValueOffset(header, sampleCount, static_cast<int64_t>(part), firstSample);
        reader.data.clear();
        reader.data.seekg(static_cast<std::streamoff>(offset));
        if (!reader.data.read(reinterpret_cast<char*>(&reader.buffer[part * readBytes]),
                              static_cast<std::streamsize>(readBytes))) {
            error = reader.dataPath + ": read failed at byte " + std::to_string(offset);
            return false;
        }
    }
    for (std::size_t c = 0; c < channels; ++c) {
        const double resolution = header.channels[c].resolution;
        for (std::size_t s = 0; s < values; ++s) {
            const std::size_t at = header.vectorized ? c * values + s : s * channels + c;
            out[c * values + s] = static_cast<float>(
                storedValue(&reader.buffer[at * size], header.binaryFormat) * resolution);
        }
    }
    return true;
}
