#include "hostprogram/recordings/brainvision_writer.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "hostprogram/recordings/brainvision_text.h"

namespace {

const char kHeaderExtension[] = ".vhdr";

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The shortest decimal that reads back as the same double.
std::string exactDecimal(double value) {
    char text[32];
    for (int digits = 6; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    return text;
}

std::string headerText(const BrainVisionWriter& writer) {
    const RecordingInfo& info = writer.info;
    std::string text =
        "Brain Vision Data Exchange Header File Version 1.0\r\n"
        "; 32-bit floats in each channel's unit, resolution 1\r\n"
        "\r\n[Common Infos]\r\nCodepage=UTF-8\r\n"
        "DataFile=" +
        fileNameOf(writer.dataPath) +
        "\r\n"
        "MarkerFile=" +
        fileNameOf(writer.markerPath) +
        "\r\n"
        "DataFormat=BINARY\r\nDataOrientation=MULTIPLEXED\r\n"
        "NumberOfChannels=" +
        std::to_string(info.channels.size()) +
        "\r\n"
        "; Sampling interval in microseconds\r\n"
        "SamplingInterval=" +
        exactDecimal(1e6 / info.samplingFrequency) +
        "\r\n"
        "\r\n[Binary Infos]\r\nBinaryFormat=IEEE_FLOAT_32\r\n"
        "\r\n[Channel Infos]\r\n"
        "; Each entry: Ch<Channel number>=<Name>,<Reference channel name>,<Resolution in "
        "Unit>,<Unit>\r\n";
    for (std::size_t index = 0; index < info.channels.size(); ++index)
        text += "Ch" + std::to_string(index + 1) + "=" +
                escapeBrainVisionField(info.channels[index].name) + ",,1," +
                escapeBrainVisionField(info.channels[index].unit) + "\r\n";
    return text;
}

std::string markerText(const BrainVisionWriter& writer) {
    std::string text =
        "Brain Vision Data Exchange Marker File, Version 1.0\r\n"
        "\r\n[Common Infos]\r\nCodepage=UTF-8\r\n"
        "DataFile=" +
        fileNameOf(writer.dataPath) +
        "\r\n"
        "\r\n[Marker Infos]\r\n"
        "; Each entry: Mk<Marker number>=<Type>,<Description>,<Position in data points>,\r\n"
        "; <Size in data points>, <Channel number (0 = marker is related to all channels)>\r\n";
    for (const std::string& entry : writer.markerEntries) text += entry + "\r\n";
    return text;
}

bool writeTextFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    return !file.fail();
}

std::string setupProblem(const std::string& headerPath, const RecordingInfo& info) {
    const std::size_t length = sizeof kHeaderExtension - 1;
    if (headerPath.size() <= length ||
        headerPath.compare(headerPath.size() - length, length, kHeaderExtension) != 0)
        return "expected a header file name ending in .vhdr";
    if (info.channels.empty()) return "no channels to write";
    if (!(info.samplingFrequency > 0) || !std::isfinite(info.samplingFrequency))
        return "expected a positive sampling frequency";
    if (info.samples < 0) return "expected a sample count of at least 0";
    return std::string();
}

}  // namespace

bool createBrainVisionWriter(const std::string& headerPath, const RecordingInfo& info,
                             const std::vector<std::string>& markerEntries,
                             BrainVisionWriter& writer, std::string& error) {
    writer = BrainVisionWriter();
    error = setupProblem(headerPath, info);
    if (!error.empty()) {
        error = headerPath + ": " + error;
        return false;
    }
    const std::string base =
        headerPath.substr(0, headerPath.size() - (sizeof kHeaderExtension - 1));
    writer.headerPath = headerPath;
    writer.dataPath = base + ".eeg";
    writer.markerPath = base + ".vmrk";
    writer.info = info;
    writer.markerEntries = markerEntries;
    writer.data = std::fopen(writer.dataPath.c_str(), "wb");
    if (writer.data != nullptr) return true;
    error = writer.dataPath + ": cannot be created: " + std::strerror(errno);
    writer = BrainVisionWriter();
    return false;
}

bool appendBrainVisionBlock(BrainVisionWriter& writer, const float* samples, int64_t count,
                            std::string& error) {
    if (count < 0 || count > writer.info.samples - writer.samplesWritten) {
        error = writer.dataPath + ": " + std::to_string(count) + " samples more than the " +
                std::to_string(writer.info.samples) + " announced";
        return false;
    }
    const std::size_t channels = writer.info.channels.size();
    const auto values = static_cast<std::size_t>(count);
    writer.buffer.resize(values * channels * 4);
    for (std::size_t s = 0; s < values; ++s)
        for (std::size_t c = 0; c < channels; ++c) {
            uint32_t bits;
            std::memcpy(&bits, &samples[c * values + s], sizeof bits);
            unsigned char* stored = &writer.buffer[(s * channels + c) * 4];
            for (int byte = 0; byte < 4; ++byte)
                stored[byte] = static_cast<unsigned char>(bits >> (8 * byte));
        }
    if (!writer.buffer.empty() && std::fwrite(writer.buffer.data(), 1, writer.buffer.size(),
                                              writer.data) != writer.buffer.size()) {
        error = writer.dataPath + ": cannot be written: " + std::strerror(errno);
        return false;
    }
    writer.samplesWritten += count;
    return true;
}

bool finishBrainVisionWriter(BrainVisionWriter& writer, std::string& error) {
    const bool complete = writer.samplesWritten == writer.info.samples;
    const bool closed = writer.data != nullptr && std::fclose(writer.data) == 0;
    writer.data = nullptr;
    if (!complete)
        error = writer.dataPath + ": " + std::to_string(writer.samplesWritten) + " of " +
                std::to_string(writer.info.samples) + " samples written";
    else if (!closed)
        error = writer.dataPath + ": cannot be written";
    else if (!writeTextFile(writer.markerPath, markerText(writer)))
        error = writer.markerPath + ": cannot be written";
    else if (!writeTextFile(writer.headerPath, headerText(writer)))
        error = writer.headerPath + ": cannot be written";
    else
        return true;
    abandonBrainVisionWriter(writer);
    return false;
}

void abandonBrainVisionWriter(BrainVisionWriter& writer) {
    if (writer.data != nullptr) std::fclose(writer.data);
    writer.data = nullptr;
    for (const std::string* path : {&writer.dataPath, &writer.markerPath, &writer.headerPath})
        if (!path->empty()) std::remove(path->c_str());
}
