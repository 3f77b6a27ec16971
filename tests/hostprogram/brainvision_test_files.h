#pragma once

// BrainVision recordings written byte by byte for the reader's tests,
// independently of the program's writer, and a bridge to MNE-Python, the
// reference reader, which the tests run when it is installed.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/mne_python.h"
#include "tests/support/temporary_folder.h"

struct RawBrainVision {
    std::string binaryFormat = "INT_16";
    bool vectorized = false;
    std::vector<std::string> channelEntries;  // "Ch1=..." lines
    std::vector<std::vector<double>> stored;  // [channel][sample], values as stored
    std::vector<std::string> markerEntries;   // "Mk1=..." lines
};

inline std::string storedBytes(const std::string& format, double value) {
    uint32_t bits = 0;
    if (format == "IEEE_FLOAT_32") {
        const auto single = static_cast<float>(value);
        std::memcpy(&bits, &single, 4);
    } else {
        bits = static_cast<uint32_t>(static_cast<int64_t>(value));
    }
    const std::size_t size = format == "INT_16" || format == "UINT_16" ? 2 : 4;
    std::string bytes;
    for (std::size_t byte = 0; byte < size; ++byte) bytes += static_cast<char>(bits >> (8 * byte));
    return bytes;
}

inline std::string rawHeaderText(const RawBrainVision& raw, const std::string& base) {
    std::string text =
        "Brain Vision Data Exchange Header File Version 1.0\n"
        "; written by the tests\n\n"
        "[Common Infos]\nCodepage=UTF-8\n"
        "DataFile=" +
        base + ".eeg\nMarkerFile=" + base +
        ".vmrk\n"
        "DataFormat=BINARY\nDataOrientation=" +
        std::string(raw.vectorized ? "VECTORIZED" : "MULTIPLEXED") + "\n" +
        "NumberOfChannels=" + std::to_string(raw.stored.size()) + "\n" +
        "SamplingInterval=2000\n\n[Binary Infos]\nBinaryFormat=" + raw.binaryFormat +
        "\n\n[Channel Infos]\n";
    for (const std::string& entry : raw.channelEntries) text += entry + "\n";
    return text + "\n[Comment]\nfree text, not key=value\n";
}

inline std::string rawMarkerText(const RawBrainVision& raw, const std::string& base) {
    std::string text =
        "Brain Vision Data Exchange Marker File, Version 1.0\n\n[Common Infos]\n"
        "Codepage=UTF-8\nDataFile=" +
        base + ".eeg\n\n[Marker Infos]\n";
    for (const std::string& entry : raw.markerEntries) text += entry + "\n";
    return text;
}

inline std::string rawDataBytes(const RawBrainVision& raw) {
    std::string bytes;
    const std::size_t channels = raw.stored.size(), samples = raw.stored[0].size();
    for (std::size_t outer = 0; outer < (raw.vectorized ? channels : samples); ++outer)
        for (std::size_t inner = 0; inner < (raw.vectorized ? samples : channels); ++inner)
            bytes += storedBytes(raw.binaryFormat, raw.vectorized ? raw.stored[outer][inner]
                                                                  : raw.stored[inner][outer]);
    return bytes;
}

// Writes <folder>/<base>.vhdr, .eeg and .vmrk; returns the header's path.
inline std::string writeRawBrainVision(const TemporaryFolder& folder, const std::string& base,
                                       const RawBrainVision& raw) {
    writeFile(folder.file(base + ".vhdr"), rawHeaderText(raw, base));
    writeFile(folder.file(base + ".eeg"), rawDataBytes(raw));
    writeFile(folder.file(base + ".vmrk"), rawMarkerText(raw, base));
    return folder.file(base + ".vhdr");
}

// Four channels (one name with a comma, one unit left to its default) of 37
// samples that reach both ends of the format's range, and markers at the
// first and the last sample, one with a comma in its description.
inline RawBrainVision roundTripRecording(const std::string& format, bool vectorized) {
    RawBrainVision raw;
    raw.binaryFormat = format;
    raw.vectorized = vectorized;
    raw.channelEntries = {"Ch1=Fp1,,0.5,µV", "Ch2=A\\1B,REF,0.1,mV", "Ch3=C3,,0.25,nV",
                          "Ch4=EOG,,2"};
    double lowest = -32768, span = 65536;
    if (format == "UINT_16") lowest = 0;
    if (format == "INT_32") lowest = -2147483648.0, span = 4294967296.0;
    if (format == "IEEE_FLOAT_32") lowest = -3.5e4, span = 7e4;
    for (int c = 0; c < 4; ++c) {
        raw.stored.emplace_back();
        for (int s = 0; s < 37; ++s) {
            const double step = std::fmod(s * 7919.0 + c * 104729.0, span - 1);
            raw.stored[c].push_back(s == 0 ? lowest : s == 1 ? lowest + span - 1 : lowest + step);
        }
    }
    raw.markerEntries = {"Mk1=New Segment,,1,1,0,20240101000000000000", "Mk2=Stimulus,S  1,5,1,0",
                         "Mk3=Response,R\\1128,37,0,0"};
    return raw;
}
inline const double kRoundTripResolutions[] = {0.5, 0.1, 0.25, 2};
inline const char* const kBinaryFormats[] = {"INT_16", "UINT_16", "INT_32", "IEEE_FLOAT_32"};
