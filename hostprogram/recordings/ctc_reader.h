#pragma once

// The host's reading of CTC files: the header for `info`, whole channels for
// the report and the demo's figures. The header and the samples are decoded
// by the CTC layer; this is the host's view of them, read-only.

#include <cstdint>
#include <string>
#include <vector>

struct CtcHeader {
    uint32_t fileVersion = 0;
    uint32_t compressionType = 0;
    uint32_t nrOfCompressionParams = 0;  // present only when compressionType is not 0
    std::vector<uint32_t> compressionParams;
    uint32_t dataType = 0;
    uint32_t sampleOrdering = 0;
    uint32_t nrOfChannels = 0;
    uint32_t nrOfSamples = 0;
    float samplingFrequency = 0.0f;
    std::vector<float> channelOffsets;  // present only for the scaled data types
    std::vector<float> channelScales;
    uint32_t nrOfBlocks = 0;
    std::vector<uint32_t> blockNrOfTrials;
    std::vector<uint32_t> blockPreSamples;
    std::vector<uint32_t> blockPostSamples;
    uint64_t headerLength = 0;  // bytes before the first sample
    uint64_t fileSize = 0;
};

// Bytes of one stored sample, or 0 for a data type that is not supported.
uint32_t ctcElementSize(uint32_t dataType);

// Reads and checks the header. False with error "<path>: <why>" when the file
// cannot be read, the header does not fit in it, or the CTC layer refuses its
// data type or sample ordering.
bool readCtcHeader(const std::string& path, CtcHeader& header, std::string& error);

// Reads whole channels (numbered from 0) of a continuous file (sample ordering
// 1 or 2) as floats, converted as the data type says. False with error when
// a channel does not exist, the ordering or data type is not supported, or
// the file is shorter than its data part.
// The samples of a header read above can be decoded: a supported data type,
// a continuous ordering (1 or 2), and a file long enough for every channel.
// False with error "<path>: <why>" otherwise.
bool checkCtcSamplesReadable(const std::string& path, const CtcHeader& header, std::string& error);

bool readCtcChannels(const std::string& path, const CtcHeader& header,
                     const std::vector<int>& channels, std::vector<std::vector<float>>& samples,
                     std::string& error);
