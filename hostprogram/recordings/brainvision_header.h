#pragma once

// The header (.vhdr) of a BrainVision recording as a plain struct: parsed
// in one pass (every entry it reads, with the line it stood on), then
// validated as a whole, so the reader and the listing never see its text.

#include <cstdint>
#include <string>
#include <vector>

enum class BrainVisionBinaryFormat { kInt16, kUint16, kInt32, kFloat32 };

struct BrainVisionChannelInfo {
    int64_t number = 0;     // n of its Ch<n> entry
    int line = 0;           // where that entry stood
    std::string name;       // "\1" decoded to a comma
    std::string reference;  // empty: the recording's common reference
    double resolution = 1;  // physical units per stored step; 1 when left empty
    std::string unit;       // UTF-8; "µV" when left empty, as the format's default
};

struct BrainVisionHeader {
    std::string dataFile;     // as written ("$b" for the header's own base name)
    std::string markerFile;   // empty when the header names none
    bool vectorized = false;  // DataOrientation: channel after channel, or
                              // MULTIPLEXED: sample after sample (the default)
    BrainVisionBinaryFormat binaryFormat = BrainVisionBinaryFormat::kInt16;
    bool binaryFormatGiven = false;
    int64_t numberOfChannels = -1;                 // -1 when missing
    double samplingInterval = 0;                   // µs
    int64_t dataPoints = -1;                       // DataPoints, when given: samples per channel
    std::vector<BrainVisionChannelInfo> channels;  // in the order of their numbers once valid
};

// Bytes of one stored value.
uint32_t brainVisionElementSize(BrainVisionBinaryFormat format);

// Parses the header's bytes. Refuses what cannot be understood: a first
// line that is not a BrainVision header identification of version 1.0 or
// 2.0, a data format other than BINARY, an unknown orientation, binary
// format or number, a Ch entry without a name, a duplicate entry, big-endian
// data. False with error "<path>: line N: <field>: <expected>".
bool parseBrainVisionHeader(const std::string& bytes, const std::string& path,
                            BrainVisionHeader& header, std::string& error);

// Checks the parsed header as a whole: a data file, a binary format, a
// positive sampling interval, NumberOfChannels equal to the Ch entries,
// numbered 1 to N without gaps, each with a finite non-zero resolution.
// Sorts the channels by number. False with error "<path>: <field>: <why>".
bool validateBrainVisionHeader(BrainVisionHeader& header, const std::string& path,
                               std::string& error);
